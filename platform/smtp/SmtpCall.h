#pragma once
// The mail control: a child-window control class that dialog templates place
// by id like any other control. Each window holds the control's property
// table, starting from its stored initial values, and sends one message per
// Send through the SMTP client over Winsock, synchronously.
//
// Everything reaches a control through one message, WM_SMTP_INVOKE, whose
// LPARAM points at an SmtpCall: a property write, a property read or the
// Send method, each named by its DISPID as a dispatch call would be.
#include <cstdint>
#include <string>
#include <variant>

#include <windows.h>

#include "fw/ThreadCall.h"
#include "smtp/SmtpControlClass.h"

namespace smtp {

// The window class name templates use for the control.
inline constexpr char kSmtpControlClass[] = CORVANE_SMTP_CONTROL_CLASS;

// Registers the control class for this module; the program calls it once at
// start-up, before any dialog that holds the control opens. True when the
// class is registered (also when it already was).
bool RegisterSmtpControl(HINSTANCE instance);

// The argument or result of one call: text, 32-bit integer, boolean, or none.
using SmtpValue = std::variant<std::monostate, std::wstring, std::int32_t, bool>;

enum class SmtpCallKind { PropertyPut, PropertyGet, Method };

// Only a call made on the control's own thread is answered (see ThreadCall).
struct SmtpCall : fw::ThreadCall {
  std::int32_t dispid = 0;
  SmtpCallKind kind = SmtpCallKind::PropertyPut;
  SmtpValue argument;  // the value written by a PropertyPut
  SmtpValue result;    // the value read by a PropertyGet
  // Set by the control, so a caller can tell it from a window that ignored the message.
  bool handled = false;
  // Filled when the control reports an error of its own (DISP_E_EXCEPTION).
  std::wstring errorDescription;
  std::wstring errorSource;
};

}  // namespace smtp

// LPARAM: smtp::SmtpCall*. Returns an HRESULT: S_OK, DISP_E_EXCEPTION with the
// error in the call, DISP_E_MEMBERNOTFOUND for an unknown DISPID or a
// property used as a method, DISP_E_TYPEMISMATCH for a value of the wrong type.
inline constexpr UINT WM_SMTP_INVOKE = WM_USER + 0x5301;

namespace smtp {

// The error source a failed Send reports.
inline constexpr wchar_t kSmtpErrorSource[] = L"CorvaneSmtp";

// The DISPIDs. The first ten are the ones the program itself calls; the rest
// are this control's own numbering for the properties the program never
// writes (tests and diagnostics reach them the same way).
namespace dispid {
inline constexpr std::int32_t kServer = 0x68030036;
inline constexpr std::int32_t kUsername = 0x68030032;
inline constexpr std::int32_t kPassword = 0x6803003B;
inline constexpr std::int32_t kAuthenticationType = 0x68030045;
inline constexpr std::int32_t kSendTo = 0x68030037;
inline constexpr std::int32_t kMailFrom = 0x6803003F;
inline constexpr std::int32_t kMessageSubject = 0x6803003D;
inline constexpr std::int32_t kMessageText = 0x6803003C;
inline constexpr std::int32_t kRaiseError = 0x68030038;
inline constexpr std::int32_t kSend = 0x60030046;

inline constexpr std::int32_t kExtentX = 0x68030100;
inline constexpr std::int32_t kExtentY = 0x68030101;
inline constexpr std::int32_t kBcc = 0x68030102;
inline constexpr std::int32_t kCc = 0x68030103;
inline constexpr std::int32_t kCharset = 0x68030104;
inline constexpr std::int32_t kClientHostName = 0x68030105;
inline constexpr std::int32_t kContentTransferEncoding = 0x68030106;
inline constexpr std::int32_t kContentType = 0x68030107;
inline constexpr std::int32_t kExpiresAfter = 0x68030108;
inline constexpr std::int32_t kImportance = 0x68030109;
inline constexpr std::int32_t kLastSmtpCommand = 0x6803010A;
inline constexpr std::int32_t kMessageHtml = 0x6803010B;
inline constexpr std::int32_t kNotification = 0x6803010C;
inline constexpr std::int32_t kPopServer = 0x6803010D;
inline constexpr std::int32_t kPort = 0x6803010E;
inline constexpr std::int32_t kReplyTo = 0x6803010F;
inline constexpr std::int32_t kSensitivity = 0x68030110;
inline constexpr std::int32_t kStatus = 0x68030111;
inline constexpr std::int32_t kTimeout = 0x68030112;
inline constexpr std::int32_t kTimestamp = 0x68030113;
}  // namespace dispid

}  // namespace smtp
