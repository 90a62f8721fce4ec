#pragma once
// The settings dialog: edits the mail settings and the check interval,
// proves them with a test e-mail, and saves them to the registry.
#include <string>

#include "C_SMTP.h"
#include "ComboBox.h"
#include "Dialog.h"

class Settings : public CDialog {
 public:
  explicit Settings(CWnd* parent = nullptr);
  ~Settings() override;

 protected:
  void DoDataExchange(CDataExchange* pDX) override;
  BOOL OnInitDialog() override;
  void OnOK() override;  // Save
  BOOL OnCommand(UINT id, UINT code, HWND control) override;

 private:
  void OnTestEmail();
  void OnHelp();

  std::string m_strAuth;      // SMTPAuth as text; moved to and from the list by hand
  std::string m_strInterval;  // Timer as text; likewise
  CComboBox m_cbInterval;
  CComboBox m_cbAuth;
  std::string m_strFrom;
  std::string m_strPassword;  // plain while the dialog is open
  std::string m_strServer;
  std::string m_strTo;
  std::string m_strUsername;
  C_SMTP m_smtp;
};
