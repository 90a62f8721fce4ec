#include "InetFetch.h"

#include "HttpFetch.h"
#include "IdnHost.h"
#include "InetError.h"
#include "SystemNetwork.h"
#include "Text.h"

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
  const std::string shownUrl = fw::WideToAnsi(url);
  // Typed in the ANSI code page; on the wire, UTF-8 percent-encoded and an
  // international host in its ASCII form.
  const std::optional<std::string> wire = http::WireAddress(fw::AnsiToUtf8(shownUrl));
  if (!wire) throw InetError("Cannot fetch " + shownUrl + ": the host name is not a valid international name");
  http::Request request;
  request.url = *wire;
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
  }
  if (response.status >= 400) {
    std::string text = "The page at " + shownUrl + " could not be fetched: " + std::to_string(response.status);
    if (!response.reason.empty()) text += " " + response.reason;
    throw InetError(text);
  }
  return fw::AnsiToWide(response.body);
}

}  // namespace inet
