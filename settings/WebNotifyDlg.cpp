#include "WebNotifyDlg.h"

#include <ctime>
#include <utility>

#include "MessageBox.h"
#include "Registry.h"
#include "SettingsRules.h"
#include "StoredSettings.h"
#include "WebSend.h"
#include "resource.h"

namespace {

constexpr const char* kMethods[] = {settings::kWebGet, settings::kWebPost};
constexpr char kNoAddressToCall[] = "Please enter the web address to call.";
constexpr char kNothingShown[] =
    "The main window shows no address yet to send. Please press Update there first, then test again.";

}  // namespace

CWebNotifyDlg::CWebNotifyDlg(std::string shownAddress, CWnd* parent)
    : CDialog(IDD_WEB_NOTIFY, parent), m_shownAddress(std::move(shownAddress)) {}

CWebNotifyDlg::~CWebNotifyDlg() = default;

void CWebNotifyDlg::DoDataExchange(CDataExchange* pDX) {
  CDialog::DoDataExchange(pDX);
  DDX_Control(pDX, IDC_WEB_METHOD, m_methodCombo);
  DDX_Text(pDX, IDC_WEB_URL, m_web.url);
  DDX_Text(pDX, IDC_WEB_BODY, m_web.body);
}

BOOL CWebNotifyDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  {
    CRegistry registry;
    settings::OpenStore(registry);
    settings::ReadWebSettings(registry, m_web);
  }
  for (int i = 0; i < 2; ++i) m_methodCombo.InsertString(i, kMethods[i]);
  m_methodCombo.SetCurSel(m_web.method == settings::kWebPost ? 1 : 0);
  for (int id : {IDC_WEB_URL, IDC_WEB_BODY})
    ::SendDlgItemMessageA(m_hWnd, id, EM_LIMITTEXT, settings::kLongestWebText, 0);
  UpdateData(FALSE);
  return TRUE;
}

BOOL CWebNotifyDlg::OnCommand(UINT id, UINT code, HWND control) {
  if (id == IDC_WEB_TEST) {
    OnTest();
    return TRUE;
  }
  return CDialog::OnCommand(id, code, control);
}

settings::WebSettings CWebNotifyDlg::Typed() {
  UpdateData(TRUE);
  m_web.method = m_methodCombo.GetCurSel() == 1 ? settings::kWebPost : settings::kWebGet;
  return m_web;
}

void CWebNotifyDlg::OnTest() {
  const settings::WebSettings typed = Typed();
  if (!typed.IsSet()) {
    AfxMessageBox(kNoAddressToCall, MB_OK | MB_ICONWARNING);
    return;
  }
  if (m_shownAddress.empty()) {
    AfxMessageBox(kNothingShown, MB_OK | MB_ICONWARNING);
    return;
  }
  // A test of what would be saved, as if the shown address had just appeared.
  const notify::ChannelResult answer =
      notify::SendWebNotification(typed, notify::ValuesFor(m_shownAddress, {}, std::time(nullptr)));
  if (answer.ok()) m_userActed = true;
  AfxMessageBox(answer.text, MB_OK | (answer.ok() ? MB_ICONINFORMATION : MB_ICONSTOP));
}

void CWebNotifyDlg::OnOK() {
  const settings::WebSettings typed = Typed();
  std::string failures;
  {
    CRegistry registry;
    settings::OpenStore(registry);
    failures = settings::WriteWebSettings(registry, typed);
  }
  if (!failures.empty()) {
    AfxMessageBox(settings::kNotSaved + failures, MB_OK | MB_ICONSTOP);
    return;
  }
  m_userActed = true;
  CDialog::OnOK();
}
