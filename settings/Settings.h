#pragma once
// The settings dialog: edits the mail settings, the check interval and the
// page address, proves the mail settings with a test e-mail, and saves them
// to the registry. The web targets have a dialog of their own behind it.
#include <optional>
#include <string>
#include <vector>

#include "channels/C_SMTP.h"
#include "fw/ComboBox.h"
#include "fw/Dialog.h"
#include "settings/SettingsLayout.h"

class Settings : public CDialog {
 public:
  // `shownAddress` is what the main window shows, for the web notification's test.
  // `webResults` are the web targets' last results, by id.
  explicit Settings(CWnd* parent = nullptr, std::string shownAddress = {}, settings::WebResults webResults = {});
  ~Settings() override;

  // True when the web notification was saved, or a test call of it got
  // through, in its dialog opened from here.
  bool WebNotifyActedOn() const { return m_webActedOn; }

 protected:
  void DoDataExchange(CDataExchange* pDX) override;
  BOOL OnInitDialog() override;
  void OnOK() override;  // Save
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

 private:
  void OnTestEmail();
  void OnTestEmailDone(LPARAM outcome);
  void OnHelp();
  void OnWebNotify();

  // The texts as shown (the marker as an empty field); auth is moved to and
  // from its list by hand.
  settings::MailSettings m_mail;
  std::string m_intervalText;  // Timer as text; likewise moved by hand
  std::string m_strLink;
  CComboBox m_intervalCombo;
  CComboBox m_authCombo;
  CComboBox m_ipv6Combo;
  C_SMTP m_smtp;
  std::string m_shownAddress;
  settings::WebResults m_webResults;
  bool m_webActedOn = false;
};
