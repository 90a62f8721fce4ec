#include "inet/InetFetch.h"

#include <new>
#include <system_error>

#include "base/Text.h"
#include "http/HttpFetch.h"
#include "http/HttpUrl.h"
#include "http/IdnHost.h"
#include "http/SystemNetwork.h"
#include "http/UserAgent.h"
#include "inet/InetError.h"

namespace inet {

namespace {

// An address page is a few hundred bytes; a server sending megabytes is
// broken or hostile and must not fill the memory.
constexpr std::size_t kMaxPageBytes = 1024 * 1024;

std::string Seconds(DWORD ms) {
  const DWORD seconds = (ms + 999) / 1000;
  return std::to_string(seconds) + (seconds == 1 ? " second" : " seconds");
}

}  // namespace

std::wstring FetchPage(const std::wstring& url, DWORD timeoutMs) {
  const std::string typed = win::WideToAnsi(url);
  // A login in the address is never shown, in any failure.
  const std::string shownUrl = http::WithoutLogin(typed);
  // Typed in the ANSI code page; on the wire, UTF-8 percent-encoded and an
  // international host in its ASCII form.
  const std::optional<std::string> wire = http::WireAddress(win::AnsiToUtf8(typed));
  if (!wire) throw InetError("Cannot fetch " + shownUrl + ": the host name is not a valid international name");
  http::Request request;
  request.url = *wire;
  request.userAgent = http::SystemUserAgent();
  http::Response response;
  try {
    response =
        http::Fetch(request, http::Limits{static_cast<int>(timeoutMs), kMaxPageBytes, true}, http::SystemNetwork());
  } catch (const http::FetchError& e) {
    switch (e.kind()) {
      case http::FetchError::Kind::TimedOut:
        throw InetError("Cannot fetch " + shownUrl + ": the server did not send the page within " + Seconds(timeoutMs));
      case http::FetchError::Kind::TooLarge:
        throw InetError("The page at " + shownUrl + " is larger than 1 MiB");
      case http::FetchError::Kind::Failed:
        throw InetError("Cannot fetch " + shownUrl + ": " + e.what());
    }
  } catch (const std::bad_alloc&) {
    throw;  // the control words these itself
  } catch (const std::system_error&) {
    throw;
  } catch (const std::exception& e) {
    // Whatever else slips out of the exchange is still only a failed fetch.
    throw InetError("Cannot fetch " + shownUrl + ": " + e.what());
  }
  // Only a success carries the page; a 3xx that got here was not followed.
  if (response.status < 200 || response.status >= 300) {
    std::string text = "The page at " + shownUrl + " could not be fetched: " + std::to_string(response.status);
    if (!response.reason.empty()) text += " " + response.reason;
    throw InetError(text);
  }
  return win::AnsiToWide(response.body);
}

}  // namespace inet
