#include "InetControl.h"

#include <new>

#include "InetError.h"
#include "InetFetch.h"
#include "WindowClass.h"

namespace inet {

namespace {

// What one control window remembers between calls.
struct InetControlState {
  DWORD timeoutMs = kInetDefaultTimeoutMs;
};

InetControlState* StateOf(HWND hwnd) { return reinterpret_cast<InetControlState*>(GetWindowLongPtrA(hwnd, 0)); }

// Nothing may unwind through the system's frames: every failure of the fetch
// becomes the call's error description.
LRESULT OnOpenUrl(const InetControlState& state, InetOpenUrlCall& call) {
  call.body.clear();
  call.error.clear();
  try {
    call.body = inet::FetchPage(call.url, state.timeoutMs);
    return TRUE;
  } catch (const inet::InetError& e) {
    call.error = e.Description();
  } catch (const std::bad_alloc&) {
    call.error = L"Cannot fetch " + call.url + L": there is not enough memory for the page";
  }
  return FALSE;
}

LRESULT OnSetTimeout(InetControlState& state, DWORD ms) {
  const DWORD previous = state.timeoutMs;
  state.timeoutMs = ms ? ms : kInetDefaultTimeoutMs;
  return previous;
}

LRESULT CALLBACK InetControlProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_NCCREATE: {
      // A control that cannot hold its state is not created, so its dialog fails to open.
      auto* state = new (std::nothrow) InetControlState;
      if (!state) return FALSE;
      SetWindowLongPtrA(hwnd, 0, reinterpret_cast<LONG_PTR>(state));
      break;
    }
    case WM_NCDESTROY:
      delete StateOf(hwnd);
      SetWindowLongPtrA(hwnd, 0, 0);
      break;
    case WM_INET_OPENURL:
      if (InetControlState* state = StateOf(hwnd); state) {
        if (auto* call = fw::ThreadCall::From<InetOpenUrlCall>(lParam)) return OnOpenUrl(*state, *call);
      }
      return FALSE;
    case WM_INET_SETTIMEOUT:
      // Harmless as it is, but no other program has any business here either.
      if (InSendMessageEx(nullptr) != ISMEX_NOSEND) return 0;
      if (InetControlState* state = StateOf(hwnd)) return OnSetTimeout(*state, static_cast<DWORD>(wParam));
      return 0;
  }
  return DefWindowProcA(hwnd, message, wParam, lParam);
}

}  // namespace

bool RegisterInetControl(HINSTANCE instance) {
  WNDCLASSA wc{};
  wc.lpfnWndProc = InetControlProc;
  wc.cbWndExtra = sizeof(InetControlState*);
  wc.hInstance = instance;
  wc.lpszClassName = kInetControlClass;
  return fw::RegisterControlClass(wc);
}

}  // namespace inet
