#include "app/CorvaneDlg.h"

#include <ctime>
#include <utility>
#include <vector>

#include "app/HistoryStore.h"
#include "app/IpCheck.h"
#include "app/Ipv6Source.h"
#include "app/SingleInstance.h"
#include "fw/Exceptions.h"
#include "fw/Gdi.h"
#include "fw/MessageMap.h"
#include "fw/WinApp.h"
#include "res/resource.h"
#include "settings/Settings.h"
#include "settings/StoredSettings.h"
#include "ui/AboutDlg.h"
#include "ui/HistoryDlg.h"

namespace {

constexpr COLORREF kFaceKey = RGB(25, 35, 85);
constexpr char kCheckErrorSource[] = "Corvane";

bool IsAnsiLeadByte(unsigned char byte) { return IsDBCSLeadByte(byte) != FALSE; }

// An item of the window's own below the system's, named by a string resource.
bool AppendSystemItem(HMENU menu, UINT command, UINT text, bool separated) {
  char name[64] = {};
  if (LoadStringA(AfxGetInstanceHandle(), text, name, sizeof name) <= 0) return false;
  if (separated) AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
  return AppendMenuA(menu, MF_STRING, command, name) != FALSE;
}

}  // namespace

CCorvaneDlg::CCorvaneDlg(CWnd* parent)
    : CSkinnableDialog(IDD_CORVANE_DIALOG, parent),
      m_hAppIcon(LoadIconA(AfxGetInstanceHandle(), MAKEINTRESOURCEA(IDR_MAINFRAME))),
      m_tray(*this, m_hAppIcon, IDR_TRAYMENU, kTrayRetryTimer) {}

CCorvaneDlg::~CCorvaneDlg() = default;

void CCorvaneDlg::DoDataExchange(CDataExchange* pDX) {
  CSkinnableDialog::DoDataExchange(pDX);
  DDX_Text(pDX, IDC_IP, m_strIP);
  DDX_Text(pDX, IDC_IP6, m_strIP6);
  DDX_Control(pDX, IDC_INET, m_inet);
  DDX_Control(pDX, IDC_SMTP, m_smtp);
  DDX_Text(pDX, IDC_STATUS, m_strStatus);
}

BOOL CCorvaneDlg::OnInitDialog() {
  CSkinnableDialog::OnInitDialog();

  if (HMENU systemMenu = GetSystemMenu(FALSE)) {
    if (AppendSystemItem(systemMenu, ID_SYSCMD_ABOUT, ID_STR_ABOUT, true))
      AppendSystemItem(systemMenu, ID_SYSCMD_HISTORY, ID_STR_HISTORY, false);
  }
  SetIcon(m_hAppIcon, TRUE);
  SetIcon(m_hAppIcon, FALSE);

  EnableFaceDrag(TRUE);
  SetSkinBitmap(IDB_MAIN_SKIN);
  SetSkinMode(SkinFitWindow);
  SetColorKey(kFaceKey, TRUE);
  SetWindowText(kTitle);

  const settings::StartupSettings stored = settings::LoadStartupSettings();
  m_unreadable.Add(m_hWnd, WM_TELL_UNREADABLE, stored.unreadable);
  CreateSkinnedPopup();
  m_work = std::make_unique<app::CheckWork>(m_hWnd, m_inet, m_smtp);
  m_history = std::make_unique<app::StoredHistory>();
  m_conductor = std::make_unique<app::CheckConductor>(static_cast<app::CheckPorts&>(*this), *m_work, *m_history,
                                                      static_cast<std::uint32_t>(stored.intervalMs), stored.link,
                                                      stored.mail, IsAnsiLeadByte, stored.ipv6);
  // The IPv6 field is part of the face only while the address is watched.
  if (stored.ipv6) ::ShowWindow(::GetDlgItem(m_hWnd, IDC_IP6), SW_SHOWNA);

  m_connectivity = std::make_unique<app::ConnectivityWatch>(m_hWnd, WM_CONNECTIVITY_CHANGED, stored.ipv6);
  if (m_tray.Hidden()) m_tray.Hide(TrayTip());

  // The timer runs before the first check, so a program started while
  // offline still checks by itself later; a failed first check shortens it.
  SetTimer(kCheckTimer, m_conductor->Cycle().Schedule().IntervalMs());
  CheckNow();
  return TRUE;
}

// The address the window shows, so a user sees it without opening the
// window, and a web notification the service stopped, which waits for them.
std::string CCorvaneDlg::TrayTip() const {
  if (!m_conductor) return app::kTrayTipTitle;
  const app::Address& shown = m_conductor->Shown();
  return app::TrayTipText(shown.v4, m_conductor->WatchesIpv6() ? std::optional(shown.v6) : std::nullopt,
                          m_conductor->AnyWebStopped());
}

void CCorvaneDlg::CreateSkinnedPopup() {
  m_notifier.CreatePopup(this);
  m_notifier.LoadSkin(IDB_POPUP_SKIN, -1, -1, -1);
  m_notifier.SetCaptionFont("Arial", 90, 1, 1);
  m_notifier.SetCaptionColors(RGB(0, 0, 0), RGB(0, 0, 200));
  m_notifier.SetCaptionRect(RECT{10, 50, m_notifier.SkinWidth() - 10, m_notifier.SkinHeight() - 25});
}

// A tick or Update: a check starts unless one runs (Update is greyed out then).
void CCorvaneDlg::CheckNow() {
  m_conductor->Start();
  ReportPending();
}

// The box comes once the check has ended, so ticks go on checking behind it.
void CCorvaneDlg::ReportPending() {
  if (!m_pendingFailure) return;
  const app::CheckFailure failure = *std::exchange(m_pendingFailure, std::nullopt);
  if (failure.kind == app::CheckFailure::OutOfMemory) throw CMemoryException();
  throw CDispatchException(failure.text, kCheckErrorSource);
}

// The web targets are stored by their own dialog, whenever the user likes,
// so every check reads them afresh.
std::vector<channels::WebSettings> CCorvaneDlg::ReadWebTargets() {
  settings::Unreadable unreadable;
  auto targets = settings::LoadWebTargets(unreadable);
  m_unreadable.Add(m_hWnd, WM_TELL_UNREADABLE, unreadable);
  return targets;
}

app::CheckPorts::SettingsAnswer CCorvaneDlg::AskForSettings(const std::string& found) {
  // The address just found, so the dialog's tests send what the check would.
  Settings dialog(nullptr, found, m_conductor->ResultRows(ReadWebTargets()));
  dialog.DoModal();
  settings::Unreadable unreadable;
  SettingsAnswer answer{settings::LoadMailSettings(unreadable), settings::LoadWebTargets(unreadable),
                        dialog.WebNotifyActedOn()};
  m_unreadable.Add(m_hWnd, WM_TELL_UNREADABLE, unreadable);
  return answer;
}

std::uint64_t CCorvaneDlg::SteadyMs() { return GetTickCount64(); }

std::time_t CCorvaneDlg::WallTime() { return std::time(nullptr); }

void CCorvaneDlg::Announce() { m_notifier.Announce(app::kPopupCaption, 500, 2000, 500); }

// A question to the system about its own adapters, answered at once: no
// network is waited on.
std::string CCorvaneDlg::StableIpv6() { return app::StableIpv6Address(); }

void CCorvaneDlg::Show(const app::Address& address, const std::string& stamp) {
  m_strIP = address.v4;
  m_strIP6 = address.v6.empty() ? app::kNoIpv6Address : address.v6;
  m_strStatus = stamp;
  UpdateData(FALSE);
}

void CCorvaneDlg::SetCheckTimer(std::uint32_t ms) { SetTimer(kCheckTimer, ms); }

void CCorvaneDlg::Report(const app::CheckFailure& failure) { m_pendingFailure = failure; }

void CCorvaneDlg::Running(bool running) {
  if (HWND update = ::GetDlgItem(m_hWnd, IDC_UPDATE)) ::EnableWindow(update, !running);
  if (!running) m_tray.SetTip(TrayTip());
}

LRESULT CCorvaneDlg::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  if (m_work && m_conductor && m_work->Deliver(message, wParam, lParam, *m_conductor)) {
    ReportPending();
    return 0;
  }
  using T = CCorvaneDlg;
  // A click on the popup (WM_POPUP_CLICKED) has no effect: it is not routed.
  const fw::Route<T> routes[] = {
      fw::OnSysCommand<T, &T::OnSysCommand>(),
      fw::OnNotice<T, &T::OnPaint>(WM_PAINT),
      fw::OnQueryDragIcon<T, &T::OnQueryDragIcon>(),
      fw::OnTimer<T, &T::OnTimer>(),
      fw::OnPowerBroadcast<T, &T::OnPowerBroadcast>(),
      fw::OnNotice<T, &T::OnConnectivityChanged>(WM_CONNECTIVITY_CHANGED),
      fw::OnNotice<T, &T::TellUnreadable>(WM_TELL_UNREADABLE),
      fw::OnWindowPosChanging<T, &T::OnWindowPosChanging>(),
      fw::OnNotice<T, &T::OnHandOver>(app::HandOverMessage()),
      fw::OnCommandId<T, &T::CheckNow>(IDC_UPDATE),
      fw::OnCommandId<T, &T::OnSettings>(IDC_SETTINGS),
      fw::OnCommandId<T, &T::OnHide>(IDC_HIDE),
      fw::OnCommandId<T, &T::OnTrayRestore>(ID_MENU_RESTORE),
      fw::OnCommandId<T, &T::OnTrayExit>(ID_MENU_EXIT),
      fw::OnCommandId<T, &T::OnHistory>(ID_MENU_HISTORY),
  };
  return fw::Dispatch(*this, routes, message, wParam, lParam,
                      [&] { return CSkinnableDialog::WindowProc(message, wParam, lParam); });
}

void CCorvaneDlg::OnTimer(UINT_PTR id) {
  switch (id) {
    case kCheckTimer:
      CheckNow();
      break;
    case kSettleTimer:
      if (m_conductor->StartSettled()) KillTimer(kSettleTimer);
      ReportPending();
      break;
    case kTrayRetryTimer:
      if (m_tray.RetryFailed()) OnTrayRestore();
      break;
  }
  SetMsgHandled(FALSE);
}

// Only a post that follows the system's own notice counts.
void CCorvaneDlg::OnConnectivityChanged() {
  if (m_connectivity && m_connectivity->TakeNotice()) CheckOnceSettled();
}

// While hidden in the tray nothing may show the window but a restore.
void CCorvaneDlg::OnWindowPosChanging(WINDOWPOS* pos) {
  if (m_tray.Hidden()) pos->flags &= ~SWP_SHOWWINDOW;
  SetMsgHandled(FALSE);
}

// After sleep the address may well be another; the network needs a moment
// to come up, and the change notices that follow are folded into this check.
void CCorvaneDlg::OnPowerBroadcast(UINT event) {
  if (event == PBT_APMRESUMEAUTOMATIC || event == PBT_APMRESUMESUSPEND) CheckOnceSettled();
}

void CCorvaneDlg::CheckOnceSettled() {
  if (m_conductor->Cycle().Schedule().ChangeNoticed()) SetTimer(kSettleTimer, app::kSettleMs);
}

// Another start of the program asked for this window: show it, and whatever
// dialog or box it holds open, in front.
void CCorvaneDlg::OnHandOver() {
  if (m_tray.Hidden() || IsIconic()) OnTrayRestore();
  HWND front = ::GetLastActivePopup(m_hWnd);
  ::SetForegroundWindow(front && ::IsWindowVisible(front) ? front : m_hWnd);
}

// The mail it saves takes effect at the next start, the web targets at the
// next check, whatever the check running meanwhile does.
void CCorvaneDlg::OnSettings() {
  Settings dialog(nullptr, m_conductor->Shown().v4, m_conductor->ResultRows(ReadWebTargets()));
  dialog.DoModal();
  if (dialog.WebNotifyActedOn()) m_conductor->WebActedOn();
  m_tray.SetTip(TrayTip());
}

void CCorvaneDlg::OnHide() { m_tray.Hide(TrayTip()); }

void CCorvaneDlg::OnTrayRestore() { SendMessage(WM_SYSCOMMAND, SC_RESTORE, 0); }

void CCorvaneDlg::OnTrayExit() {
  m_tray.Leave();
  CSkinnableDialog::OnCancel();
  // A box or dialog open above this window runs a loop of its own, and the
  // program would only end once someone answered it. Exit comes from the
  // tray menu or from setup replacing the program, so nobody may be there:
  // a quit message ends every loop on the way out.
  if (fw::IsReportingFailure() || !::IsWindowEnabled(m_hWnd)) PostQuitMessage(0);
}

void CCorvaneDlg::OnOK() {}  // Enter must not end the program

void CCorvaneDlg::OnSysCommand(UINT command, POINT) {
  // The low four bits are the system's own; compare without them throughout.
  const UINT id = command & 0xFFF0;
  if (id == ID_SYSCMD_ABOUT) {
    CAboutDlg about;
    about.DoModal();
  } else if (id == ID_SYSCMD_HISTORY) {
    OnHistory();
  } else {
    if (id == SC_RESTORE) m_tray.MayShow();
    DefaultProcessing();
  }
  if (id == SC_MINIMIZE)
    m_tray.Hide(TrayTip());
  else if (id == SC_RESTORE)
    m_tray.Restore();
}

// Read from the store each time: it holds every change as it was written.
void CCorvaneDlg::OnHistory() {
  std::vector<std::string> lines;
  for (const app::HistoryEntry& entry : app::LoadHistory()) lines.push_back(app::EntryLine(entry));
  HistoryDlg history(std::move(lines), this);
  history.DoModal();
}

void CCorvaneDlg::TellUnreadable() { m_unreadable.Tell(); }

// Only the minimised window paints here, with the icon; otherwise the dialog
// paints as usual.
void CCorvaneDlg::OnPaint() {
  if (!fw::PaintMinimisedIcon(m_hWnd, m_hAppIcon)) SetMsgHandled(FALSE);
}
