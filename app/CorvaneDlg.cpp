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
#include "TargetOrder.h"
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

// The local time as hours and minutes, for a target's row in the list.
std::string ClockText() {
  SYSTEMTIME now{};
  GetLocalTime(&now);
  const char text[] = {static_cast<char>('0' + now.wHour / 10), static_cast<char>('0' + now.wHour % 10), ':',
                       static_cast<char>('0' + now.wMinute / 10), static_cast<char>('0' + now.wMinute % 10)};
  return std::string(text, sizeof text);
}

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
  CreateSkinnedPopup();

  m_connectivity = std::make_unique<app::ConnectivityWatch>(m_hWnd, WM_CONNECTIVITY_CHANGED);
  if (m_stayHidden) HideToTray();

  // The timer runs before the first check, so a program started while
  // offline still checks by itself later; a failed first check shortens it.
  m_cycle = app::CheckCycle(static_cast<UINT>(m_nInterval));
  SetTimer(kCheckTimer, m_cycle.Schedule().IntervalMs());
  CheckIpAddress();
  return TRUE;
}

// The address the window shows, so a user sees it without opening the
// window, and a web notification the service stopped, which waits for them.
std::string CCorvaneDlg::TrayTip() const {
  std::string tip = kTrayTip;
  if (!m_cycle.Shown().empty()) tip += " - " + m_cycle.Shown();
  if (m_cycle.AnyWebStopped()) tip += kWebStoppedTip;
  return tip;
}

void CCorvaneDlg::LoadSettings() {
  const settings::StartupSettings stored = settings::LoadStartupSettings();
  m_mail = stored.mail;
  m_strLink = stored.link;
  m_nInterval = stored.intervalMs;
  settings::WarnUnreadable(stored.unreadable);
}

void CCorvaneDlg::CreateSkinnedPopup() {
  m_notifier.CreatePopup(this);
  m_notifier.LoadSkin(IDB_POPUP_SKIN, -1, -1, -1);
  m_notifier.SetCaptionFont("Arial", 90, 1, 1);
  m_notifier.SetCaptionColors(RGB(0, 0, 0), RGB(0, 0, 200));
  m_notifier.SetCaptionRect(RECT{10, 50, m_notifier.SkinWidth() - 10, m_notifier.SkinHeight() - 25});
}

void CCorvaneDlg::CheckIpAddress() {
  if (m_checking) return;  // the running check waits in the settings dialog
  std::string failure;
  {
    m_checking = true;
    fw::ScopeExit done([this] { m_checking = false; });
    failure = RunCheck();
  }
  // The box comes once the check has ended, so ticks go on checking behind it.
  if (!failure.empty()) throw CDispatchException(failure, kCheckErrorSource);
}

// Fetch, ask the core who is owed the address, call them, and carry out
// what the core makes of it. Returns the failure to report, if any.
std::string CCorvaneDlg::RunCheck() {
  const std::time_t now = std::time(nullptr);
  std::string address;
  try {
    address = FetchAddress();
  } catch (const CException& e) {
    std::string why;
    e.GetErrorMessage(why);
    m_cycle.FetchFailed(why);
    return EndCheck();
  }
  m_strStatus = app::FormatStamp(now);
  ReadWebTargets();
  app::CheckPlan plan = m_cycle.Fetched(address, ChannelsSetUp(), GetTickCount64());
  if (plan.askForSettings) {
    AskForSettings();
    // The change that made the program ask goes out as soon as it can.
    plan = m_cycle.AfterSettings(ChannelsSetUp(), GetTickCount64());
  }
  for (const app::CheckPlan::Call& call : plan.calls) {
    const notify::ChannelResult result =
        call.channel == app::kMailChannel ? SendMail(plan.address) : CallWebTarget(call, plan.address, now);
    m_cycle.Called(call.channel, plan.address, result, GetTickCount64());
  }
  return EndCheck();
}

std::string CCorvaneDlg::EndCheck() {
  const app::CheckEnd end = m_cycle.End();
  if (end.show) {
    m_strIP = end.shownAddress;
    UpdateData(FALSE);
  }
  if (end.announce) m_notifier.Announce(app::kPopupCaption, 500, 2000, 500);
  if (end.timerMs) SetTimer(kCheckTimer, *end.timerMs);
  if (m_pTrayIcon) m_pTrayIcon->SetTooltip(TrayTip());
  return end.failure;
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

// The mail first, then each web target in its stored order.
app::ChannelSetup CCorvaneDlg::ChannelsSetUp() const {
  app::ChannelSetup setup{settings::CanSendNotification(m_mail)};
  for (const settings::WebSettings& target : m_webTargets) setup.push_back(target.IsSet());
  return setup;
}

notify::ChannelResult CCorvaneDlg::CallWebTarget(const app::CheckPlan::Call& call, const std::string& address,
                                                 std::time_t now) {
  const std::size_t target = call.channel - (app::kMailChannel + 1);
  const notify::ChannelResult result =
      notify::SendWebNotification(m_webTargets.at(target), notify::ValuesFor(address, call.old, now));
  if (m_webResults.size() <= target) m_webResults.resize(target + 1);
  m_webResults[target] = notify::ResultRow(result, ClockText());
  return result;
}

void CCorvaneDlg::AskForSettings() {
  Settings dialog(nullptr, m_cycle.Shown(), m_webResults);  // what the window shows, for a test call
  dialog.DoModal();
  TakeWebChanges(dialog);
  CRegistry registry;
  settings::OpenStore(registry);
  settings::Unreadable unreadable;
  settings::ReadMailSettings(registry, m_mail, &unreadable);
  m_webTargets = settings::ReadWebTargets(registry, &unreadable);
  settings::WarnUnreadable(unreadable);
}

// What the user did to the web targets in the settings dialog: each target
// keeps what it was told wherever it now stands in the list, and one its
// service stopped may be called again.
void CCorvaneDlg::TakeWebChanges(const Settings& dialog) {
  if (const auto& origins = dialog.StoredWebOrigins()) {
    m_cycle.WebTargetsStored(*origins);
    m_webResults = notify::FollowTargets(m_webResults, *origins);
  }
  if (dialog.WebNotifyActedOn()) m_cycle.WebActedOn();
  if (m_pTrayIcon) m_pTrayIcon->SetTooltip(TrayTip());
}

// The web targets are stored by their own dialog, whenever the user likes,
// so every check reads them afresh.
void CCorvaneDlg::ReadWebTargets() {
  CRegistry registry;
  settings::OpenStore(registry);
  settings::Unreadable unreadable;
  m_webTargets = settings::ReadWebTargets(registry, &unreadable);
  settings::WarnUnreadable(unreadable);
}

// A failure of the mail is this channel's result, as the web's is; the mail
// is retried at the next checks whatever the server said.
notify::ChannelResult CCorvaneDlg::SendMail(const std::string& address) {
  try {
    const int authIndex = settings::AuthIndexForText(m_mail.auth);
    if (authIndex < 0) return {notify::ChannelResult::Transient, settings::kChooseAuth};
    settings::MailSettings account = m_mail;
    account.from = settings::ShownText(account.from);  // an empty sender, as the test mail sends it
    settings::SendMail(m_smtp, account, authIndex, app::kNotificationSubject, app::kNotificationPrefix + address);
    return {notify::ChannelResult::Ok, "sent"};
  } catch (const CException& e) {
    std::string why;
    e.GetErrorMessage(why);
    return {notify::ChannelResult::Transient, why};
  } catch (const std::exception& e) {
    return {notify::ChannelResult::Transient, e.what()};
  }
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
  return fw::Dispatch(*this, routes, message, wParam, lParam,
                      [&] { return CSkinnableDialog::WindowProc(message, wParam, lParam); });
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
      CheckIpAddress();
      break;
    case kSettleTimer:
      // A check waits in the settings dialog: this one stays due and runs
      // at the first tick after the dialog has closed.
      if (m_checking) break;
      KillTimer(kSettleTimer);
      m_cycle.Schedule().Settled();
      CheckIpAddress();
      break;
    case kTrayRetryTimer:
      OnTrayRetry();
      break;
  }
  SetMsgHandled(FALSE);
}

HICON CCorvaneDlg::OnQueryDragIcon() { return m_hAppIcon; }

// Only a post that follows the system's own notice counts.
void CCorvaneDlg::OnConnectivityChanged() {
  if (m_connectivity && m_connectivity->TakeNotice()) CheckOnceSettled();
}

// While hidden in the tray nothing may show the window but a restore.
void CCorvaneDlg::OnWindowPosChanging(WINDOWPOS* pos) {
  if (m_stayHidden) pos->flags &= ~SWP_SHOWWINDOW;
  SetMsgHandled(FALSE);
}

void CCorvaneDlg::OnUpdate() { CheckIpAddress(); }

// After sleep the address may well be another; the network needs a moment
// to come up, and the change notices that follow are folded into this check.
void CCorvaneDlg::OnPowerBroadcast(UINT event) {
  if (event == PBT_APMRESUMEAUTOMATIC || event == PBT_APMRESUMESUSPEND) CheckOnceSettled();
}

void CCorvaneDlg::CheckOnceSettled() {
  if (m_cycle.Schedule().ChangeNoticed()) SetTimer(kSettleTimer, app::kSettleMs);
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
  Settings dialog(nullptr, m_cycle.Shown(), m_webResults);
  dialog.DoModal();  // the mail it saves takes effect at the next start, the web at the next check
  TakeWebChanges(dialog);
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

void CCorvaneDlg::OnSysCommand(UINT command, POINT) {
  // The low four bits are the system's own; compare without them throughout.
  const UINT id = command & 0xFFF0;
  if (id == ID_SYSCMD_ABOUT) {
    CAboutDlg about;
    about.DoModal();
  } else {
    if (id == SC_RESTORE) m_stayHidden = false;  // the restore may show the window itself
    DefaultProcessing();
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
    SetMsgHandled(FALSE);
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
