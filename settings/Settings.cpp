#include "settings/Settings.h"

#include <utility>

#include "channels/MailSend.h"
#include "fw/BackgroundCall.h"
#include "fw/MessageBox.h"
#include "fw/MessageMap.h"
#include "res/resource.h"
#include "settings/Registry.h"
#include "settings/SettingsRules.h"
#include "settings/StoredSettings.h"
#include "settings/WebTargetsDlg.h"

namespace {
// Posted by the test mail's worker when the mail is out or refused.
constexpr UINT WM_TEST_EMAIL_DONE = WM_APP + 0x100;
}  // namespace

Settings::Settings(CWnd* parent, std::string shownAddress, settings::WebResults webResults)
    : CDialog(IDD_SETTINGS, parent), m_shownAddress(std::move(shownAddress)), m_webResults(std::move(webResults)) {}

Settings::~Settings() = default;

void Settings::DoDataExchange(CDataExchange* pDX) {
  CDialog::DoDataExchange(pDX);
  DDX_Control(pDX, IDC_TIMER, m_intervalCombo);
  DDX_Control(pDX, IDC_AUTHENTICATION, m_authCombo);
  DDX_Control(pDX, IDC_IPV6, m_ipv6Combo);
  DDX_Text(pDX, IDC_FROM, m_mail.from);
  DDX_Text(pDX, IDC_PASSWORD, m_mail.password);
  DDX_Text(pDX, IDC_SMTP_SERVER, m_mail.server);
  DDX_Text(pDX, IDC_SENDTO, m_mail.to);
  DDX_Text(pDX, IDC_USERNAME, m_mail.username);
  DDX_Text(pDX, IDC_LINK, m_strLink);
  DDX_Control(pDX, IDC_SMTP, m_smtp);
}

BOOL Settings::OnInitDialog() {
  CDialog::OnInitDialog();
  {
    CRegistry registry;
    settings::OpenStore(registry);

    // Inserted by position: the lists carry CBS_SORT, and sorting would break
    // the codes, which are the positions.
    for (size_t i = 0; i < settings::kAuthTypes.size(); ++i)
      m_authCombo.InsertString(static_cast<int>(i), settings::kAuthTypes[i]);
    for (size_t i = 0; i < settings::kIntervals.size(); ++i)
      m_intervalCombo.InsertString(static_cast<int>(i), settings::kIntervals[i].label);
    for (size_t i = 0; i < settings::kIpv6Choices.size(); ++i)
      m_ipv6Combo.InsertString(static_cast<int>(i), settings::kIpv6Choices[i]);

    settings::ReadMailSettings(registry, m_mail);
    m_intervalText = settings::ReadTimer(registry);
    m_strLink = settings::ReadLink(registry);
    for (std::string* text : {&m_mail.server, &m_mail.username, &m_mail.to, &m_mail.from, &m_strLink})
      *text = settings::ShownText(*text);

    // No field takes more than the store reads back.
    for (int id : {IDC_SMTP_SERVER, IDC_USERNAME, IDC_PASSWORD, IDC_SENDTO, IDC_FROM, IDC_LINK})
      ::SendDlgItemMessageA(m_hWnd, id, EM_LIMITTEXT, settings::kLongestText, 0);

    m_intervalCombo.SetCurSel(settings::IntervalIndexForText(m_intervalText));
    m_authCombo.SetCurSel(settings::AuthIndexForText(m_mail.auth));
    m_ipv6Combo.SetCurSel(settings::Ipv6IndexForText(settings::ReadIpv6(registry)));
    UpdateData(FALSE);
  }  // the key closes here, before the user sees anything
  return TRUE;
}

// A test still out when the dialog closes is dropped with the window.
LRESULT Settings::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_TEST_EMAIL_DONE) {
    OnTestEmailDone(lParam);
    return 0;
  }
  using T = Settings;
  const fw::Route<T> routes[] = {
      fw::OnCommandId<T, &T::OnTestEmail>(IDC_TEST_EMAIL),
      fw::OnCommandId<T, &T::OnHelp>(IDC_SETTINGS_HELP),
      fw::OnCommandId<T, &T::OnWebNotify>(IDC_WEB_NOTIFY),
  };
  return fw::Dispatch(*this, routes, message, wParam, lParam,
                      [&] { return CDialog::WindowProc(message, wParam, lParam); });
}

void Settings::OnTestEmail() {
  // The button is off while a test is out; a command sent all the same waits too.
  if (!::IsWindowEnabled(GetDlgItemHwnd(IDC_TEST_EMAIL))) return;
  UpdateData(TRUE);
  const int authIndex = m_authCombo.GetCurSel();  // CB_ERR (-1) when nothing is selected
  const auto check = settings::CheckTestMailSettings(
      {m_mail.server, m_mail.username, m_mail.password, m_mail.to, m_mail.from, authIndex});
  for (const std::string& message : check.messages) AfxMessageBox(message, MB_OK | MB_ICONWARNING);

  if (check.failed) {
    AfxMessageBox(settings::kTestFailed, MB_OK | MB_ICONWARNING);
  } else {
    // The typed texts, password as typed: the test proves what would be saved.
    // The mail goes in the background, so the dialog answers while a slow
    // server keeps it; one test at a time, until its box is shown.
    if (channels::StartMail(m_smtp, m_mail, authIndex, settings::kTestSubject, settings::kTestText, m_hWnd,
                            WM_TEST_EMAIL_DONE, 0)) {
      const HWND button = GetDlgItemHwnd(IDC_TEST_EMAIL);
      if (::GetFocus() == button) SendMessage(WM_NEXTDLGCTL, 0, FALSE);
      ::EnableWindow(button, FALSE);
    }
  }
  UpdateData(FALSE);
}

void Settings::OnTestEmailDone(LPARAM outcome) {
  const auto sent = C_SMTP::TakeSendOutcome(m_hWnd, outcome);
  if (!sent) return;  // not a result of ours
  // The failure reads as it did when it came from the handler catch.
  if (sent->ok())
    AfxMessageBox(settings::kTestSent, MB_OK | MB_ICONINFORMATION);
  else
    AfxMessageBox(sent->error, MB_ICONSTOP);
  ::EnableWindow(GetDlgItemHwnd(IDC_TEST_EMAIL), TRUE);
}

void Settings::OnOK() {
  std::string failures;
  {
    CRegistry registry;
    settings::OpenStore(registry);
    UpdateData(TRUE);
    m_mail.auth = std::to_string(m_authCombo.GetCurSel());
    m_intervalText = settings::IntervalTextForIndex(m_intervalCombo.GetCurSel());
    failures = settings::WriteMailSettings(registry, m_mail);
    settings::WriteSetting(registry, settings::kTimer, m_intervalText, failures);
    // Off where nothing was ever stored stays nothing: an install that never
    // turned IPv6 on keeps the key it had.
    const std::string ipv6 = settings::Ipv6TextForIndex(m_ipv6Combo.GetCurSel());
    if (ipv6 != settings::kIpv6Off || registry.HasValue(settings::kIpv6))
      settings::WriteSetting(registry, settings::kIpv6, ipv6, failures);
    // There is no checking without a page: a cleared field brings back the default.
    settings::WriteSetting(registry, settings::kLink, m_strLink.empty() ? settings::kDefaultLink : m_strLink, failures);
  }
  if (!failures.empty()) {
    // The dialog stays, with what was typed, for another try or Discard.
    AfxMessageBox(settings::kNotSaved + failures, MB_OK | MB_ICONSTOP);
    return;
  }
  AfxMessageBox(settings::kRestartNotice, MB_OK | MB_ICONINFORMATION);
  CDialog::OnOK();
}

// Saved there on its own, so Discard here keeps what was saved there.
void Settings::OnWebNotify() {
  WebTargetsDlg dialog(m_shownAddress, m_webResults, this);
  dialog.DoModal();
  m_webActedOn = m_webActedOn || dialog.UserActed();
  // Opened again from here, the list says nothing of a target edited there.
  if (dialog.Stored()) m_webResults = dialog.Results();
}

void Settings::OnHelp() { AfxMessageBox(settings::kNoHelp, MB_OK | MB_ICONINFORMATION); }
