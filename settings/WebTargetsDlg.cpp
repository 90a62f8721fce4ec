#include "settings/WebTargetsDlg.h"

#include <utility>

#include "channels/TargetName.h"
#include "fw/MessageBox.h"
#include "fw/MessageMap.h"
#include "res/resource.h"
#include "settings/Registry.h"
#include "settings/SettingsRules.h"
#include "settings/StoredSettings.h"
#include "settings/WebTargetDlg.h"

namespace {

constexpr char kListFull[] = "There are already 8 web notifications; remove one before adding another.";

// Never the path or query: a row is on screen for anyone to read. A target
// called for something other than a change says so.
std::string RowText(const settings::WebSettings& target, const std::string& result) {
  std::string row = channels::TargetName(target);
  if (target.when == settings::WebWhen::EveryGoodCheck) row += "  (after every good check)";
  if (target.when == settings::WebWhen::KeepsFailing) row += "  (when checks keep failing)";
  return result.empty() ? row : row + "  -  " + result;
}

}  // namespace

WebTargetsDlg::WebTargetsDlg(std::string shownAddress, settings::WebResults lastResults, CWnd* parent)
    : CDialog(IDD_WEB_TARGETS, parent), m_shownAddress(std::move(shownAddress)), m_results(std::move(lastResults)) {}

WebTargetsDlg::~WebTargetsDlg() = default;

void WebTargetsDlg::DoDataExchange(CDataExchange* pDX) {
  CDialog::DoDataExchange(pDX);
  DDX_Control(pDX, IDC_WEB_TARGET_LIST, m_list);
}

BOOL WebTargetsDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  {
    CRegistry registry;
    settings::OpenStore(registry);
    m_targets = settings::ReadWebTargets(registry);
  }  // the key closes before the user sees anything
  ShowRows(0);
  return TRUE;
}

void WebTargetsDlg::ShowRows(int selected) {
  m_list.ResetContent();
  for (const settings::WebSettings& target : m_targets) {
    const auto result = m_results.find(target.id);  // a target added here has no id yet
    m_list.AddString(RowText(target, target.id && result != m_results.end() ? result->second : std::string()));
  }
  if (!m_targets.empty()) m_list.SetCurSel(std::min(selected, static_cast<int>(m_targets.size()) - 1));
}

LRESULT WebTargetsDlg::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  using T = WebTargetsDlg;
  const fw::Route<T> routes[] = {
      fw::OnCommandId<T, &T::OnAdd>(IDC_WEB_ADD),
      fw::OnCommandId<T, &T::OnEdit>(IDC_WEB_EDIT),
      fw::OnCommandId<T, &T::OnRemove>(IDC_WEB_REMOVE),
      fw::OnCommandId<T, &T::OnEdit>(IDC_WEB_TARGET_LIST, LBN_DBLCLK),
  };
  return fw::Dispatch(*this, routes, message, wParam, lParam,
                      [&] { return CDialog::WindowProc(message, wParam, lParam); });
}

void WebTargetsDlg::OnAdd() {
  if (static_cast<int>(m_targets.size()) >= settings::kMostWebTargets) {
    AfxMessageBox(kListFull, MB_OK | MB_ICONWARNING);
    return;
  }
  settings::WebSettings target;
  if (!Edit(target)) return;
  m_targets.push_back(std::move(target));
  ShowRows(static_cast<int>(m_targets.size()) - 1);
}

void WebTargetsDlg::OnEdit() {
  const int row = m_list.GetCurSel();
  if (row < 0 || row >= static_cast<int>(m_targets.size())) return;
  const auto index = static_cast<std::size_t>(row);
  if (!Edit(m_targets[index])) return;
  m_results.erase(m_targets[index].id);  // the last result was another target's
  ShowRows(row);
}

bool WebTargetsDlg::Edit(settings::WebSettings& target) {
  WebTargetDlg editor(target, m_shownAddress, this);
  const bool taken = editor.DoModal() == IDOK;
  m_userActed = m_userActed || editor.TestGotThrough();
  if (taken) target = editor.Target();
  return taken;
}

void WebTargetsDlg::OnRemove() {
  const int row = m_list.GetCurSel();
  if (row < 0 || row >= static_cast<int>(m_targets.size())) return;
  m_targets.erase(m_targets.begin() + row);
  ShowRows(row);
}

void WebTargetsDlg::OnOK() {
  std::string failures;
  {
    CRegistry registry;
    settings::OpenStore(registry);
    failures = settings::WriteWebTargets(registry, m_targets);
  }
  if (!failures.empty()) {
    AfxMessageBox(settings::kNotSaved + failures, MB_OK | MB_ICONSTOP);
    return;
  }
  m_userActed = true;
  m_stored = true;
  CDialog::OnOK();
}
