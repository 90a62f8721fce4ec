#pragma once
// The list of web targets, opened from the settings dialog: one row per
// target with its method, where it goes (scheme and host only: a path or
// query may hold a token) and its last result; Add, Edit and Remove work on
// a copy, OK stores the whole list and Cancel forgets every change.
#include <string>
#include <vector>

#include "fw/Dialog.h"
#include "fw/ListBox.h"
#include "settings/SettingsLayout.h"

class WebTargetsDlg : public CDialog {
 public:
  // `shownAddress` is what a test call sends as {ip}; `lastResults` holds
  // the stored targets' last results, by id, for their rows.
  WebTargetsDlg(std::string shownAddress, settings::WebResults lastResults = {}, CWnd* parent = nullptr);
  ~WebTargetsDlg() override;

  // True once the user stored the list or a test call got through: either
  // says the user has seen to the targets, so one the service refused for
  // good may be called again.
  bool UserActed() const { return m_userActed; }

  // True once the list was stored; the results then no longer hold what
  // was said of a target edited here.
  bool Stored() const { return m_stored; }
  const settings::WebResults& Results() const { return m_results; }

 protected:
  void DoDataExchange(CDataExchange* pDX) override;
  BOOL OnInitDialog() override;
  void OnOK() override;
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

 private:
  void OnAdd();
  void OnEdit();
  void OnRemove();
  void ShowRows(int selected);
  // Runs the editor on `target`; true when it was left with OK.
  bool Edit(settings::WebSettings& target);

  std::string m_shownAddress;
  std::vector<settings::WebSettings> m_targets;
  settings::WebResults m_results;  // an edited target has none yet
  CListBox m_list;
  bool m_userActed = false;
  bool m_stored = false;
};
