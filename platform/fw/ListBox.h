#pragma once
// Wrapper of a list box control bound by data exchange.
#include <string>

#include "Wnd.h"

class CListBox : public CWnd {
 public:
  int AddString(const std::string& text) {
    return static_cast<int>(SendMessage(LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str())));
  }
  void ResetContent() { SendMessage(LB_RESETCONTENT); }
  int GetCurSel() const { return static_cast<int>(SendMessage(LB_GETCURSEL)); }
  int SetCurSel(int index) { return static_cast<int>(SendMessage(LB_SETCURSEL, static_cast<WPARAM>(index))); }
  int GetCount() const { return static_cast<int>(SendMessage(LB_GETCOUNT)); }
};
