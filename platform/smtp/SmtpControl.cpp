#include "smtp/SmtpCall.h"

#include <memory>
#include <new>
#include <stdexcept>
#include <string_view>
#include <utility>

#include "base/HostPort.h"
#include "base/Text.h"
#include "fw/BackgroundCall.h"
#include "fw/WindowClass.h"
#include "net/SystemTransports.h"
#include "smtp/SmtpClient.h"
#include "smtp/SmtpCommandRecorder.h"
#include "smtp/SmtpControl.h"

namespace smtp {

namespace {

namespace id = smtp::dispid;

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
      std::string_view(parentClass) == fw::kDialogClass && MapDialogRect(cs.hwndParent, &units) && units.right > 0 &&
      units.bottom > 0) {
    const int dluX = MulDiv(cs.cx, 4, units.right), dluY = MulDiv(cs.cy, 8, units.bottom);
    return {Himetric(MulDiv(dluX, 6, 4)), Himetric(MulDiv(dluY, 13, 8))};
  }
  return {Himetric(cs.cx), Himetric(cs.cy)};  // made in code: its pixels are all there is
}

// "host:port" or "[v6]:port" picks a POP3 port other than 110; a bare name
// or address keeps 110, and text with no valid port is taken whole as the name.
void SplitPopServer(const std::string& text, SendRequest& r) {
  const base::HostPort split = base::SplitHostPort(text);
  const int port = split.port ? base::ParsePort(*split.port) : -1;
  if (split.fault != base::HostPortFault::None || split.host.empty() || (split.port && port < 0)) {
    r.popServer = text;
    return;
  }
  r.popServer = split.host;
  if (split.port) r.popPort = port;
}

std::wstring LocalTimeText() {
  SYSTEMTIME t;
  GetLocalTime(&t);
  wchar_t text[32];
  wsprintfW(text, L"%04u-%02u-%02u %02u:%02u:%02u", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond);
  return text;
}

std::wstring FailureText(const std::exception& e) {
  std::wstring text = win::AnsiToWide(e.what());
  return text.empty() ? L"the message could not be sent" : text;
}

// The dialogue itself, each step bounded by the request's timeout: the
// failure's text, or nothing when the mail went. `recorded` holds the last
// commands sent.
std::wstring Converse(const SendRequest& request, RecordedCommands& recorded) {
  try {
    const net::SystemTransports system = net::WindowsTransports();
    // TLS goes under the recorder of the connection being secured, which is
    // always the one made last: the dialogue holds one connection at a time.
    CommandRecorder* newest = nullptr;
    Client client(
        [&] {
          auto recorder = std::make_unique<CommandRecorder>(system.connect(), recorded);
          newest = recorder.get();
          return recorder;
        },
        [&](std::unique_ptr<net::Transport> plain, const std::string& host, int timeoutMs, net::TlsCheck check) {
          if (!newest || plain.get() != newest) throw std::logic_error("TLS asked for a connection not made here");
          newest->Secure(system.secure, host, timeoutMs, check);
          return plain;
        });
    client.Send(request);
    return {};
  } catch (const std::bad_alloc&) {
    throw;
  } catch (const std::exception& e) {
    return FailureText(e);
  }
}

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
      delete SmtpControl::Of(hwnd);
      SetWindowLongPtrA(hwnd, 0, 0);
      break;
    case WM_SMTP_INVOKE:
      if (SmtpControl* control = SmtpControl::Of(hwnd); control) {
        if (auto* call = fw::ThreadCall::From<SmtpCall>(lParam)) return control->Invoke(*call);
      }
      return E_UNEXPECTED;
    case WM_SMTP_SEND_IN_BACKGROUND:
      if (SmtpControl* control = SmtpControl::Of(hwnd); control) {
        if (auto* call = fw::ThreadCall::From<SmtpSendInBackground>(lParam)) return control->SendInBackground(*call);
      }
      return E_UNEXPECTED;
  }
  return DefWindowProcA(hwnd, message, wParam, lParam);
}

}  // namespace

SmtpControl::SmtpControl(const CREATESTRUCTA& cs) {
  const auto [x, y] = InitialExtent(cs);
  m_properties.Set(id::kExtentX, x);
  m_properties.Set(id::kExtentY, y);
}

HRESULT SmtpControl::Invoke(SmtpCall& call) noexcept {
  call.handled = true;
  try {
    if (call.dispid == id::kSend) {
      if (call.kind != SmtpCallKind::Method) return DISP_E_MEMBERNOTFOUND;
      return Send(call);
    }
    switch (call.kind) {
      case SmtpCallKind::PropertyGet:
        return m_properties.Get(call.dispid, call.result);
      case SmtpCallKind::PropertyPut:
        return m_properties.Put(call.dispid, call.argument);
      case SmtpCallKind::Method:
        break;
    }
    return DISP_E_MEMBERNOTFOUND;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (const std::exception& e) {
    call.errorDescription = win::AnsiToWide(e.what());
    call.errorSource = kSmtpErrorSource;
    return DISP_E_EXCEPTION;
  }
}

// The server field may carry the port ("host:587"); the port property is
// only the default for a bare name. Which port it ends up being decides
// whether TLS starts at once or by STARTTLS.
SendRequest SmtpControl::Request() const {
  const PropertyTable& p = m_properties;
  SendRequest r;
  const ServerAddress address = ParseServerAddress(p.Text(id::kServer), p.Number(id::kPort));
  r.server = address.host;
  r.port = address.port;
  r.tls = TlsModeForPort(address.port);
  r.username = p.Text(id::kUsername);
  r.password = p.Text(id::kPassword);
  r.authenticationType = p.Number(id::kAuthenticationType);
  SplitPopServer(p.Text(id::kPopServer), r);
  r.popTls = r.popPort == kImplicitPop3TlsPort ? TlsMode::Implicit : TlsMode::StartTlsIfOffered;
  r.sendTo = p.Text(id::kSendTo);
  r.mailFrom = p.Text(id::kMailFrom);
  r.cc = p.Text(id::kCc);
  r.bcc = p.Text(id::kBcc);
  r.replyTo = p.Text(id::kReplyTo);
  r.messageSubject = p.Text(id::kMessageSubject);
  r.messageText = p.Text(id::kMessageText);
  r.contentType = p.Text(id::kContentType);
  r.charset = p.Text(id::kCharset);
  r.contentTransferEncoding = p.Text(id::kContentTransferEncoding);
  r.clientHostName = p.Text(id::kClientHostName);
  r.timeoutMs = p.Number(id::kTimeout);
  // messagehtml, importance, sensitivity, notification and expiresafter
  // have no part in a plain-text notification; they are kept, not sent.
  return r;
}

SmtpControl::Snapshot SmtpControl::Take() const {
  Snapshot snapshot;
  try {
    snapshot.request = Request();
  } catch (const std::bad_alloc&) {
    throw;
  } catch (const std::exception& e) {
    snapshot.refusal = FailureText(e);
  }
  return snapshot;
}

// It reads nothing of the control, so a worker may run it on a snapshot.
SmtpSendOutcome SmtpControl::Transmit(const Snapshot& snapshot) {
  RecordedCommands recorded;
  SmtpSendOutcome outcome;
  outcome.status = snapshot.refusal.empty() ? Converse(snapshot.request, recorded) : snapshot.refusal;
  // After a failure the session still says QUIT; the command that failed is
  // the one the property names.
  const bool quitAfterFailure = !outcome.status.empty() && recorded.last == "QUIT";
  outcome.lastCommand = win::AnsiToWide(quitAfterFailure ? recorded.beforeQuit : recorded.last);
  outcome.timestamp = LocalTimeText();
  return outcome;
}

// Synchronous by design: the caller waits inside the call until the
// dialogue is over.
HRESULT SmtpControl::Send(SmtpCall& call) {
  const SmtpSendOutcome outcome = Transmit(Take());
  m_properties.Set(id::kStatus, outcome.status);
  m_properties.Set(id::kLastSmtpCommand, outcome.lastCommand);
  m_properties.Set(id::kTimestamp, outcome.timestamp);
  if (outcome.status.empty() || !m_properties.Flag(id::kRaiseError)) return S_OK;
  call.errorDescription = outcome.status;
  call.errorSource = kSmtpErrorSource;
  return DISP_E_EXCEPTION;
}

// The snapshot is taken here, on the control's thread; the worker gets
// nothing else.
HRESULT SmtpControl::SendInBackground(SmtpSendInBackground& call) noexcept {
  call.handled = true;
  try {
    const bool raiseError = m_properties.Flag(id::kRaiseError);
    const bool started =
        fw::StartBackgroundCall<SmtpSendOutcome>(call.replyTo, call.message, call.tag, [snapshot = Take(), raiseError] {
          SmtpSendOutcome outcome = Transmit(snapshot);
          outcome.raiseError = raiseError;
          return outcome;
        });
    return started ? S_OK : E_OUTOFMEMORY;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (const std::exception&) {
    return E_FAIL;
  }
}

bool RegisterSmtpControl(HINSTANCE instance) {
  WNDCLASSA wc{};
  wc.lpfnWndProc = SmtpControlProc;
  wc.cbWndExtra = sizeof(SmtpControl*);
  wc.hInstance = instance;
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = kSmtpControlClass;
  return fw::RegisterControlClass(wc);
}

}  // namespace smtp
