#pragma once
// One Corvane per user session. The first start holds a named mutex in the
// session's namespace for its whole life; a later start finds it held and
// hands over to the running copy instead of watching (and mailing) twice.
#include <windows.h>

namespace app {

// The message a later start posts to the running copy's main window: show
// yourself and come forward. Registered, since it crosses processes.
UINT HandOverMessage();

class SingleInstance {
 public:
  SingleInstance();
  ~SingleInstance();
  SingleInstance(const SingleInstance&) = delete;
  SingleInstance& operator=(const SingleInstance&) = delete;

  // False when another copy runs in this session.
  bool IsFirst() const { return m_first; }

  // Asks the running copy's main window (found by its class and title) to
  // show itself; the window may still be opening, so it is looked for a while.
  static void HandOver(const char* mainWindowTitle);

 private:
  HANDLE m_mutex = nullptr;
  bool m_first = true;
};

}  // namespace app
