#pragma once
// The main window: the round skinned face that shows the address, runs the
// check at start, on its timer and on Update, and hides to the notification
// area. Closing it ends the program.
#include <memory>
#include <string>

#include "C_SMTP.h"
#include "Inet.h"
#include "SettingsLayout.h"
#include "SkinnableDialog.h"
#include "TaskbarNotifier.h"
#include "TrayIcon.h"

class CCorvaneDlg : public CSkinnableDialog {
 public:
  explicit CCorvaneDlg(CWnd* parent = nullptr);
  ~CCorvaneDlg() override;

  // The whole check: fetch, cut, stamp, and on a change notify (asking for
  // the mail settings first when they are incomplete), then show. A control
  // failure ends it at that call.
  void CheckIpAddress();

  static constexpr UINT_PTR kCheckTimer = 1;

 protected:
  void DoDataExchange(CDataExchange* pDX) override;
  BOOL OnInitDialog() override;
  void OnOK() override;
  void OnCancel() override;
  BOOL OnCommand(UINT id, UINT code, HWND control) override;
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

 private:
  void OnSysCommand(UINT command, LPARAM lParam);
  void OnPaint();
  void OnTimer(UINT_PTR id);
  void OnUpdate();
  void OnSettings();
  void OnHide();
  void OnTrayRestore();
  void OnTrayExit();

  void LoadSettings();
  void DressPopup();
  void HideToTray();
  void RestoreFromTray();
  std::string FetchAddress();
  void NotifyChange();
  void AskForMailSettings();

  std::string m_strLink;  // one page address or several, separated by blanks
  settings::MailSettings m_mail;
  int m_nInterval = 0;
  std::string m_strIP;
  CInet m_inet;
  C_SMTP m_smtp;
  std::string m_strStatus;
  HICON m_hAppIcon = nullptr;
  std::unique_ptr<CTrayIcon> m_pTrayIcon;
  CTaskbarNotifier m_notifier;

  // A timer tick that arrives while a check waits in a dialog or an error box
  // is skipped: the next tick checks afresh.
  bool m_bChecking = false;
};
