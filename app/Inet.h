#pragma once
// The wrapper of the page-fetch control (id 1000 on the main window). It adds
// no state of its own: one call to the control per operation.
#include <string>

#include "fw/Wnd.h"

class CInet : public CWnd {
 public:
  // Fetches the page at url and returns its body as single-byte page text.
  // A failure of the control throws CDispatchException with its description;
  // with no control attached nothing happens and the text is empty.
  std::string OpenURL(const std::string& url);
};
