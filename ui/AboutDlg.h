#pragma once
// The About box: the icon, the version line and the maker's notice, closed by
// OK or Escape. It has no behaviour of its own.
#include "fw/Dialog.h"

class CAboutDlg : public CDialog {
 public:
  CAboutDlg();
  ~CAboutDlg() override;
};
