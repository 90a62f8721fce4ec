#pragma once
// Private messages whose LPARAM points at a call object must come from this
// program's own thread: any program can send or post any message to any
// window, and a pointer of its making would crash us when followed. A
// message sent from another thread shows in InSendMessageEx; a posted one
// does not, so call objects also register while they live on their thread,
// and only a live call's address is ever followed.
#include <unordered_set>

#include <windows.h>

namespace fw {

class ThreadCall {
 public:
  ThreadCall() { Live().insert(this); }
  ThreadCall(const ThreadCall&) : ThreadCall() {}
  ThreadCall& operator=(const ThreadCall&) { return *this; }
  ~ThreadCall() { Live().erase(this); }

  // The call at `lParam` when the message came from this thread and the
  // address is a live call made on it; otherwise nullptr, and the caller
  // ignores the message.
  template <class Call>
  static Call* From(LPARAM lParam) {
    if (!lParam || InSendMessageEx(nullptr) != ISMEX_NOSEND) return nullptr;
    // Converting to the base adjusts the address without reading through it.
    Call* call = reinterpret_cast<Call*>(lParam);
    return Live().count(static_cast<const ThreadCall*>(call)) ? call : nullptr;
  }

 private:
  static std::unordered_set<const ThreadCall*>& Live() {
    thread_local std::unordered_set<const ThreadCall*> live;
    return live;
  }
};

}  // namespace fw
