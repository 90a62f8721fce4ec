#include "CorvaneDlg.h"

#include <ctime>
#include <exception>
#include <vector>

#include "AboutDlg.h"
#include "Exceptions.h"
#include "Handles.h"
#include "IpCheck.h"
#include "MailSend.h"
#include "MessageMap.h"
#include "Registry.h"
#include "Settings.h"
#include "SingleInstance.h"
#include "SettingsRules.h"
#include "StoredSettings.h"
#include "WebSend.h"
#include "WinApp.h"
#include "resource.h"

namespace {

constexpr COLORREF kFaceKey = RGB(25, 35, 85);
// At log-on the shell may start after the program; it gets half a minute to
// take the icon before the window shows again, so the program is never left
// with neither window nor icon.
constexpr UINT kTrayRetryMs = 2'000;
constexpr int kTrayAttempts = 15;
constexpr char kCheckErrorSource[] = "Corvane";

bool IsAnsiLeadByte(unsigned char byte) { return IsDBCSLeadByte(byte) != FALSE; }

}  // namespace

CCorvaneDlg::CCorvaneDlg(CWnd* parent)
    : CSkinnableDialog(IDD_CORVANE_DIALOG, parent),
      m_hAppIcon(LoadIconA(AfxGetInstanceHandle(), MAKEINTRESOURCEA(IDR_MAINFRAME))) {}

CCorvaneDlg::~CCorvaneDlg() = default;

void CCorvaneDlg::DoDataExchange(CDataExchange* pDX) {
  CSkinnableDialog::DoDataExchange(pDX);
  DDX_Text(pDX, IDC_IP, m_strIP);
  DDX_Control(pDX, IDC_INET, m_inet);
  DDX_Control(pDX, IDC_SMTP, m_smtp);
  DDX_Text(pDX, IDC_STATUS, m_strStatus);
}

BOOL CCorvaneDlg::OnInitDialog() {
  CSkinnableDialog::OnInitDialog();

  if (HMENU systemMenu = GetSystemMenu(FALSE)) {
    char about[64] = {};
    if (LoadStringA(AfxGetInstanceHandle(), ID_STR_ABOUT, about, sizeof about) > 0) {
      AppendMenuA(systemMenu, MF_SEPARATOR, 0, nullptr);
      AppendMenuA(systemMenu, MF_STRING, ID_SYSCMD_ABOUT, about);
    }
  }
  SetIcon(m_hAppIcon, TRUE);
  SetIcon(m_hAppIcon, FALSE);

  EnableFaceDrag(TRUE);
  SetSkinBitmap(IDB_MAIN_SKIN);
  SetSkinMode(SkinFitWindow);
  SetColorKey(kFaceKey, TRUE);
  SetWindowText(kTitle);

  LoadSettings();
  DressPopup();

  m_connectivity = std::make_unique<app::ConnectivityWatch>(m_hWnd, WM_CONNECTIVITY_CHANGED);
  if (m_stayHidden) HideToTray();

  // The timer runs before the first check, so a program started while
  // offline still checks by itself later; a failed first check shortens it.
  m_schedule = app::CheckSchedule(static_cast<UINT>(m_nInterval));
  SetTimer(kCheckTimer, m_schedule.IntervalMs());
  RunCheck();
  return TRUE;
}

void CCorvaneDlg::RunCheck() {
  if (m_checking) return;  // the running check waits in the settings dialog
  bool completed = false;
  // Set however the check ends; a failure goes on to the box after this.
  fw::ScopeExit schedule([&] { ScheduleAfter(completed); });
  CheckIpAddress();
  completed = true;
}

void CCorvaneDlg::ScheduleAfter(bool succeeded) {
  if (const auto delay = m_schedule.AfterCheck(succeeded)) SetTimer(kCheckTimer, *delay);
  if (m_pTrayIcon) m_pTrayIcon->SetTooltip(TrayTip());
}

// The address the window shows, so a user sees it without opening the window.
std::string CCorvaneDlg::TrayTip() const {
  const std::string shown = fw::WindowText(GetDlgItemHwnd(IDC_IP));
  return shown.empty() ? std::string(kTrayTip) : std::string(kTrayTip) + " - " + shown;
}

void CCorvaneDlg::LoadSettings() {
  const settings::StartupSettings stored = settings::LoadStartupSettings();
  m_mail = stored.mail;
  m_strLink = stored.link;
  m_nInterval = stored.intervalMs;
  settings::WarnUnreadable(stored.unreadable);
}

void CCorvaneDlg::DressPopup() {
  m_notifier.CreatePopup(this);
  m_notifier.LoadSkin(IDB_POPUP_SKIN, -1, -1, -1);
  m_notifier.SetCaptionFont("Arial", 90, 1, 1);
  m_notifier.SetCaptionColors(RGB(0, 0, 0), RGB(0, 0, 200));
  m_notifier.SetCaptionRect(RECT{10, 50, m_notifier.SkinWidth() - 10, m_notifier.SkinHeight() - 25});
}

void CCorvaneDlg::CheckIpAddress() {
  if (m_checking) return;
  m_checking = true;
  fw::ScopeExit done([this] { m_checking = false; });

  const std::string address = FetchAddress();
  UpdateData(TRUE);  // the fields hold what the last completed check showed
  const std::time_t now = std::time(nullptr);
  m_strStatus = app::FormatStamp(now);

  if (app::IsChange(address, m_strIP)) {
    // Accepted before sending: a failed send leaves the field showing the old
    // address, so the next check sees the change again and sends again.
    const std::string old = m_strIP;
    m_strIP = address;
    ReadWebSettings();
    if (!CanNotify()) AskForMailSettings();
    // The change that made the program ask goes out as soon as it can.
    if (CanNotify()) NotifyChange(old, now);
  }
  UpdateData(FALSE);
}

std::string CCorvaneDlg::FetchAddress() {
  // The pages are tried in order and the first address wins; a page that
  // fails only matters when every other one fails too.
  std::vector<std::string> urls = app::SplitPageList(m_strLink);
  if (urls.empty()) urls.push_back(m_strLink);  // fails as an address, with the fetch's own words
  std::vector<std::string> reasons;
  for (const std::string& url : urls) {
    try {
      std::string address = app::AddressFromPage(m_inet.OpenURL(url), IsAnsiLeadByte);
      if (!address.empty()) return address;
      reasons.push_back(app::NoAddressText(url));
    } catch (const CDispatchException& e) {
      reasons.push_back(e.m_strDescription);
    }
  }
  throw CDispatchException(app::CombinedFailure(reasons), kCheckErrorSource);
}

bool CCorvaneDlg::CanNotify() const { return settings::CanSendNotification(m_mail) || m_web.IsSet(); }

void CCorvaneDlg::AskForMailSettings() {
  Settings dialog(nullptr, m_strIP);  // the address about to be shown, for a test call
  dialog.DoModal();
  CRegistry registry;
  settings::OpenStore(registry);
  settings::Unreadable unreadable;
  settings::ReadMailSettings(registry, m_mail, &unreadable);
  settings::ReadWebSettings(registry, m_web, &unreadable);
  settings::WarnUnreadable(unreadable);
}

// The web notification is saved by its own dialog, whenever the user likes,
// so every change reads it afresh.
void CCorvaneDlg::ReadWebSettings() {
  CRegistry registry;
  settings::OpenStore(registry);
  settings::Unreadable unreadable;
  settings::ReadWebSettings(registry, m_web, &unreadable);
  settings::WarnUnreadable(unreadable);
}

// Mail and web are tried each on its own: one failing neither stops the
// other nor makes it go out twice for the same address. Any failure ends the
// check as a failed send does, so the field keeps the old address and the
// back-off brings the change round again for the channel still owing it.
void CCorvaneDlg::NotifyChange(const std::string& old, std::time_t now) {
  std::exception_ptr mailFailure;
  std::string webFailure;
  bool sent = false;
  if (settings::CanSendNotification(m_mail) && m_delivered.mail != m_strIP) {
    try {
      SendMail();
      m_delivered.mail = m_strIP;
      sent = true;
    } catch (...) {
      mailFailure = std::current_exception();
    }
  }
  if (m_web.IsSet() && m_delivered.web != m_strIP) {
    const notify::WebAnswer answer = notify::SendWebNotification(m_web, notify::ValuesFor(m_strIP, old, now));
    if (answer.ok) {
      m_delivered.web = m_strIP;
      sent = true;
    } else {
      webFailure = answer.text;
    }
  }
  if (sent && m_delivered.popup != m_strIP) {
    m_delivered.popup = m_strIP;
    m_notifier.Announce(app::kPopupCaption, 500, 2000, 500);
  }
  if (!mailFailure && webFailure.empty()) return;
  if (!mailFailure) throw CDispatchException(webFailure, kCheckErrorSource);
  if (webFailure.empty()) std::rethrow_exception(mailFailure);
  // Both failed: one box names both.
  std::string mailText;
  try {
    std::rethrow_exception(mailFailure);
  } catch (const CException& e) {
    e.GetErrorMessage(mailText);
  }
  throw CDispatchException(app::CombinedFailure({mailText, webFailure}), kCheckErrorSource);
}

void CCorvaneDlg::SendMail() {
  const int authIndex = settings::AuthIndexForText(m_mail.auth);
  if (authIndex < 0) throw CDispatchException(settings::kChooseAuth, kCheckErrorSource);
  settings::MailSettings account = m_mail;
  account.from = settings::ShownText(account.from);  // an empty sender, as the test mail sends it
  settings::SendMail(m_smtp, account, authIndex, app::kNotificationSubject, app::kNotificationPrefix + m_strIP);
}

LRESULT CCorvaneDlg::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  using T = CCorvaneDlg;
  // A click on the popup (WM_POPUP_CLICKED) has no effect: it is not routed.
  const fw::Route<T> routes[] = {
      fw::OnSysCommand<T, &T::OnSysCommand>(),
      fw::OnNotice<T, &T::OnPaint>(WM_PAINT),
      fw::OnQueryDragIcon<T, &T::OnQueryDragIcon>(),
      fw::OnTimer<T, &T::OnTimer>(),
      fw::OnPowerBroadcast<T, &T::OnPowerBroadcast>(),
      fw::OnNotice<T, &T::OnConnectivityChanged>(WM_CONNECTIVITY_CHANGED),
      fw::OnWindowPosChanging<T, &T::OnWindowPosChanging>(),
      fw::OnNotice<T, &T::OnHandOver>(app::HandOverMessage()),
  };
  LRESULT answer = 0;
  if (fw::Dispatch(*this, routes, message, wParam, lParam, answer)) return answer;
  return CSkinnableDialog::WindowProc(message, wParam, lParam);
}

BOOL CCorvaneDlg::OnCommand(UINT id, UINT code, HWND control) {
  switch (id) {
    case IDC_UPDATE:
      OnUpdate();
      return TRUE;
    case IDC_SETTINGS:
      OnSettings();
      return TRUE;
    case IDC_HIDE:
      OnHide();
      return TRUE;
    case ID_MENU_RESTORE:
      OnTrayRestore();
      return TRUE;
    case ID_MENU_EXIT:
      OnTrayExit();
      return TRUE;
    default:
      return CSkinnableDialog::OnCommand(id, code, control);
  }
}

void CCorvaneDlg::OnTimer(UINT_PTR id) {
  switch (id) {
    case kCheckTimer:
      RunCheck();
      break;
    case kSettleTimer:
      // A check waits in the settings dialog: this one stays due and runs
      // at the first tick after the dialog has closed.
      if (m_checking) break;
      KillTimer(kSettleTimer);
      m_schedule.Settled();
      RunCheck();
      break;
    case kTrayRetryTimer:
      OnTrayRetry();
      break;
  }
}

HICON CCorvaneDlg::OnQueryDragIcon() { return m_hAppIcon; }

// Only a post that follows the system's own notice counts.
void CCorvaneDlg::OnConnectivityChanged() {
  if (m_connectivity && m_connectivity->TakeNotice()) OnWorldChanged();
}

// While hidden in the tray nothing may show the window but a restore.
void CCorvaneDlg::OnWindowPosChanging(WINDOWPOS* pos) {
  if (m_stayHidden) pos->flags &= ~SWP_SHOWWINDOW;
  CSkinnableDialog::WindowProc(WM_WINDOWPOSCHANGING, 0, reinterpret_cast<LPARAM>(pos));
}

void CCorvaneDlg::OnUpdate() { RunCheck(); }

// After sleep the address may well be another; the network needs a moment
// to come up, and the change notices that follow are folded into this check.
void CCorvaneDlg::OnPowerBroadcast(UINT event) {
  if (event == PBT_APMRESUMEAUTOMATIC || event == PBT_APMRESUMESUSPEND) OnWorldChanged();
}

void CCorvaneDlg::OnWorldChanged() {
  if (m_schedule.WorldChanged()) SetTimer(kSettleTimer, app::kSettleMs);
}

// Another start of the program asked for this window: show it, and whatever
// dialog or box it holds open, in front.
void CCorvaneDlg::OnHandOver() {
  if (m_stayHidden || IsIconic()) OnTrayRestore();
  HWND front = ::GetLastActivePopup(m_hWnd);
  ::SetForegroundWindow(front && ::IsWindowVisible(front) ? front : m_hWnd);
}

void CCorvaneDlg::OnTrayRetry() {
  if (!m_pTrayIcon || m_pTrayIcon->Add()) {
    KillTimer(kTrayRetryTimer);
    return;
  }
  if (++m_trayAttempts >= kTrayAttempts) OnTrayRestore();
}

void CCorvaneDlg::OnSettings() {
  Settings dialog(nullptr, fw::WindowText(GetDlgItemHwnd(IDC_IP)));
  dialog.DoModal();  // what it saves takes effect at the next start
}

void CCorvaneDlg::OnHide() { HideToTray(); }

void CCorvaneDlg::OnTrayRestore() { SendMessage(WM_SYSCOMMAND, SC_RESTORE, 0); }

void CCorvaneDlg::OnTrayExit() {
  m_pTrayIcon.reset();
  CSkinnableDialog::OnCancel();
  // A box or dialog open above this window runs a loop of its own, and the
  // program would only end once someone answered it. Exit comes from the
  // tray menu or from setup replacing the program, so nobody may be there:
  // a quit message ends every loop on the way out.
  if (fw::IsReportingFailure() || !::IsWindowEnabled(m_hWnd)) PostQuitMessage(0);
}

void CCorvaneDlg::OnOK() {}  // Enter must not end the program

void CCorvaneDlg::OnCancel() { CSkinnableDialog::OnCancel(); }

void CCorvaneDlg::OnSysCommand(UINT command, POINT cursor) {
  // The low four bits are the system's own; compare without them throughout.
  const UINT id = command & 0xFFF0;
  if (id == ID_SYSCMD_ABOUT) {
    CAboutDlg about;
    about.DoModal();
  } else {
    if (id == SC_RESTORE) m_stayHidden = false;  // the restore may show the window itself
    DefWindowProc(WM_SYSCOMMAND, command, MAKELPARAM(cursor.x, cursor.y));
  }
  if (id == SC_MINIMIZE)
    HideToTray();
  else if (id == SC_RESTORE)
    RestoreFromTray();
}

void CCorvaneDlg::HideToTray() {
  m_stayHidden = true;
  ShowWindow(SW_HIDE);
  m_pTrayIcon.reset();  // never two icons for one window
  m_pTrayIcon = std::make_unique<CTrayIcon>(this, m_hAppIcon, TrayTip(), IDR_TRAYMENU);
  m_trayAttempts = 1;
  if (!m_pTrayIcon->IsAdded()) SetTimer(kTrayRetryTimer, kTrayRetryMs);
}

void CCorvaneDlg::RestoreFromTray() {
  KillTimer(kTrayRetryTimer);
  m_pTrayIcon.reset();
  m_stayHidden = false;
  ShowWindow(SW_SHOW);
}

// Only the minimised window paints here, with the icon; otherwise the dialog
// paints as usual.
void CCorvaneDlg::OnPaint() {
  if (!IsIconic()) {
    CSkinnableDialog::WindowProc(WM_PAINT, 0, 0);
    return;
  }
  CPaintDC dc(m_hWnd);
  SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc.m_hDC), 0);
  RECT rc;
  GetClientRect(&rc);
  const int x = (rc.right - rc.left - GetSystemMetrics(SM_CXICON) + 1) / 2;
  const int y = (rc.bottom - rc.top - GetSystemMetrics(SM_CYICON) + 1) / 2;
  DrawIcon(dc.m_hDC, x, y, m_hAppIcon);
}
