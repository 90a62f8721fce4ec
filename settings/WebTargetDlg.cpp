#include "WebTargetDlg.h"

#include <ctime>
#include <iterator>
#include <utility>

#include "MessageBox.h"
#include "WebHeaders.h"
#include "WebSend.h"
#include "resource.h"

namespace {

constexpr char kNoAddressToCall[] = "Please enter the web address to call.";
constexpr char kNothingShown[] =
    "The main window shows no address yet to send. Please press Update there first, then test again.";
// Header values are checked filled in; with nothing shown yet, an address of
// the same shape stands in.
constexpr char kStandInAddress[] = "192.0.2.1";

}  // namespace

WebTargetDlg::WebTargetDlg(settings::WebSettings target, std::string shownAddress, CWnd* parent)
    : CDialog(IDD_WEB_TARGET, parent), m_target(std::move(target)), m_shownAddress(std::move(shownAddress)) {}

WebTargetDlg::~WebTargetDlg() = default;

void WebTargetDlg::DoDataExchange(CDataExchange* pDX) {
  CDialog::DoDataExchange(pDX);
  DDX_Control(pDX, IDC_WEB_METHOD, m_methodCombo);
  DDX_Text(pDX, IDC_WEB_URL, m_target.url);
  DDX_Text(pDX, IDC_WEB_HEADERS, m_target.headers);
  DDX_Text(pDX, IDC_WEB_BODY, m_target.body);
}

BOOL WebTargetDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  int selected = 0;
  for (int i = 0; i < static_cast<int>(std::size(settings::kWebMethods)); ++i) {
    m_methodCombo.InsertString(i, settings::kWebMethods[i]);
    if (m_target.method == settings::kWebMethods[i]) selected = i;
  }
  m_methodCombo.SetCurSel(selected);
  for (int id : {IDC_WEB_URL, IDC_WEB_HEADERS, IDC_WEB_BODY})
    ::SendDlgItemMessageA(m_hWnd, id, EM_LIMITTEXT, settings::kLongestWebText, 0);
  UpdateData(FALSE);
  return TRUE;
}

BOOL WebTargetDlg::OnCommand(UINT id, UINT code, HWND control) {
  if (id == IDC_WEB_TEST) {
    OnTest();
    return TRUE;
  }
  return CDialog::OnCommand(id, code, control);
}

settings::WebSettings WebTargetDlg::Typed() {
  UpdateData(TRUE);
  const int selected = m_methodCombo.GetCurSel();
  m_target.method = selected >= 0 && selected < static_cast<int>(std::size(settings::kWebMethods))
                        ? settings::kWebMethods[selected]
                        : settings::kWebGet;
  return m_target;
}

void WebTargetDlg::OnTest() {
  const settings::WebSettings typed = Typed();
  if (!typed.IsSet()) {
    AfxMessageBox(kNoAddressToCall, MB_OK | MB_ICONWARNING);
    return;
  }
  if (m_shownAddress.empty()) {
    AfxMessageBox(kNothingShown, MB_OK | MB_ICONWARNING);
    return;
  }
  // A test of what is typed now, as if the shown address had just appeared.
  const notify::ChannelResult answer =
      notify::SendWebNotification(typed, notify::ValuesFor(m_shownAddress, {}, std::time(nullptr)));
  if (answer.ok()) m_testGotThrough = true;
  AfxMessageBox(answer.text, MB_OK | (answer.ok() ? MB_ICONINFORMATION : MB_ICONSTOP));
}

// The editor stays open on a refusal, with what was typed, for a correction.
void WebTargetDlg::OnOK() {
  const settings::WebSettings typed = Typed();
  if (!typed.IsSet()) {
    AfxMessageBox(kNoAddressToCall, MB_OK | MB_ICONWARNING);
    return;
  }
  const notify::WebValues values =
      notify::ValuesFor(m_shownAddress.empty() ? std::string(kStandInAddress) : m_shownAddress, {}, std::time(nullptr));
  const notify::HeaderLines lines = notify::ReadHeaderLines(typed.headers, values);
  if (!lines.refusal.empty()) {
    AfxMessageBox(lines.refusal, MB_OK | MB_ICONWARNING);
    return;
  }
  CDialog::OnOK();
}
