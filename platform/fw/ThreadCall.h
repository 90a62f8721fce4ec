#pragma once
// Private messages whose LPARAM points at a call object must come from this
// program's own thread: any program can send or post any message to any
// window, and a pointer of its making would crash us when followed. A
// message sent from another thread shows in InSendMessageEx; a posted one
// does not, so call objects also register while they live, with the thread
// that made them, and only a live call made on the answering thread is ever
// followed.
#include <mutex>
#include <unordered_map>

#include <windows.h>

namespace fw {

class ThreadCall {
 public:
  ThreadCall() {
    Registry& r = Live();
    std::lock_guard<std::mutex> lock(r.mutex);
    r.calls[this] = GetCurrentThreadId();
  }
  ThreadCall(const ThreadCall&) : ThreadCall() {}
  ThreadCall& operator=(const ThreadCall&) { return *this; }
  ~ThreadCall() {
    Registry& r = Live();
    std::lock_guard<std::mutex> lock(r.mutex);
    r.calls.erase(this);
  }

  // The call at `lParam` when the message came from this thread and the
  // address is a live call made on it; otherwise nullptr, and the caller
  // ignores the message.
  template <class Call>
  static Call* From(LPARAM lParam) {
    if (!lParam || InSendMessageEx(nullptr) != ISMEX_NOSEND) return nullptr;
    // Converting to the base adjusts the address without reading through it.
    Call* call = reinterpret_cast<Call*>(lParam);
    Registry& r = Live();
    std::lock_guard<std::mutex> lock(r.mutex);
    const auto found = r.calls.find(static_cast<const ThreadCall*>(call));
    return found != r.calls.end() && found->second == GetCurrentThreadId() ? call : nullptr;
  }

 private:
  struct Registry {
    std::mutex mutex;
    std::unordered_map<const ThreadCall*, DWORD> calls;
  };
  // One table for the process rather than one per thread: with this
  // toolchain a thread_local's destructor runs after the thread's TLS
  // storage has been freed, so a per-thread table crashed, now and then,
  // any worker thread that had made a call as it ended. Never destroyed, so
  // a thread still making calls while the program ends finds it intact.
  static Registry& Live() {
    static Registry* registry = new Registry;
    return *registry;
  }
};

}  // namespace fw
