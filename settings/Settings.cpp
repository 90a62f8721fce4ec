#include "Settings.h"

#include "MessageBox.h"
#include "Registry.h"
#include "Scramble.h"
#include "SettingsRules.h"
#include "StoredSettings.h"
#include "resource.h"

Settings::Settings(CWnd* parent) : CDialog(IDD_SETTINGS, parent) {}

Settings::~Settings() = default;

void Settings::DoDataExchange(CDataExchange* pDX) {
  CDialog::DoDataExchange(pDX);
  DDX_Control(pDX, IDC_TIMER, m_cbInterval);
  DDX_Control(pDX, IDC_AUTHENTICATION, m_cbAuth);
  DDX_Text(pDX, IDC_FROM, m_strFrom);
  DDX_Text(pDX, IDC_PASSWORD, m_strPassword);
  DDX_Text(pDX, IDC_SMTP_SERVER, m_strServer);
  DDX_Text(pDX, IDC_SENDTO, m_strTo);
  DDX_Text(pDX, IDC_USERNAME, m_strUsername);
  DDX_Control(pDX, IDC_SMTP, m_smtp);
}

BOOL Settings::OnInitDialog() {
  CDialog::OnInitDialog();
  {
    CRegistry registry;
    registry.OpenKey(settings::kRoot, settings::kKeyPath, 0);

    // Inserted by position: the lists carry CBS_SORT, and sorting would break
    // the codes, which are the positions.
    for (size_t i = 0; i < settings::kAuthTypes.size(); ++i)
      m_cbAuth.InsertString(static_cast<int>(i), settings::kAuthTypes[i]);
    for (size_t i = 0; i < settings::kIntervals.size(); ++i)
      m_cbInterval.InsertString(static_cast<int>(i), settings::kIntervals[i].label);

    registry.ReadValue("SMTPServer", m_strServer);
    registry.ReadValue("SMTPUsername", m_strUsername);
    registry.ReadValue("SMTPPassword", m_strPassword);
    registry.ReadValue("SMTPAuth", m_strAuth);
    registry.ReadValue("SMTPTo", m_strTo);
    registry.ReadValue("SMTPFrom", m_strFrom);
    registry.ReadValue("Timer", m_strInterval);

    for (std::string* text : {&m_strServer, &m_strUsername, &m_strPassword, &m_strTo, &m_strFrom})
      *text = settings::ShownText(*text);  // the password is compared in its stored form

    m_cbInterval.SetCurSel(settings::IntervalIndexForText(m_strInterval));
    m_cbAuth.SetCurSel(settings::AuthIndexForText(m_strAuth));
    m_strPassword = UnscrambleText(m_strPassword);
    UpdateData(FALSE);
  }  // the key closes here, before the user sees anything
  return TRUE;
}

BOOL Settings::OnCommand(UINT id, UINT code, HWND control) {
  switch (id) {
    case IDC_TEST_EMAIL: OnTestEmail(); return TRUE;
    case IDC_SETTINGS_HELP: OnHelp(); return TRUE;
    default: return CDialog::OnCommand(id, code, control);
  }
}

void Settings::OnTestEmail() {
  UpdateData(TRUE);
  const int authIndex = m_cbAuth.GetCurSel();  // CB_ERR (-1) when nothing is selected
  const auto check = settings::CheckTestMailSettings(
      {m_strServer, m_strUsername, m_strPassword, m_strTo, m_strFrom, authIndex});
  for (const std::string& message : check.messages) AfxMessageBox(message, MB_OK | MB_ICONWARNING);

  if (check.failed) {
    AfxMessageBox(settings::kTestFailed, MB_OK | MB_ICONWARNING);
  } else {
    // The typed texts, password as typed: the test proves what would be saved.
    m_smtp.SetServer(m_strServer);
    m_smtp.SetUsername(m_strUsername);
    m_smtp.SetPassword(m_strPassword);
    m_smtp.SetAuthenticationType(authIndex);
    m_smtp.SetSendTo(m_strTo);
    m_smtp.SetMailFrom(m_strFrom);
    m_smtp.SetMessageSubject(settings::kTestSubject);
    m_smtp.SetMessageText(settings::kTestText);
    m_smtp.SetRaiseError(TRUE);
    m_smtp.Send();  // a failure leaves from here, reported by the handler catch
    AfxMessageBox(settings::kTestSent, MB_OK | MB_ICONINFORMATION);
  }
  UpdateData(FALSE);
}

void Settings::OnOK() {
  {
    CRegistry registry;
    registry.OpenKey(settings::kRoot, settings::kKeyPath, 0);
    UpdateData(TRUE);
    m_strAuth = std::to_string(m_cbAuth.GetCurSel());
    m_strInterval = settings::IntervalTextForIndex(m_cbInterval.GetCurSel());
    const std::string storedPassword = ScrambleText(m_strPassword);
    registry.WriteValue("SMTPServer", m_strServer);
    registry.WriteValue("SMTPUsername", m_strUsername);
    registry.WriteValue("SMTPPassword", storedPassword);
    registry.WriteValue("SMTPAuth", m_strAuth);
    registry.WriteValue("SMTPTo", m_strTo);
    registry.WriteValue("SMTPFrom", m_strFrom);
    registry.WriteValue("Timer", m_strInterval);
    registry.CloseKey();
  }
  AfxMessageBox(settings::kRestartNotice, MB_OK | MB_ICONINFORMATION);
  CDialog::OnOK();
}

void Settings::OnHelp() { AfxMessageBox(settings::kNoHelp, MB_OK | MB_ICONINFORMATION); }
