#pragma once
// The history of address changes, newest first, one row a change: when it
// was first seen, the address and what each channel made of it. Copy puts
// the whole list on the clipboard as text; Close ends it.
#include <string>
#include <vector>

#include "fw/Dialog.h"
#include "fw/ListBox.h"

class HistoryDlg : public CDialog {
 public:
  // `lines` newest first, as they are shown and copied.
  explicit HistoryDlg(std::vector<std::string> lines, CWnd* parent = nullptr);
  ~HistoryDlg() override;

  static constexpr char kNothingYet[] = "No address change has been recorded yet.";

 protected:
  void DoDataExchange(CDataExchange* pDX) override;
  BOOL OnInitDialog() override;
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

 private:
  void OnCopy();

  std::vector<std::string> m_lines;
  CListBox m_list;
};
