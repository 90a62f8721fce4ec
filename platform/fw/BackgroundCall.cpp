#include "fw/BackgroundCall.h"

#include <process.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

namespace fw {

namespace {

struct Waiting {
  HWND window;
  const std::type_info* type;
  void* result;
  background::Destroy destroy;
};

struct Registry {
  std::mutex mutex;
  std::vector<Waiting> waiting;
  std::atomic<int> running{0};
};

// Never destroyed: a worker still running while the process ends finds it
// intact.
Registry& Live() {
  static Registry* registry = new Registry;
  return *registry;
}

// Takes out of the list, under its lock, every entry `leaves` picks; frees
// them after the lock is let go (a destructor may take a while).
template <class Picks>
void FreeWhere(Picks leaves) {
  std::vector<Waiting> gone;
  {
    Registry& r = Live();
    std::lock_guard<std::mutex> lock(r.mutex);
    const auto kept =
        std::stable_partition(r.waiting.begin(), r.waiting.end(), [&](const Waiting& w) { return !leaves(w); });
    gone.assign(kept, r.waiting.end());
    r.waiting.erase(kept, r.waiting.end());
  }
  for (const Waiting& w : gone) w.destroy(w.result);
}

unsigned __stdcall RunWork(void* parameter) {
  {
    std::unique_ptr<std::function<void()>> work(static_cast<std::function<void()>*>(parameter));
    (*work)();
  }
  --Live().running;
  return 0;
}

}  // namespace

namespace background {

bool StartThread(std::function<void()> work) {
  // What closed windows left behind goes before anything new is added.
  FreeWhere([](const Waiting& w) { return !IsWindow(w.window); });
  auto owned = std::make_unique<std::function<void()>>(std::move(work));
  Registry& r = Live();
  ++r.running;
  const uintptr_t thread = _beginthreadex(nullptr, 0, RunWork, owned.get(), 0, nullptr);
  if (!thread) {
    --r.running;
    return false;
  }
  owned.release();  // the thread's now
  CloseHandle(reinterpret_cast<HANDLE>(thread));
  return true;
}

void Deliver(HWND window, UINT message, WPARAM tag, void* result, const std::type_info& type, Destroy destroy) {
  if (result) {
    try {
      Registry& r = Live();
      std::lock_guard<std::mutex> lock(r.mutex);
      r.waiting.push_back({window, &type, result, destroy});
    } catch (...) {
      // No room to register it: it could never be taken, so it is not sent.
      destroy(result);
      result = nullptr;
    }
  }
  if (PostMessageA(window, message, tag, reinterpret_cast<LPARAM>(result)) || !result) return;
  // The window is gone (or its queue is full): nobody will take it. The
  // window may have dropped it already, which is why it is looked up again.
  FreeWhere([&](const Waiting& w) { return w.result == result && w.window == window; });
}

void* Take(HWND window, LPARAM lParam, const std::type_info& type) {
  if (!lParam) return nullptr;
  Registry& r = Live();
  std::lock_guard<std::mutex> lock(r.mutex);
  const auto found = std::find_if(r.waiting.begin(), r.waiting.end(), [&](const Waiting& w) {
    return reinterpret_cast<LPARAM>(w.result) == lParam && w.window == window && *w.type == type;
  });
  if (found == r.waiting.end()) return nullptr;
  void* result = found->result;
  r.waiting.erase(found);
  return result;
}

}  // namespace background

void DropBackgroundResults(HWND window) {
  FreeWhere([&](const Waiting& w) { return w.window == window; });
}

int RunningBackgroundCalls() { return Live().running.load(); }

int WaitingBackgroundResults() {
  Registry& r = Live();
  std::lock_guard<std::mutex> lock(r.mutex);
  return static_cast<int>(r.waiting.size());
}

void EndProcessIfBackgroundCalls(UINT exitCode) {
  if (RunningBackgroundCalls() > 0) ExitProcess(exitCode);
}

}  // namespace fw
