#include "inet/InetControl.h"

#include <atomic>
#include <new>
#include <system_error>

#include "base/Text.h"
#include "fw/WindowClass.h"
#include "http/HttpUrl.h"
#include "inet/InetError.h"
#include "inet/InetFetch.h"

namespace inet {

namespace {

// The bound belongs to the class, as its name does: every control of it
// fetches within the same time, set when the class is registered.
std::atomic<DWORD> g_boundMs{kInetDefaultTimeoutMs};

LRESULT OnOpenUrl(InetOpenUrlCall& call) { return OpenUrl(call.url, call.body, call.error) ? TRUE : FALSE; }

LRESULT CALLBACK InetControlProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INET_OPENURL) {
    auto* call = fw::ThreadCall::From<InetOpenUrlCall>(lParam);
    return call ? OnOpenUrl(*call) : FALSE;
  }
  return DefWindowProcA(hwnd, message, wParam, lParam);
}

}  // namespace

// Nothing may unwind through the system's frames: every failure of the fetch
// becomes the error description.
bool OpenUrl(const std::wstring& url, std::wstring& body, std::wstring& error) {
  body.clear();
  error.clear();
  // Nothing may unwind through the system's frames, nor may a login in the
  // address reach a box: every failure becomes the call's error description.
  const auto shown = [&] { return win::AnsiToWide(http::WithoutLogin(win::WideToAnsi(url))); };
  try {
    body = inet::FetchPage(url, g_boundMs.load());
    return true;
  } catch (const inet::InetError& e) {
    error = win::AnsiToWide(e.Description());
  } catch (const std::bad_alloc&) {
    error = L"Cannot fetch " + shown() + L": there is not enough memory for the page";
  } catch (const std::system_error& e) {
    // The name lookup runs on a thread of its own, which the system may refuse.
    error = L"Cannot fetch " + shown() + L": the fetch could not be started (" + win::AnsiToWide(e.what()) + L")";
  } catch (const std::exception& e) {
    error = L"Cannot fetch " + shown() + L": " + win::AnsiToWide(e.what());
  }
  return false;
}

bool RegisterInetControl(HINSTANCE instance, DWORD boundMs) {
  g_boundMs = boundMs ? boundMs : kInetDefaultTimeoutMs;
  WNDCLASSA wc{};
  wc.lpfnWndProc = InetControlProc;
  wc.hInstance = instance;
  wc.lpszClassName = kInetControlClass;
  return fw::RegisterControlClass(wc);
}

}  // namespace inet
