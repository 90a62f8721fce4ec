#pragma once
// The object behind each mail control window: its property table and the
// Send that reads it. SmtpControl.cpp makes one at WM_NCCREATE and keeps it
// in the window's extra bytes.
#include <cstdint>
#include <string>

#include <windows.h>

#include "smtp/SmtpCall.h"
#include "smtp/SmtpControlSend.h"
#include "smtp/SmtpProperties.h"
#include "smtp/SmtpRequest.h"
#include "smtp/SmtpServerAddress.h"

namespace smtp {

class SmtpControl {
 public:
  explicit SmtpControl(const CREATESTRUCTA& cs);

  // Nothing may leave a window procedure as an exception: everything becomes
  // an HRESULT, as it would across a dispatch interface.
  HRESULT Invoke(SmtpCall& call) noexcept;
  // Send on a worker, with the property table as it is now.
  HRESULT SendInBackground(SmtpSendInBackground& call) noexcept;

  // The object of a window of this class.
  static SmtpControl* Of(HWND hwnd) { return reinterpret_cast<SmtpControl*>(GetWindowLongPtrA(hwnd, 0)); }

 private:
  SendRequest Request() const;
  HRESULT Send(SmtpCall& call);
  static SmtpSendOutcome Transmit(const SendRequest& request);

  PropertyTable m_properties;
};

}  // namespace smtp
