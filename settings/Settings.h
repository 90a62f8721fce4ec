#pragma once
// The settings dialog: edits the mail settings, the check interval and the
// page address, proves the mail settings with a test e-mail, and saves them
// to the registry. The web notification has a dialog of its own behind it.
#include <string>

#include "C_SMTP.h"
#include "ComboBox.h"
#include "Dialog.h"
#include "SettingsLayout.h"

class Settings : public CDialog {
 public:
  // `shownAddress` is what the main window shows, for the web notification's test.
  explicit Settings(CWnd* parent = nullptr, std::string shownAddress = {});
  ~Settings() override;

  // True when the web notification was saved, or a test call of it got
  // through, in its dialog opened from here.
  bool WebNotifyActedOn() const { return m_webActedOn; }

 protected:
  void DoDataExchange(CDataExchange* pDX) override;
  BOOL OnInitDialog() override;
  void OnOK() override;  // Save
  BOOL OnCommand(UINT id, UINT code, HWND control) override;

 private:
  void OnTestEmail();
  void OnHelp();
  void OnWebNotify();

  // The texts as shown (the marker as an empty field); auth is moved to and
  // from its list by hand.
  settings::MailSettings m_mail;
  std::string m_intervalText;  // Timer as text; likewise moved by hand
  std::string m_strLink;
  CComboBox m_intervalCombo;
  CComboBox m_authCombo;
  C_SMTP m_smtp;
  std::string m_shownAddress;
  bool m_webActedOn = false;
};
