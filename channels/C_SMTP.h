#pragma once
// The program's wrapper around one mail control (platform/smtp/SmtpControl.h).
// It holds no logic: each operation is one call to the control, and a failed
// call throws (CDispatchException with the control's error, else COleException).
// With no control attached every operation does nothing.
#include <cstdint>
#include <optional>
#include <string>

#include "fw/Wnd.h"
#include "smtp/SmtpCall.h"

class C_SMTP : public CWnd {
 public:
  // Creates a control of its own; the program's instances come from dialog
  // templates instead and are bound with DDX_Control.
  BOOL Create(const char* windowName, DWORD style, const RECT& rect, CWnd* parent, UINT id);

  void SetServer(const std::string& value);
  void SetUsername(const std::string& value);
  void SetPassword(const std::string& value);
  void SetAuthenticationType(int value);
  void SetSendTo(const std::string& value);
  void SetMailFrom(const std::string& value);
  void SetMessageSubject(const std::string& value);
  void SetMessageText(const std::string& value);
  void SetRaiseError(BOOL value);
  void Send();

  // Send on a thread of its own with the properties as they are now,
  // returning at once; the mail's MailOutcome reaches `replyTo` as a posted
  // `message` with wParam `tag` (see fw/BackgroundCall.h), taken with
  // TakeSendOutcome. False with no control attached (nothing will be
  // posted); a control that cannot start it throws, as Send would.
  bool StartSend(HWND replyTo, UINT message, WPARAM tag);

  // What a mail started with StartSend came to: `error` is what Send would
  // have thrown as its description, empty when it went (or when errors are
  // not raised).
  struct MailOutcome {
    std::string error;
    std::string lastCommand;  // the last SMTP command sent, as the lastsmtpcommand property tells
    bool ok() const { return error.empty(); }
  };
  // The outcome a StartSend message carries; nothing when the message is not
  // one (ignore it). A send that could not make its outcome (memory ran out)
  // comes back as a failure with the system's text.
  static std::optional<MailOutcome> TakeSendOutcome(HWND window, LPARAM lParam);

 private:
  // Tests reach the properties the program never touches through the same call.
  friend class SmtpPropertyAccess;

  smtp::SmtpValue Invoke(std::int32_t dispid, smtp::SmtpCallKind kind, smtp::SmtpValue argument = {});
  void PutText(std::int32_t dispid, const std::string& value);
};
