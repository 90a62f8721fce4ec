#include "SmtpControl.h"

#include <algorithm>
#include <array>
#include <memory>
#include <new>
#include <string_view>
#include <utility>

#include "SmtpClient.h"
#include "SchannelTransport.h"
#include "SmtpError.h"
#include "SmtpServerAddress.h"
#include "Text.h"
#include "WinsockTransport.h"

namespace {

namespace id = smtp_dispid;

enum class PropertyType { Text, Integer, Boolean };

struct PropertyInfo {
  const char* name;
  std::int32_t dispid;
  PropertyType type;
  // The stored initial value: text for Text, number for Integer (0/1 for Boolean).
  const wchar_t* initialText;
  std::int32_t initialNumber;
};

// The control's properties with the values every new instance starts from.
// The extents are filled in from the created size (see InitialExtent).
constexpr std::array<PropertyInfo, 29> kProperties{{
    {"_extentx", id::kExtentX, PropertyType::Integer, nullptr, 0},
    {"_extenty", id::kExtentY, PropertyType::Integer, nullptr, 0},
    {"authenticationtype", id::kAuthenticationType, PropertyType::Integer, nullptr, 0},
    {"bcc", id::kBcc, PropertyType::Text, L"", 0},
    {"cc", id::kCc, PropertyType::Text, L"", 0},
    {"charset", id::kCharset, PropertyType::Text, L"us-ascii", 0},
    {"clienthostname", id::kClientHostName, PropertyType::Text, L"", 0},
    {"contenttransferencoding", id::kContentTransferEncoding, PropertyType::Text, L"7bit", 0},
    {"contenttype", id::kContentType, PropertyType::Text, L"text/plain", 0},
    {"expiresafter", id::kExpiresAfter, PropertyType::Text, L"", 0},
    {"importance", id::kImportance, PropertyType::Integer, nullptr, 0},
    {"lastsmtpcommand", id::kLastSmtpCommand, PropertyType::Text, L"", 0},
    {"mailfrom", id::kMailFrom, PropertyType::Text, L"", 0},
    {"messagehtml", id::kMessageHtml, PropertyType::Text, L"", 0},
    {"messagesubject", id::kMessageSubject, PropertyType::Text, L"", 0},
    {"messagetext", id::kMessageText, PropertyType::Text, L"", 0},
    {"notification", id::kNotification, PropertyType::Integer, nullptr, 0},
    {"password", id::kPassword, PropertyType::Text, L"", 0},
    {"popserver", id::kPopServer, PropertyType::Text, L"", 0},
    {"port", id::kPort, PropertyType::Integer, nullptr, 25},
    {"raiseerror", id::kRaiseError, PropertyType::Boolean, nullptr, 0},
    {"replyto", id::kReplyTo, PropertyType::Text, L"", 0},
    {"sendto", id::kSendTo, PropertyType::Text, L"", 0},
    {"sensitivity", id::kSensitivity, PropertyType::Integer, nullptr, 0},
    {"server", id::kServer, PropertyType::Text, L"", 0},
    {"status", id::kStatus, PropertyType::Text, L"", 0},
    {"timeout", id::kTimeout, PropertyType::Integer, nullptr, 10000},  // milliseconds
    {"timestamp", id::kTimestamp, PropertyType::Text, L"", 0},
    {"username", id::kUsername, PropertyType::Text, L"", 0},
}};

int IndexOf(std::int32_t dispid) {
  for (std::size_t i = 0; i < kProperties.size(); ++i) {
    if (kProperties[i].dispid == dispid) return static_cast<int>(i);
  }
  return -1;
}

bool HasType(const SmtpValue& value, PropertyType type) {
  switch (type) {
    case PropertyType::Text: return std::holds_alternative<std::wstring>(value);
    case PropertyType::Integer: return std::holds_alternative<std::int32_t>(value);
    case PropertyType::Boolean: return std::holds_alternative<bool>(value);
  }
  return false;
}

// The extents are the control's size in hundredths of a millimetre, as the
// template's designer stored them: measured at 96 DPI with the 6x13 dialog
// base units of the usual 8-point dialog font. Deriving them from the size
// the template gives the control, rather than storing one pair per template,
// lets each dialog carry its own values (6x6 DLU gives 238x265, 19x23 DLU
// 767x979) without the control knowing which dialog it is on. The created
// pixel size alone would not do: it follows the font the system actually
// finds for the dialog (Wine's gives 7x13 units), so it is turned back into
// dialog units first.
std::int32_t Himetric(int pixels) { return MulDiv(pixels, 2540, 96); }

std::pair<std::int32_t, std::int32_t> InitialExtent(const CREATESTRUCTA& cs) {
  char parentClass[16] = {};
  RECT units{0, 0, 4, 8};
  if (cs.hwndParent && GetClassNameA(cs.hwndParent, parentClass, sizeof parentClass) &&
      std::string_view(parentClass) == "#32770" && MapDialogRect(cs.hwndParent, &units) && units.right > 0 &&
      units.bottom > 0) {
    const int dluX = MulDiv(cs.cx, 4, units.right), dluY = MulDiv(cs.cy, 8, units.bottom);
    return {Himetric(MulDiv(dluX, 6, 4)), Himetric(MulDiv(dluY, 13, 8))};
  }
  return {Himetric(cs.cx), Himetric(cs.cy)};  // made in code: its pixels are all there is
}

// Remembers the last command the dialogue sent, for `lastsmtpcommand`. Only
// known command words count, so message text never lands there, and the
// secrets of AUTH and POP3 PASS are left out.
class CommandRecorder final : public smtp::Transport {
 public:
  CommandRecorder(std::unique_ptr<smtp::Transport> inner, std::string& last) : inner_(std::move(inner)), last_(last) {}
  void Connect(const std::string& host, int port, int timeoutMs) override { inner_->Connect(host, port, timeoutMs); }
  void Send(std::string_view bytes, int timeoutMs) override {
    Record(bytes);
    inner_->Send(bytes, timeoutMs);
  }
  std::size_t Receive(char* buffer, std::size_t capacity, int timeoutMs) override {
    return inner_->Receive(buffer, capacity, timeoutMs);
  }
  void Close() noexcept override { inner_->Close(); }
  std::string LocalHostName() override { return inner_->LocalHostName(); }

  // TLS goes underneath the recorder, so the commands sent after STARTTLS are
  // still recorded as commands rather than seen as encrypted records.
  void Secure(const std::string& host, int timeoutMs, smtp::TlsCheck check) {
    inner_ = smtp::StartSchannelTls(std::move(inner_), host, timeoutMs, check);
  }

 private:
  void Record(std::string_view bytes) {
    if (bytes.size() < 2 || bytes.find("\r\n") != bytes.size() - 2) return;  // not a single line
    std::string_view line = bytes.substr(0, bytes.size() - 2);
    std::string_view verb = line.substr(0, line.find(' '));
    static constexpr std::string_view kCommands[] = {"EHLO", "HELO", "STARTTLS", "MAIL", "RCPT",
                                                     "DATA", "QUIT", "RSET",     "USER"};
    if (verb == "AUTH") {
      std::string_view rest = line.substr(std::min(line.size(), verb.size() + 1));
      last_ = "AUTH " + std::string(rest.substr(0, rest.find(' ')));
    } else if (verb == "PASS") {
      last_ = "PASS";
    } else {
      for (auto command : kCommands) {
        if (verb == command) last_ = std::string(line);
      }
    }
  }

  std::unique_ptr<smtp::Transport> inner_;
  std::string& last_;
};

// "host:port" picks a POP3 port other than 110; a bare name keeps 110.
void SplitPopServer(const std::string& text, smtp::SendRequest& r) {
  const std::size_t colon = text.rfind(':');
  if (colon == std::string::npos || text.find(':') != colon || colon + 1 == text.size() || colon + 6 < text.size() ||
      text.find_first_not_of("0123456789", colon + 1) != std::string::npos) {
    r.popServer = text;
    return;
  }
  r.popServer = text.substr(0, colon);
  r.popPort = std::stoi(text.substr(colon + 1));
}

std::wstring LocalTimeText() {
  SYSTEMTIME t;
  GetLocalTime(&t);
  wchar_t text[32];
  wsprintfW(text, L"%04u-%02u-%02u %02u:%02u:%02u", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond);
  return text;
}

class SmtpControl {
 public:
  explicit SmtpControl(const CREATESTRUCTA& cs) {
    for (std::size_t i = 0; i < kProperties.size(); ++i) {
      const PropertyInfo& p = kProperties[i];
      switch (p.type) {
        case PropertyType::Text: values_[i] = std::wstring(p.initialText); break;
        case PropertyType::Integer: values_[i] = p.initialNumber; break;
        case PropertyType::Boolean: values_[i] = p.initialNumber != 0; break;
      }
    }
    const auto [x, y] = InitialExtent(cs);
    Set(id::kExtentX, x);
    Set(id::kExtentY, y);
  }

  // Nothing may leave a window procedure as an exception: everything becomes
  // an HRESULT, as it would across a dispatch interface.
  HRESULT Invoke(SmtpCall& call) noexcept {
    call.handled = true;
    try {
      if (call.dispid == id::kSend) {
        if (call.kind != SmtpCallKind::Method) return DISP_E_MEMBERNOTFOUND;
        return Send(call);
      }
      if (call.dispid == id::kImplicitTlsPort) return HiddenPort(call, implicitTlsPort_);
      if (call.dispid == id::kImplicitPop3TlsPort) return HiddenPort(call, implicitPop3TlsPort_);
      const int index = IndexOf(call.dispid);
      if (index < 0 || call.kind == SmtpCallKind::Method) return DISP_E_MEMBERNOTFOUND;
      if (call.kind == SmtpCallKind::PropertyGet) {
        call.result = values_[index];
        return S_OK;
      }
      if (!HasType(call.argument, kProperties[index].type)) return DISP_E_TYPEMISMATCH;
      values_[index] = call.argument;
      return S_OK;
    } catch (const std::bad_alloc&) {
      return E_OUTOFMEMORY;
    } catch (const std::exception& e) {
      call.errorDescription = fw::AnsiToWide(e.what());
      call.errorSource = kSmtpErrorSource;
      return DISP_E_EXCEPTION;
    }
  }

 private:
  void Set(std::int32_t dispid, SmtpValue value) { values_[IndexOf(dispid)] = std::move(value); }
  std::string Text(std::int32_t dispid) const { return fw::WideToAnsi(std::get<std::wstring>(values_[IndexOf(dispid)])); }
  std::int32_t Number(std::int32_t dispid) const { return std::get<std::int32_t>(values_[IndexOf(dispid)]); }

  HRESULT HiddenPort(SmtpCall& call, std::int32_t& port) {
    if (call.kind == SmtpCallKind::Method) return DISP_E_MEMBERNOTFOUND;
    if (call.kind == SmtpCallKind::PropertyGet) {
      call.result = port;
      return S_OK;
    }
    if (!std::holds_alternative<std::int32_t>(call.argument)) return DISP_E_TYPEMISMATCH;
    port = std::get<std::int32_t>(call.argument);
    return S_OK;
  }

  // The server field may carry the port ("host:587"); the port property is
  // only the default for a bare name. Which port it ends up being decides
  // whether TLS starts at once or by STARTTLS.
  smtp::SendRequest Request() const {
    smtp::SendRequest r;
    const smtp::ServerAddress address = smtp::ParseServerAddress(Text(id::kServer), Number(id::kPort));
    r.server = address.host;
    r.port = address.port;
    r.tls = smtp::TlsModeForPort(address.port, implicitTlsPort_);
    r.username = Text(id::kUsername);
    r.password = Text(id::kPassword);
    r.authenticationType = Number(id::kAuthenticationType);
    SplitPopServer(Text(id::kPopServer), r);
    r.popTls = r.popPort == implicitPop3TlsPort_ ? smtp::TlsMode::Implicit : smtp::TlsMode::StartTlsIfOffered;
    r.sendTo = Text(id::kSendTo);
    r.mailFrom = Text(id::kMailFrom);
    r.cc = Text(id::kCc);
    r.bcc = Text(id::kBcc);
    r.replyTo = Text(id::kReplyTo);
    r.messageSubject = Text(id::kMessageSubject);
    r.messageText = Text(id::kMessageText);
    r.contentType = Text(id::kContentType);
    r.charset = Text(id::kCharset);
    r.contentTransferEncoding = Text(id::kContentTransferEncoding);
    r.clientHostName = Text(id::kClientHostName);
    r.timeoutMs = Number(id::kTimeout);
    // messagehtml, importance, sensitivity, notification and expiresafter
    // have no part in a plain-text notification; they are kept, not sent.
    return r;
  }

  // Synchronous by design: the caller waits inside the call until the
  // dialogue is over, each step bounded by `timeout`.
  HRESULT Send(SmtpCall& call) {
    std::string last;
    std::wstring status;
    try {
      smtp::SendRequest request = Request();
      smtp::Client client(
          [&last] { return std::make_unique<CommandRecorder>(std::make_unique<smtp::WinsockTransport>(), last); },
          [](std::unique_ptr<smtp::Transport> plain, const std::string& host, int timeoutMs, smtp::TlsCheck check) {
            // Every transport the factory above makes is a recorder.
            static_cast<CommandRecorder&>(*plain).Secure(host, timeoutMs, check);
            return plain;
          });
      client.Send(request);
    } catch (const std::bad_alloc&) {
      throw;
    } catch (const std::exception& e) {
      status = fw::AnsiToWide(e.what());
      if (status.empty()) status = L"the message could not be sent";
    }
    Set(id::kStatus, status);
    Set(id::kLastSmtpCommand, fw::AnsiToWide(last));
    Set(id::kTimestamp, LocalTimeText());
    if (status.empty() || !std::get<bool>(values_[IndexOf(id::kRaiseError)])) return S_OK;
    call.errorDescription = status;
    call.errorSource = kSmtpErrorSource;
    return DISP_E_EXCEPTION;
  }

  std::array<SmtpValue, kProperties.size()> values_;
  std::int32_t implicitTlsPort_ = smtp::kImplicitTlsPort;
  std::int32_t implicitPop3TlsPort_ = smtp::kImplicitPop3TlsPort;
};

SmtpControl* ControlOf(HWND hwnd) { return reinterpret_cast<SmtpControl*>(GetWindowLongPtrA(hwnd, 0)); }

LRESULT CALLBACK SmtpControlProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_NCCREATE: {
      // A control that cannot hold its properties must not exist at all; the
      // dialog then fails to open, which is how a missing control shows.
      auto* control = new (std::nothrow) SmtpControl(*reinterpret_cast<CREATESTRUCTA*>(lParam));
      if (!control) return FALSE;
      SetWindowLongPtrA(hwnd, 0, reinterpret_cast<LONG_PTR>(control));
      break;
    }
    case WM_NCDESTROY:
      delete ControlOf(hwnd);
      SetWindowLongPtrA(hwnd, 0, 0);
      break;
    case WM_SMTP_INVOKE:
      if (SmtpControl* control = ControlOf(hwnd); control) {
        if (auto* call = fw::ThreadCall::From<SmtpCall>(lParam)) return control->Invoke(*call);
      }
      return E_UNEXPECTED;
  }
  return DefWindowProcA(hwnd, message, wParam, lParam);
}

}  // namespace

BOOL RegisterSmtpControl(HINSTANCE instance) {
  WNDCLASSA wc{};
  if (GetClassInfoA(instance, kSmtpControlClass, &wc)) return TRUE;
  wc.lpfnWndProc = SmtpControlProc;
  wc.cbWndExtra = sizeof(SmtpControl*);
  wc.hInstance = instance;
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = kSmtpControlClass;
  return RegisterClassA(&wc) != 0;
}

std::int32_t SmtpPropertyDispid(const std::string& name) {
  for (const PropertyInfo& p : kProperties) {
    if (name == p.name) return p.dispid;
  }
  return 0;
}
