#include "UiDriver.h"

#include "fw/WindowClass.h"

#include <algorithm>
#include <deque>
#include <set>

namespace ui_driver {
namespace {

struct ScriptQueue {
  HHOOK hook = nullptr;
  std::deque<std::function<void(HWND)>> scripts;
  std::set<HWND> seen;
  std::deque<HWND> ready;
  int hiddenWaits = 0;  // ticks the front dialog has been waited for to show
};

ScriptQueue& Queue() {
  static ScriptQueue queue;
  return queue;
}

// A thread timer runs in whatever modal loop is current, so the script runs
// inside the dialog's loop rather than inside the hook.
void CALLBACK RunReadyScripts(HWND, UINT, UINT_PTR id, DWORD) {
  KillTimer(nullptr, id);
  ScriptQueue& q = Queue();
  while (!q.ready.empty() && !q.scripts.empty()) {
    // Dialogs that opened inside one another are ready together; the
    // innermost goes first, since the ones around it wait for it to close.
    // Each still gets the script queued in the order the dialogs opened.
    const std::size_t innermost = std::min(q.ready.size(), q.scripts.size()) - 1;
    HWND dialog = q.ready[innermost];
    // A modal dialog shows itself when its loop first finds the queue empty,
    // and under load this timer's message can come first. A dialog that
    // stays hidden (one started hidden on purpose) gets its script after
    // half a second all the same.
    if (IsWindow(dialog) && !IsWindowVisible(dialog) && q.hiddenWaits < 50) {
      ++q.hiddenWaits;
      SetTimer(nullptr, 0, 10, RunReadyScripts);
      return;
    }
    q.hiddenWaits = 0;
    q.ready.erase(q.ready.begin() + static_cast<std::ptrdiff_t>(innermost));
    auto script = std::move(q.scripts[innermost]);
    q.scripts.erase(q.scripts.begin() + static_cast<std::ptrdiff_t>(innermost));
    if (!IsWindow(dialog)) continue;
    script(dialog);
    // A dialog ended from here only notices at its next message; the next
    // script waits for a timer of its own, so one that runs in an outer
    // dialog never runs inside the loop of the dialog that just ended.
    if (IsWindow(dialog)) PostMessageA(dialog, WM_NULL, 0, 0);
    if (!q.ready.empty() && !q.scripts.empty()) SetTimer(nullptr, 0, 10, RunReadyScripts);
    return;
  }
}

// Watches for the end of each dialog's WM_INITDIALOG: from then on the
// dialog is complete (activation is not a reliable sign under every window
// manager, or with none).
LRESULT CALLBACK WatchDialogs(int code, WPARAM wParam, LPARAM lParam) {
  ScriptQueue& q = Queue();
  const auto* call = reinterpret_cast<const CWPRETSTRUCT*>(lParam);
  if (code == HC_ACTION && call->message == WM_INITDIALOG) {
    HWND hwnd = call->hwnd;
    char cls[32] = {};
    GetClassNameA(hwnd, cls, sizeof cls);
    if (std::string(cls) == fw::kDialogClass && q.seen.insert(hwnd).second && !q.scripts.empty()) {
      q.ready.push_back(hwnd);
      SetTimer(nullptr, 0, 10, RunReadyScripts);
    }
  }
  return CallNextHookEx(q.hook, code, wParam, lParam);
}

}  // namespace

DialogScripts::DialogScripts() {
  Queue().hook = SetWindowsHookExA(WH_CALLWNDPROCRET, WatchDialogs, nullptr, GetCurrentThreadId());
}

DialogScripts::~DialogScripts() {
  ScriptQueue& q = Queue();
  UnhookWindowsHookEx(q.hook);
  q = ScriptQueue{};
}

void DialogScripts::Then(std::function<void(HWND)> script) { Queue().scripts.push_back(std::move(script)); }

void DialogScripts::First(std::function<void(HWND)> script) { Queue().scripts.push_front(std::move(script)); }

int DialogScripts::Pending() const { return static_cast<int>(Queue().scripts.size()); }

MessageBoxes::MessageBoxes() {
  m_previous = fw::SetMessageBoxObserver([this](const MessageBoxRecord& r) {
    records.push_back(r);
    return answer ? answer(r) : IDOK;
  });
}

MessageBoxes::~MessageBoxes() { fw::SetMessageBoxObserver(std::move(m_previous)); }

std::vector<std::string> MessageBoxes::Texts() const {
  std::vector<std::string> texts;
  for (const auto& r : records) texts.push_back(r.text);
  return texts;
}

std::string Text(HWND dialog, int id) { return fw::WindowText(GetDlgItem(dialog, id)); }

void SetText(HWND dialog, int id, const std::string& text) { SetDlgItemTextA(dialog, id, text.c_str()); }

void Click(HWND dialog, int id) {
  SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

void Pump(DWORD ms) {
  PumpUntil([] { return false; }, ms);
}

bool PumpUntil(const std::function<bool()>& condition, DWORD timeoutMs) {
  const DWORD start = GetTickCount();
  for (;;) {
    if (condition()) return true;
    if (GetTickCount() - start >= timeoutMs) return false;
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
  }
}

bool NextPost(HWND window, UINT message, MSG& msg, DWORD timeoutMs) {
  for (const DWORD start = GetTickCount(); GetTickCount() - start < timeoutMs;) {
    if (PeekMessageA(&msg, window, message, message, PM_REMOVE)) return true;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_POSTMESSAGE);
  }
  return false;
}

HWND MessageOnlyWindow() {
  return CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
}

}  // namespace ui_driver
