#pragma once
// The main window: the round skinned face that shows the address, runs the
// check at start, on its timer and on Update, and hides to the notification
// area. Closing it ends the program. It keeps watching while nobody is at the
// PC: failures retry sooner, and a wake-up or a returning network checks soon.
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "app/CheckCycle.h"
#include "app/ConnectivityWatch.h"
#include "channels/C_SMTP.h"
#include "app/Inet.h"
#include "res/Version.h"
#include "settings/SettingsLayout.h"
#include "ui/SkinnableDialog.h"
#include "ui/TaskbarNotifier.h"
#include "ui/TrayIcon.h"

class Settings;

class CCorvaneDlg : public CSkinnableDialog {
 public:
  explicit CCorvaneDlg(CWnd* parent = nullptr);
  ~CCorvaneDlg() override;

  // The whole check: fetch, cut, stamp, call each channel still owed the
  // address (asking for the settings first when none is set up), then show
  // what the check cycle makes of it. Whatever failed is reported in one box
  // once the check has ended.
  void CheckIpAddress();

  // Opens hidden, with only the notification-area icon. Call before DoModal.
  void StartInTray() { m_stayHidden = true; }

  static constexpr char kTitle[] = CORVANE_WINDOW_TITLE;
  static constexpr char kTrayTip[] = "Corvane by Orlimar";
  static constexpr char kWebStoppedTip[] = " (web notification stopped)";

  static constexpr UINT_PTR kCheckTimer = 1;      // the interval, or the back-off after a failure
  static constexpr UINT_PTR kSettleTimer = 2;     // a check soon after a wake-up or a network change
  static constexpr UINT_PTR kTrayRetryTimer = 3;  // adding the tray icon again while the shell is not ready

  // Posted from the system's thread when the network interfaces change.
  static constexpr UINT WM_CONNECTIVITY_CHANGED = WM_APP + 1;

 protected:
  void DoDataExchange(CDataExchange* pDX) override;
  BOOL OnInitDialog() override;
  void OnOK() override;
  void OnCancel() override;
  BOOL OnCommand(UINT id, UINT code, HWND control) override;
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

 private:
  void OnSysCommand(UINT command, POINT cursor);
  void OnPaint();
  void OnTimer(UINT_PTR id);
  void OnUpdate();
  void OnSettings();
  void OnHide();
  void OnTrayRestore();
  void OnTrayExit();
  void OnPowerBroadcast(UINT event);
  HICON OnQueryDragIcon();
  void OnConnectivityChanged();
  void OnWindowPosChanging(WINDOWPOS* pos);
  void OnHandOver();
  void OnTrayRetry();
  void CheckOnceSettled();

  std::string RunCheck();
  std::string EndCheck();
  std::string TrayTip() const;

  void LoadSettings();
  void CreateSkinnedPopup();
  void HideToTray();
  void RestoreFromTray();
  std::string FetchAddress();
  app::ChannelSetup ChannelsSetUp() const;
  channels::ChannelResult CallWebTarget(const app::CheckPlan::Call& call, const std::string& address, std::time_t now);
  void TakeWebChanges(const Settings& dialog);
  channels::ChannelResult SendMail(const std::string& address);
  void AskForSettings();
  void ReadWebTargets();

  std::string m_strLink;  // one page address or several, separated by blanks
  settings::MailSettings m_mail;
  std::vector<settings::WebSettings> m_webTargets;
  std::vector<std::string> m_webResults;  // each target's last result, for its row in the list
  int m_nInterval = 0;
  std::string m_strIP;
  CInet m_inet;
  C_SMTP m_smtp;
  std::string m_strStatus;
  HICON m_hAppIcon = nullptr;
  std::unique_ptr<CTrayIcon> m_pTrayIcon;
  CTaskbarNotifier m_notifier;
  // What each channel was told, what the window shows and when the next
  // check runs; the fields only ever show what it hands back.
  app::CheckCycle m_cycle{0};
  std::unique_ptr<app::ConnectivityWatch> m_connectivity;
  // While hidden in the tray nothing may show the window but a restore: the
  // dialog manager shows a modal dialog by itself once it first goes idle.
  bool m_stayHidden = false;
  int m_trayAttempts = 0;

  // A timer tick that arrives while a check waits in the settings dialog is
  // skipped: the next tick checks afresh. A failure box is shown after the
  // check has ended, so ticks go on checking behind it.
  bool m_checking = false;
  bool m_settingsOpen = false;  // the Settings button's dialog is open
};
