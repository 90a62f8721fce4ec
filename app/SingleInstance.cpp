#include "app/SingleInstance.h"

#include "fw/WindowClass.h"

namespace app {

namespace {

// "Local\" keeps it to this log-on session: another user's copy on the same
// machine watches for that user.
constexpr char kMutexName[] = "Local\\Orlimar.Corvane.Running";
constexpr DWORD kFindWindowMs = 10'000;

}  // namespace

UINT HandOverMessage() {
  // Asked for at every message the main window does not handle itself.
  static const UINT message = RegisterWindowMessageA("Orlimar.Corvane.HandOver");
  return message;
}

SingleInstance::SingleInstance() {
  m_mutex = CreateMutexA(nullptr, FALSE, kMutexName);
  // A mutex that cannot be made at all must not stop the program watching.
  m_first = !(m_mutex && GetLastError() == ERROR_ALREADY_EXISTS);
}

SingleInstance::~SingleInstance() {
  if (m_mutex) CloseHandle(m_mutex);
}

void SingleInstance::HandOver(const char* mainWindowTitle) {
  const DWORD start = GetTickCount();
  HWND running = nullptr;
  while (!(running = FindWindowA(fw::kDialogClass, mainWindowTitle)) && GetTickCount() - start < kFindWindowMs)
    Sleep(100);
  if (!running) return;
  // The system lets only the foreground process hand the foreground on; this
  // start is what the user just did, so it may.
  DWORD process = 0;
  GetWindowThreadProcessId(running, &process);
  AllowSetForegroundWindow(process);
  PostMessageA(running, HandOverMessage(), 0, 0);
}

}  // namespace app
