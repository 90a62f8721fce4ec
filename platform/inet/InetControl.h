#pragma once
// The page-fetch control: a registered child-window class that dialog
// templates place by id like any other control. The window holds the
// control's state; its one operation, OpenURL, is a message carrying an
// InetOpenUrlCall, answered synchronously.
#include <string>

#include <windows.h>

#include "fw/ThreadCall.h"
#include "inet/InetControlClass.h"

namespace inet {

// The class name templates use to place the control.
inline constexpr char kInetControlClass[] = CORVANE_INET_CONTROL_CLASS;

// How long one fetch may take, in milliseconds, from the first byte sent to
// the last connection closed.
inline constexpr DWORD kInetDefaultTimeoutMs = 15000;

}  // namespace inet

// Private messages of the control's own class.
enum : UINT {
  // lParam: inet::InetOpenUrlCall*. Returns TRUE with the body filled in, FALSE
  // with the error description filled in.
  WM_INET_OPENURL = WM_USER + 0x100,
};

namespace inet {

// One OpenURL call: the URL in, the response body or an error description out.
// UTF-16 on both sides, as the control's interface has always been. Only a
// call made on the control's own thread is answered (see ThreadCall).
struct InetOpenUrlCall : fw::ThreadCall {
  std::wstring url;
  std::wstring body;
  std::wstring error;
};

// Registers the control's window class for this module; call once at start-up,
// before any dialog that places the control opens. Every control of the class
// fetches within `boundMs` (0: the default). True when the class is
// registered (also when it already was).
bool RegisterInetControl(HINSTANCE instance, DWORD boundMs = kInetDefaultTimeoutMs);

// What OpenURL does, within the class's bound, callable from any thread (a
// worker's fetch has no control to ask): true with the body, or false with
// the error description.
bool OpenUrl(const std::wstring& url, std::wstring& body, std::wstring& error);

}  // namespace inet
