#pragma once
// The main window: the round skinned face that shows the address and hides
// to the notification area. Closing it ends the program. The check itself is
// the conductor's: the window starts it on its timer, on Update and after a
// wake-up or a network change, carries out what it hands back, and runs the
// network work it asks for on worker threads, so the window answers at
// every moment of a check.
#include <ctime>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/CheckConductor.h"
#include "app/CheckWork.h"
#include "app/ConnectivityWatch.h"
#include "app/HistoryStore.h"
#include "app/Inet.h"
#include "app/TrayPresence.h"
#include "channels/C_SMTP.h"
#include "res/Version.h"
#include "settings/StoredSettings.h"
#include "ui/SkinnableDialog.h"
#include "ui/TaskbarNotifier.h"

class CCorvaneDlg : public CSkinnableDialog, private app::CheckPorts {
 public:
  explicit CCorvaneDlg(CWnd* parent = nullptr);
  ~CCorvaneDlg() override;

  // Opens hidden, with only the notification-area icon. Call before DoModal.
  void StartInTray() { m_tray.StayHidden(); }

  static constexpr char kTitle[] = CORVANE_WINDOW_TITLE;

  static constexpr UINT_PTR kCheckTimer = 1;      // the interval, or the back-off after a failure
  static constexpr UINT_PTR kSettleTimer = 2;     // a check soon after a wake-up or a network change
  static constexpr UINT_PTR kTrayRetryTimer = 3;  // adding the tray icon again while the shell is not ready

  // Posted from the system's thread when the network interfaces change.
  static constexpr UINT WM_CONNECTIVITY_CHANGED = WM_APP + 1;
  // Posted to itself: settings that could not be read are told about once
  // nothing waits for the answer, so a box never holds a check or the timer.
  static constexpr UINT WM_TELL_UNREADABLE = WM_APP + 2;

 protected:
  void DoDataExchange(CDataExchange* pDX) override;
  BOOL OnInitDialog() override;
  void OnOK() override;
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

 private:
  // The conductor's ports.
  std::vector<channels::WebSettings> ReadWebTargets() override;
  SettingsAnswer AskForSettings(const std::string& found) override;
  std::uint64_t SteadyMs() override;
  std::time_t WallTime() override;
  void Announce() override;
  void Show(const app::Address& address, const std::string& stamp) override;
  std::string StableIpv6() override;
  void SetCheckTimer(std::uint32_t ms) override;
  void Report(const app::CheckFailure& failure) override;
  void Running(bool running) override;

  void OnSysCommand(UINT command, POINT cursor);
  void OnPaint();
  void OnTimer(UINT_PTR id);
  void OnSettings();
  void OnHide();
  void OnTrayRestore();
  void OnTrayExit();
  void OnHistory();
  void OnPowerBroadcast(UINT event);
  HICON OnQueryDragIcon() { return m_hAppIcon; }
  void OnConnectivityChanged();
  void OnWindowPosChanging(WINDOWPOS* pos);
  void OnHandOver();
  void TellUnreadable();
  void CheckNow();
  void CheckOnceSettled();
  void ReportPending();

  std::string TrayTip() const;
  void CreateSkinnedPopup();

  std::string m_strIP;
  std::string m_strIP6;
  std::string m_strStatus;
  CInet m_inet;
  C_SMTP m_smtp;
  HICON m_hAppIcon = nullptr;
  CTaskbarNotifier m_notifier;
  std::unique_ptr<app::StoredHistory> m_history;
  std::unique_ptr<app::CheckConductor> m_conductor;
  std::unique_ptr<app::CheckWork> m_work;
  std::unique_ptr<app::ConnectivityWatch> m_connectivity;
  std::optional<app::CheckFailure> m_pendingFailure;  // the box the check ended with, shown once it has ended
  settings::UnreadableLater m_unreadable;
  app::TrayPresence m_tray;
};
