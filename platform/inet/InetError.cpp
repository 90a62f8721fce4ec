#include "InetError.h"

#include <wininet.h>

#include "SystemError.h"

namespace inet {

namespace {

// The system's texts for the common failures name no cause a user can fix;
// these say what happened in the terms of someone checking their link.
const char* OwnWording(DWORD code) {
  switch (code) {
    case ERROR_INTERNET_NAME_NOT_RESOLVED:
      return "the server name could not be resolved";
    case ERROR_INTERNET_CANNOT_CONNECT:
      return "the server refused the connection or could not be reached";
    case ERROR_INTERNET_TIMEOUT:
      return "the server did not answer in time";
    case ERROR_INTERNET_CONNECTION_ABORTED:
    case ERROR_INTERNET_CONNECTION_RESET:
      return "the server closed the connection before the page arrived";
    case ERROR_HTTP_INVALID_SERVER_RESPONSE:
      return "the server's answer was not a valid HTTP response";
    case ERROR_INTERNET_INVALID_URL:
    case ERROR_INTERNET_UNRECOGNIZED_SCHEME:
      return "the address is not a valid http or https URL";
    case ERROR_INTERNET_DISCONNECTED:
      return "this computer is not connected to the Internet";
    default:
      return nullptr;
  }
}

// The server's own words when WinINet says it has some.
std::string LastResponseInfo() {
  DWORD error = 0;
  DWORD length = 0;
  InternetGetLastResponseInfoA(&error, nullptr, &length);
  if (length == 0) return {};
  std::string text(length + 1, '\0');
  if (!InternetGetLastResponseInfoA(&error, text.data(), &length)) return {};
  text.resize(length);
  while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' ')) text.pop_back();
  return text;
}

}  // namespace

std::string DescribeInetError(DWORD code) {
  constexpr char kFailed[] = "the transfer failed";
  if (const char* own = OwnWording(code)) return fw::WithErrorCode(own, code);
  if (code == ERROR_INTERNET_EXTENDED_ERROR) {
    const std::string said = LastResponseInfo();
    return fw::WithErrorCode(said.empty() ? kFailed : said, code);
  }
  return fw::SystemErrorText(code, kFailed);
}

}  // namespace inet
