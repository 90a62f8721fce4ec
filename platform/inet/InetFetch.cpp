#include "InetFetch.h"

#include <cwchar>
#include <vector>

#include "InetError.h"
#include "InetWatchdog.h"
#include "Text.h"

namespace inet {

namespace {

// Every fetch is fresh: the page changes whenever the address does, so
// neither a cache nor a prompt may stand between the server and us.
constexpr DWORD kRequestFlags =
    INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE | INTERNET_FLAG_NO_UI;
constexpr DWORD kReadChunk = 64 * 1024;

// The handles of one fetch, each under the watchdog once opened.
struct FetchHandles {
  OwnedInternet session, connection, request;

  // After the watchdog closed them, closing again could hit a reused handle.
  void Abandon() {
    request.release();
    connection.release();
    session.release();
  }
};

struct Response {
  DWORD status = 0;
  std::wstring reason;
  std::string bytes;
};

// The parts of an http or https URL that the request is built from.
struct Target {
  std::wstring host, object;
  INTERNET_PORT port = 0;
  bool secure = false;
};

bool CrackUrl(const std::wstring& url, Target& target) {
  URL_COMPONENTSW parts{};
  parts.dwStructSize = sizeof parts;
  // Non-zero lengths without buffers: point into the URL itself.
  parts.dwSchemeLength = parts.dwHostNameLength = parts.dwUrlPathLength = parts.dwExtraInfoLength = 1;
  if (!InternetCrackUrlW(url.c_str(), static_cast<DWORD>(url.size()), 0, &parts)) return false;
  if (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS) return false;
  if (!parts.lpszHostName || parts.dwHostNameLength == 0) return false;
  target.host.assign(parts.lpszHostName, parts.dwHostNameLength);
  if (parts.lpszUrlPath) target.object.assign(parts.lpszUrlPath, parts.dwUrlPathLength);
  if (parts.lpszExtraInfo) target.object.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);
  if (target.object.empty() || target.object[0] != L'/') target.object.insert(0, L"/");
  target.port = parts.nPort;
  target.secure = parts.nScheme == INTERNET_SCHEME_HTTPS;
  return true;
}

// Takes a freshly opened handle into its owner and under the watchdog.
// False with the error in GetLastError when it did not open or time is up.
bool Keep(OwnedInternet& owner, HINTERNET handle, InetWatchdog& watchdog) {
  if (!handle) return false;
  owner.reset(handle);
  if (watchdog.Guard(handle)) return true;
  owner.reset();
  SetLastError(ERROR_INTERNET_TIMEOUT);
  return false;
}

// What is left of the fetch's time, never 0 (which WinINet reads as "forever").
DWORD Remaining(DWORD deadline) {
  const LONG left = static_cast<LONG>(deadline - GetTickCount());
  return left > 0 ? static_cast<DWORD>(left) : 1;
}

void SetTimeouts(HINTERNET handle, DWORD ms) {
  for (DWORD option : {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT, INTERNET_OPTION_RECEIVE_TIMEOUT})
    InternetSetOptionW(handle, option, &ms, sizeof ms);
}

DWORD StatusCode(HINTERNET request) {
  DWORD status = 0;
  DWORD size = sizeof status;
  if (!HttpQueryInfoW(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr)) return 0;
  return status;
}

std::wstring StatusText(HINTERNET request) {
  wchar_t text[256] = {};
  DWORD size = sizeof text - sizeof text[0];
  if (!HttpQueryInfoW(request, HTTP_QUERY_STATUS_TEXT, text, &size, nullptr)) return {};
  return text;
}

// One GET, redirects followed by WinINet, the body read until WinINet reports
// its end. Returns 0 or the WinINet error code; an error status leaves the
// body unread. The request is opened on its own rather than in one call
// because the time-outs must be set on it before it is sent: not every
// WinINet passes the session's on.
DWORD Transfer(const Target& target, DWORD deadline, InetWatchdog& watchdog, FetchHandles& h, Response& response) {
  if (!Keep(h.session, InternetOpenW(L"Corvane/2.0", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0), watchdog))
    return GetLastError();
  SetTimeouts(h.session.get(), Remaining(deadline));
  if (!Keep(h.connection,
            InternetConnectW(h.session.get(), target.host.c_str(), target.port, nullptr, nullptr,
                             INTERNET_SERVICE_HTTP, 0, 0),
            watchdog))
    return GetLastError();
  const DWORD flags = kRequestFlags | (target.secure ? INTERNET_FLAG_SECURE : 0);
  if (!Keep(h.request,
            HttpOpenRequestW(h.connection.get(), L"GET", target.object.c_str(), nullptr, nullptr, nullptr, flags, 0),
            watchdog))
    return GetLastError();
  SetTimeouts(h.request.get(), Remaining(deadline));
  if (!HttpSendRequestW(h.request.get(), nullptr, 0, nullptr, 0)) return GetLastError();

  response.status = StatusCode(h.request.get());
  if (response.status >= 400) {
    response.reason = StatusText(h.request.get());
    return 0;
  }
  // A read blocks until its buffer is full, and closing the handle does not
  // wake it everywhere (Wine); asking first what has arrived keeps every wait
  // to one receive, so a closed handle is noticed at the next call. Where
  // WinINet applies a new receive time-out to a live connection, it also
  // keeps that one receive within what is left of the time.
  std::vector<char> chunk(kReadChunk);
  for (;;) {
    DWORD rest = Remaining(deadline);
    InternetSetOptionW(h.request.get(), INTERNET_OPTION_RECEIVE_TIMEOUT, &rest, sizeof rest);
    DWORD available = 0;
    if (!InternetQueryDataAvailable(h.request.get(), &available, 0, 0)) return GetLastError();
    if (available == 0) return 0;
    DWORD got = 0;
    if (!InternetReadFile(h.request.get(), chunk.data(), available < kReadChunk ? available : kReadChunk, &got))
      return GetLastError();
    if (got == 0) return 0;
    response.bytes.append(chunk.data(), got);
  }
}

std::string Seconds(DWORD ms) {
  const DWORD seconds = (ms + 999) / 1000;
  return std::to_string(seconds) + (seconds == 1 ? " second" : " seconds");
}

}  // namespace

std::wstring FetchPage(const std::wstring& url, DWORD timeoutMs) {
  const std::string shownUrl = fw::WideToAnsi(url);
  auto failure = [&](const std::string& why) { return InetError(fw::AnsiToWide("Cannot fetch " + shownUrl + ": " + why)); };
  Target target;
  if (!CrackUrl(url, target)) throw failure("the address is not a valid http:// or https:// URL");

  FetchHandles handles;
  Response response;
  const DWORD start = GetTickCount();
  InetWatchdog watchdog(timeoutMs);
  const DWORD error = Transfer(target, start + timeoutMs, watchdog, handles, response);
  watchdog.Stop();

  // WinINet's own time-outs and the watchdog stop the same kind of server,
  // and a WinINet whose receive timed out may call it an aborted connection;
  // which of them came first says nothing to the user.
  const std::string tooSlow = "the server did not send the page within " + Seconds(timeoutMs);
  if (watchdog.Fired()) {
    handles.Abandon();
    throw failure(tooSlow);
  }
  if (error == ERROR_INTERNET_TIMEOUT || (error && GetTickCount() - start >= timeoutMs)) throw failure(tooSlow);
  if (error) throw failure(DescribeInetError(error));
  if (response.status >= 400) {
    std::wstring text = L"The page at " + url + L" could not be fetched: " + fw::AnsiToWide(std::to_string(response.status));
    if (!response.reason.empty()) text += L" " + response.reason;
    throw InetError(std::move(text));
  }
  return fw::AnsiToWide(response.bytes);
}

}  // namespace inet
