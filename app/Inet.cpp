#include "app/Inet.h"

#include "fw/Exceptions.h"
#include "inet/InetControl.h"
#include "base/Text.h"

namespace {
constexpr char kInetErrorSource[] = "CorvaneInet";
}

std::string CInet::OpenURL(const std::string& url) {
  if (!GetSafeHwnd()) return {};
  inet::InetOpenUrlCall call;
  call.url = fw::AnsiToWide(url);
  if (!SendMessage(WM_INET_OPENURL, 0, reinterpret_cast<LPARAM>(&call))) {
    // A window of another class answers 0 and says nothing.
    std::string description = fw::WideToAnsi(call.error);
    if (description.empty()) description = "Cannot fetch " + url + ": the page fetch control did not answer";
    throw CDispatchException(description, kInetErrorSource);
  }
  return fw::WideToAnsi(call.body);
}
