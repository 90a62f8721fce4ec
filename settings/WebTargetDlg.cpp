#include "settings/WebTargetDlg.h"

#include <ctime>
#include <iterator>
#include <utility>

#include "channels/WebHeaders.h"
#include "channels/WebSend.h"
#include "fw/BackgroundCall.h"
#include "fw/Exceptions.h"
#include "fw/MessageBox.h"
#include "fw/MessageMap.h"
#include "res/resource.h"

namespace {

constexpr char kNoAddressToCall[] = "Please enter the web address to call.";
constexpr char kNothingShown[] =
    "The main window shows no address yet to send. Please press Update there first, then test again.";
// Header values are checked filled in; with nothing shown yet, an address of
// the same shape stands in.
constexpr char kStandInAddress[] = "192.0.2.1";

// Posted by the test call's worker with its answer.
constexpr UINT WM_WEB_TEST_DONE = WM_APP + 0x101;

}  // namespace

WebTargetDlg::WebTargetDlg(settings::WebSettings target, std::string shownAddress, CWnd* parent)
    : CDialog(IDD_WEB_TARGET, parent), m_target(std::move(target)), m_shownAddress(std::move(shownAddress)) {}

WebTargetDlg::~WebTargetDlg() = default;

void WebTargetDlg::DoDataExchange(CDataExchange* pDX) {
  CDialog::DoDataExchange(pDX);
  DDX_Control(pDX, IDC_WEB_METHOD, m_methodCombo);
  DDX_Control(pDX, IDC_WEB_WHEN, m_whenCombo);
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
  for (int i = 0; i < static_cast<int>(std::size(settings::kWebWhenWords)); ++i)
    m_whenCombo.InsertString(i, settings::kWebWhenWords[i]);
  const int when = static_cast<int>(m_target.when);
  m_whenCombo.SetCurSel(when < static_cast<int>(std::size(settings::kWebWhenWords)) ? when : 0);
  for (int id : {IDC_WEB_URL, IDC_WEB_HEADERS, IDC_WEB_BODY})
    ::SendDlgItemMessageA(m_hWnd, id, EM_LIMITTEXT, settings::kLongestWebText, 0);
  UpdateData(FALSE);
  return TRUE;
}

// A test still out when the editor closes is dropped with the window.
LRESULT WebTargetDlg::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_WEB_TEST_DONE) {
    OnTestDone(lParam);
    return 0;
  }
  const fw::Route<WebTargetDlg> routes[] = {fw::OnCommandId<WebTargetDlg, &WebTargetDlg::OnTest>(IDC_WEB_TEST)};
  return fw::Dispatch(*this, routes, message, wParam, lParam,
                      [&] { return CDialog::WindowProc(message, wParam, lParam); });
}

settings::WebSettings WebTargetDlg::Typed() {
  UpdateData(TRUE);
  const int selected = m_methodCombo.GetCurSel();
  m_target.method = selected >= 0 && selected < static_cast<int>(std::size(settings::kWebMethods))
                        ? settings::kWebMethods[selected]
                        : settings::kWebGet;
  const int when = m_whenCombo.GetCurSel();
  m_target.when = when >= 0 && when < static_cast<int>(std::size(settings::kWebWhenWords))
                      ? static_cast<settings::WebWhen>(when)
                      : settings::WebWhen::OnChange;
  return m_target;
}

void WebTargetDlg::OnTest() {
  // The button is off while a test is out; a command sent all the same waits too.
  if (!::IsWindowEnabled(GetDlgItemHwnd(IDC_WEB_TEST))) return;
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
  // The call goes in the background, so the editor answers while a slow
  // service keeps it; one test at a time, until its box is shown.
  const bool started = fw::StartBackgroundCall<channels::ChannelResult>(
      m_hWnd, WM_WEB_TEST_DONE, 0, [typed, values = channels::ValuesFor(m_shownAddress, {}, std::time(nullptr))] {
        return channels::SendWebNotification(typed, values);
      });
  if (!started) throw CMemoryException();
  const HWND button = GetDlgItemHwnd(IDC_WEB_TEST);
  if (::GetFocus() == button) SendMessage(WM_NEXTDLGCTL, 0, FALSE);
  ::EnableWindow(button, FALSE);
}

void WebTargetDlg::OnTestDone(LPARAM answer) {
  if (!answer) {
    ::EnableWindow(GetDlgItemHwnd(IDC_WEB_TEST), TRUE);
    throw CMemoryException();  // the worker could not make its answer
  }
  const auto result = fw::TakeBackgroundResult<channels::ChannelResult>(m_hWnd, answer);
  if (!result) return;  // not an answer of ours
  if (result->ok()) m_testGotThrough = true;
  AfxMessageBox(result->text, MB_OK | (result->ok() ? MB_ICONINFORMATION : MB_ICONSTOP));
  ::EnableWindow(GetDlgItemHwnd(IDC_WEB_TEST), TRUE);
}

// The editor stays open on a refusal, with what was typed, for a correction.
void WebTargetDlg::OnOK() {
  const settings::WebSettings typed = Typed();
  if (!typed.IsSet()) {
    AfxMessageBox(kNoAddressToCall, MB_OK | MB_ICONWARNING);
    return;
  }
  const channels::WebValues values = channels::ValuesFor(
      m_shownAddress.empty() ? std::string(kStandInAddress) : m_shownAddress, {}, std::time(nullptr));
  const channels::HeaderLines lines = channels::ReadHeaderLines(typed.headers, values);
  if (!lines.refusal.empty()) {
    AfxMessageBox(lines.refusal, MB_OK | MB_ICONWARNING);
    return;
  }
  CDialog::OnOK();
}
