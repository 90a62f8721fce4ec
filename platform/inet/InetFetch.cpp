#include "InetFetch.h"

#include <cwchar>
#include <list>
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
// An address page is a few hundred bytes; a server sending megabytes is
// broken or hostile and must not fill the memory.
constexpr std::size_t kMaxPageBytes = 1024 * 1024;
constexpr int kMaxRedirects = 5;

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
  std::wstring location;  // where a redirect points, as the server wrote it
  std::string bytes;
  bool tooLarge = false;
};

bool IsRedirect(DWORD status) {
  return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

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

std::wstring Location(HINTERNET request) {
  wchar_t text[2048] = {};
  DWORD size = sizeof text - sizeof text[0];
  if (!HttpQueryInfoW(request, HTTP_QUERY_LOCATION, text, &size, nullptr)) return {};
  return text;
}

// True when the server announces a body longer than `limit`: such a page is
// refused before any of it is read. A length that is missing or cannot be
// read is no announcement; the read loop's own cap still holds then.
bool AnnouncesMoreThan(HINTERNET request, std::size_t limit) {
  DWORD length = 0;
  DWORD size = sizeof length;
  return HttpQueryInfoW(request, HTTP_QUERY_CONTENT_LENGTH | HTTP_QUERY_FLAG_NUMBER, &length, &size, nullptr) &&
         length > limit;
}

std::wstring StatusText(HINTERNET request) {
  wchar_t text[256] = {};
  DWORD size = sizeof text - sizeof text[0];
  if (!HttpQueryInfoW(request, HTTP_QUERY_STATUS_TEXT, text, &size, nullptr)) return {};
  return text;
}

// One GET, the body read until WinINet reports its end. Redirects are left
// to the caller, which decides where they may lead. Returns 0 or the WinINet
// error code; an error or redirect status leaves the body unread. The request is opened on its own rather than in one
// call because the time-outs must be set on it before it is sent: not every WinINet passes the session's on.
DWORD Transfer(const Target& target, DWORD deadline, InetWatchdog& watchdog, FetchHandles& h, Response& response) {
  if (!Keep(h.session, InternetOpenW(L"Corvane/2.0", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0), watchdog))
    return GetLastError();
  SetTimeouts(h.session.get(), Remaining(deadline));
  if (!Keep(h.connection,
            InternetConnectW(h.session.get(), target.host.c_str(), target.port, nullptr, nullptr, INTERNET_SERVICE_HTTP,
                             0, 0),
            watchdog))
    return GetLastError();
  const DWORD flags = kRequestFlags | INTERNET_FLAG_NO_AUTO_REDIRECT | (target.secure ? INTERNET_FLAG_SECURE : 0);
  if (!Keep(h.request,
            HttpOpenRequestW(h.connection.get(), L"GET", target.object.c_str(), nullptr, nullptr, nullptr, flags, 0),
            watchdog))
    return GetLastError();
  SetTimeouts(h.request.get(), Remaining(deadline));
  if (!HttpSendRequestW(h.request.get(), nullptr, 0, nullptr, 0)) return GetLastError();

  response.status = StatusCode(h.request.get());
  if (IsRedirect(response.status)) {
    response.location = Location(h.request.get());
    return 0;
  }
  if (response.status >= 400 || response.status < 100) {
    response.reason = StatusText(h.request.get());
    return 0;
  }
  if (AnnouncesMoreThan(h.request.get(), kMaxPageBytes)) {
    response.tooLarge = true;
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
    if (response.bytes.size() + got > kMaxPageBytes) {
      response.tooLarge = true;
      return 0;
    }
    response.bytes.append(chunk.data(), got);
  }
}

std::string Seconds(DWORD ms) {
  const DWORD seconds = (ms + 999) / 1000;
  return std::to_string(seconds) + (seconds == 1 ? " second" : " seconds");
}

// The next address of a redirect, resolved against the current one. Only
// http and https are followed, and never from https down to http: that
// would hand a secured fetch to anyone on the path.
bool NextTarget(const std::wstring& current, const Target& from, const std::wstring& location, std::wstring& next,
                Target& target) {
  if (location.empty()) return false;
  wchar_t combined[2048];
  DWORD size = sizeof combined / sizeof combined[0];
  if (!InternetCombineUrlW(current.c_str(), location.c_str(), combined, &size, ICU_NO_ENCODE)) return false;
  next.assign(combined, size);
  if (!CrackUrl(next, target)) return false;
  return !(from.secure && !target.secure);
}

}  // namespace

std::wstring FetchPage(const std::wstring& url, DWORD timeoutMs) {
  const std::string shownUrl = fw::WideToAnsi(url);
  auto failure = [&](const std::string& why) {
    return InetError(fw::AnsiToWide("Cannot fetch " + shownUrl + ": " + why));
  };
  Target target;
  if (!CrackUrl(url, target)) throw failure("the address is not a valid http:// or https:// URL");

  // Every hop's handles stay open until the watchdog has stopped: it may
  // still close any of them, and must not meet a handle value reused.
  std::list<FetchHandles> hops;
  Response response;
  const DWORD start = GetTickCount();
  InetWatchdog watchdog(timeoutMs);
  std::wstring current = url;
  DWORD error = 0;
  std::string refusedRedirect;
  for (int hop = 0;; ++hop) {
    response = Response{};
    error = Transfer(target, start + timeoutMs, watchdog, hops.emplace_back(), response);
    if (error || !IsRedirect(response.status)) break;
    if (hop == kMaxRedirects) {
      refusedRedirect = "the server redirected more than " + std::to_string(kMaxRedirects) + " times";
      break;
    }
    std::wstring next;
    Target nextTarget;
    if (!NextTarget(current, target, response.location, next, nextTarget)) {
      refusedRedirect = "the server redirected to " +
                        (response.location.empty() ? std::string("nowhere") : fw::WideToAnsi(response.location)) +
                        ", which is not an http:// or https:// address that keeps the connection secured";
      break;
    }
    current = std::move(next);
    target = std::move(nextTarget);
  }
  watchdog.Stop();

  // WinINet's own time-outs and the watchdog stop the same kind of server,
  // and a WinINet whose receive timed out may call it an aborted connection;
  // which of them came first says nothing to the user.
  const std::string tooSlow = "the server did not send the page within " + Seconds(timeoutMs);
  if (watchdog.Fired()) {
    for (FetchHandles& h : hops) h.Abandon();
    throw failure(tooSlow);
  }
  if (error == ERROR_INTERNET_TIMEOUT || (error && GetTickCount() - start >= timeoutMs)) throw failure(tooSlow);
  if (error) throw failure(DescribeInetError(error));
  if (!refusedRedirect.empty()) throw failure(refusedRedirect);
  // A connection closed before any status line is no page at all.
  if (response.status == 0) throw failure("the server closed the connection without an answer");
  if (response.tooLarge) throw InetError(L"The page at " + url + L" is larger than 1 MiB");
  if (response.status >= 400 || response.status < 100) {
    std::wstring text =
        L"The page at " + url + L" could not be fetched: " + fw::AnsiToWide(std::to_string(response.status));
    if (!response.reason.empty()) text += L" " + response.reason;
    throw InetError(std::move(text));
  }
  return fw::AnsiToWide(response.bytes);
}

}  // namespace inet
