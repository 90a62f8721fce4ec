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
  // each stored target's last result, in order, for its row (shorter or
  // empty when there is nothing to say).
  WebTargetsDlg(std::string shownAddress, std::vector<std::string> lastResults = {}, CWnd* parent = nullptr);
  ~WebTargetsDlg() override;

  // True once the user stored the list or a test call got through: either
  // says the user has seen to the targets, so one the service refused for
  // good may be called again.
  bool UserActed() const { return m_userActed; }

  // True once the list was stored; then, for each stored row, the row it
  // was when the dialog opened, or -1 for one added here, so what is known
  // about each target follows it through removals.
  bool Stored() const { return m_stored; }
  const std::vector<int>& Origins() const { return m_origins; }

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
  std::vector<std::string> m_results;  // one per row; a changed target has none yet
  std::vector<int> m_origins;          // one per row
  CListBox m_list;
  bool m_userActed = false;
  bool m_stored = false;
};
