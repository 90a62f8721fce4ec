#include "app/Inet.h"

#include "base/Text.h"
#include "fw/BackgroundCall.h"
#include "fw/Exceptions.h"
#include "inet/InetControl.h"

namespace {
constexpr char kInetErrorSource[] = "CorvaneInet";
constexpr char kNoResult[] = "Cannot fetch the page: there is not enough memory for it";
}  // namespace

std::string CInet::OpenURL(const std::string& url) {
  if (!GetSafeHwnd()) return {};
  inet::InetOpenUrlCall call;
  call.url = win::AnsiToWide(url);
  if (!SendMessage(WM_INET_OPENURL, 0, reinterpret_cast<LPARAM>(&call))) {
    // A window of another class answers 0 and says nothing.
    std::string description = win::WideToAnsi(call.error);
    if (description.empty()) description = "Cannot fetch " + url + ": the page fetch control did not answer";
    throw CDispatchException(description, kInetErrorSource);
  }
  return win::WideToAnsi(call.body);
}

bool CInet::StartOpenURL(const std::string& url, HWND replyTo, UINT message, WPARAM tag) {
  if (!GetSafeHwnd()) return false;
  return fw::StartBackgroundCall<PageFetchResult>(replyTo, message, tag, [url] {
    std::wstring body, error;
    if (inet::OpenUrl(win::AnsiToWide(url), body, error)) return PageFetchResult{win::WideToAnsi(body), {}};
    std::string description = win::WideToAnsi(error);
    if (description.empty()) description = "Cannot fetch " + url + ": the page could not be fetched";
    return PageFetchResult{{}, description};
  });
}

std::unique_ptr<PageFetchResult> CInet::TakeFetchResult(HWND window, LPARAM lParam) {
  if (!lParam) return std::make_unique<PageFetchResult>(PageFetchResult{{}, kNoResult});
  return fw::TakeBackgroundResult<PageFetchResult>(window, lParam);
}
