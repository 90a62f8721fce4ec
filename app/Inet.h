#pragma once
// The wrapper of the page-fetch control (id 1000 on the main window). It adds
// no state of its own: one call to the control per operation.
#include <memory>
#include <string>

#include "fw/Wnd.h"

// What a fetch started with StartOpenURL came to.
struct PageFetchResult {
  std::string body;   // the page as single-byte text, when ok
  std::string error;  // else the description OpenURL would have thrown
  bool ok() const { return error.empty(); }
};

class CInet : public CWnd {
 public:
  // Fetches the page at url and returns its body as single-byte page text.
  // A failure of the control throws CDispatchException with its description;
  // with no control attached nothing happens and the text is empty.
  std::string OpenURL(const std::string& url);

  // The same fetch on a thread of its own, returning at once: its
  // PageFetchResult reaches `replyTo` as a posted `message` with wParam
  // `tag` (see fw/BackgroundCall.h), taken with TakeFetchResult. False when
  // nothing will be posted: no control is attached, or no thread could start.
  bool StartOpenURL(const std::string& url, HWND replyTo, UINT message, WPARAM tag);
  // The result a StartOpenURL message carries; null when the message is not
  // one (ignore it). A fetch that could not make its result (memory ran out)
  // comes back as a failure.
  static std::unique_ptr<PageFetchResult> TakeFetchResult(HWND window, LPARAM lParam);
};
