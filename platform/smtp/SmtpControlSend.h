#pragma once
// The mail control's Send asked for in the background: the control takes a
// snapshot of its property table on its own thread, runs the SMTP dialogue
// on a worker and posts the outcome to a window of the caller's choosing
// (see fw/BackgroundCall.h). The control itself is never touched by the
// worker, so it may close while the mail is still on its way.
#include <string>

#include <windows.h>

#include "fw/ThreadCall.h"

// LPARAM: smtp::SmtpSendInBackground*. Returns S_OK once the worker is
// started, E_OUTOFMEMORY when no thread could be, E_UNEXPECTED when the call
// is not one of this thread's.
inline constexpr UINT WM_SMTP_SEND_IN_BACKGROUND = WM_USER + 0x5302;

namespace smtp {

// Where the outcome goes: posted to `replyTo` as `message`, wParam `tag`,
// lParam an SmtpSendOutcome (fw::TakeBackgroundResult).
struct SmtpSendInBackground : fw::ThreadCall {
  HWND replyTo = nullptr;
  UINT message = 0;
  WPARAM tag = 0;
  // Set by the control, so a caller can tell it from a window that ignored the message.
  bool handled = false;
};

// What the mail came to. The three texts are what the status, lastsmtpcommand
// and timestamp properties hold after a synchronous Send; a background Send
// leaves the control's own properties as they were.
struct SmtpSendOutcome {
  std::wstring status;  // empty when the mail went
  std::wstring lastCommand;
  std::wstring timestamp;
  bool raiseError = false;  // the control's raiseerror when the send started
  // The error a synchronous Send would raise: the status, with raiseerror set.
  bool Raised() const { return raiseError && !status.empty(); }
};

}  // namespace smtp
