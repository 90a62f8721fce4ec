#include "channels/C_SMTP.h"

#include "base/SystemError.h"
#include "base/Text.h"
#include "fw/BackgroundCall.h"
#include "fw/Exceptions.h"
#include "fw/WinApp.h"
#include "smtp/SmtpControlSend.h"

namespace id = smtp::dispid;

BOOL C_SMTP::Create(const char* windowName, DWORD style, const RECT& rect, CWnd* parent, UINT id) {
  HWND hwnd = CreateWindowExA(0, smtp::kSmtpControlClass, windowName, style, rect.left, rect.top,
                              rect.right - rect.left, rect.bottom - rect.top, parent ? parent->GetSafeHwnd() : nullptr,
                              reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)), AfxGetInstanceHandle(), nullptr);
  if (!hwnd) return FALSE;
  Attach(hwnd);
  return TRUE;
}

smtp::SmtpValue C_SMTP::Invoke(std::int32_t dispid, smtp::SmtpCallKind kind, smtp::SmtpValue argument) {
  if (!GetSafeHwnd()) return {};
  smtp::SmtpCall call;
  call.dispid = dispid;
  call.kind = kind;
  call.argument = std::move(argument);
  const auto hr = static_cast<HRESULT>(SendMessage(WM_SMTP_INVOKE, 0, reinterpret_cast<LPARAM>(&call)));
  // A window of another class answers 0 without looking: that is no success.
  if (!call.handled) throw COleException(E_NOINTERFACE);
  if (hr == DISP_E_EXCEPTION) {
    throw CDispatchException(win::WideToAnsi(call.errorDescription), win::WideToAnsi(call.errorSource), 0);
  }
  if (FAILED(hr)) throw COleException(hr);
  return std::move(call.result);
}

void C_SMTP::PutText(std::int32_t dispid, const std::string& value) {
  Invoke(dispid, smtp::SmtpCallKind::PropertyPut, win::AnsiToWide(value));
}

void C_SMTP::SetServer(const std::string& value) { PutText(id::kServer, value); }
void C_SMTP::SetUsername(const std::string& value) { PutText(id::kUsername, value); }
void C_SMTP::SetPassword(const std::string& value) { PutText(id::kPassword, value); }
void C_SMTP::SetAuthenticationType(int value) {
  Invoke(id::kAuthenticationType, smtp::SmtpCallKind::PropertyPut, static_cast<std::int32_t>(value));
}
void C_SMTP::SetSendTo(const std::string& value) { PutText(id::kSendTo, value); }
void C_SMTP::SetMailFrom(const std::string& value) { PutText(id::kMailFrom, value); }
void C_SMTP::SetMessageSubject(const std::string& value) { PutText(id::kMessageSubject, value); }
void C_SMTP::SetMessageText(const std::string& value) { PutText(id::kMessageText, value); }
// Any nonzero BOOL is true, as an automation boolean would carry it.
void C_SMTP::SetRaiseError(BOOL value) { Invoke(id::kRaiseError, smtp::SmtpCallKind::PropertyPut, value != FALSE); }
void C_SMTP::Send() { Invoke(id::kSend, smtp::SmtpCallKind::Method); }

bool C_SMTP::StartSend(HWND replyTo, UINT message, WPARAM tag) {
  if (!GetSafeHwnd()) return false;
  smtp::SmtpSendInBackground call;
  call.replyTo = replyTo;
  call.message = message;
  call.tag = tag;
  const auto hr = static_cast<HRESULT>(SendMessage(WM_SMTP_SEND_IN_BACKGROUND, 0, reinterpret_cast<LPARAM>(&call)));
  // A window of another class answers 0 without looking: that is no success.
  if (!call.handled) throw COleException(E_NOINTERFACE);
  if (FAILED(hr)) throw COleException(hr);
  return true;
}

std::optional<C_SMTP::MailOutcome> C_SMTP::TakeSendOutcome(HWND window, LPARAM lParam) {
  if (!lParam)
    return MailOutcome{win::SystemErrorText(static_cast<DWORD>(E_OUTOFMEMORY), "there is not enough memory"), {}};
  const auto outcome = fw::TakeBackgroundResult<smtp::SmtpSendOutcome>(window, lParam);
  if (!outcome) return std::nullopt;
  return MailOutcome{outcome->Raised() ? win::WideToAnsi(outcome->status) : std::string(),
                     win::WideToAnsi(outcome->lastCommand)};
}
