#include "AutoProxy.h"

#include <windows.h>
#include <winhttp.h>

#include <memory>

#include "ProxyRules.h"
#include "Text.h"

namespace http {

namespace {

struct WinHttpClose {
  void operator()(HINTERNET handle) const { WinHttpCloseHandle(handle); }
};

}  // namespace

std::optional<std::optional<Proxy>> AutomaticProxy(const Url& url, const std::wstring& script, bool detect,
                                                   int timeoutMs) {
  std::unique_ptr<void, WinHttpClose> session(
      WinHttpOpen(L"Corvane/2.0", WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
  if (!session) return std::nullopt;
  WinHttpSetTimeouts(session.get(), timeoutMs, timeoutMs, timeoutMs, timeoutMs);
  WINHTTP_AUTOPROXY_OPTIONS options{};
  if (!script.empty()) {
    options.dwFlags |= WINHTTP_AUTOPROXY_CONFIG_URL;
    options.lpszAutoConfigUrl = script.c_str();
  }
  if (detect) {
    options.dwFlags |= WINHTTP_AUTOPROXY_AUTO_DETECT;
    options.dwAutoDetectFlags = WINHTTP_AUTO_DETECT_TYPE_DHCP | WINHTTP_AUTO_DETECT_TYPE_DNS_A;
  }
  if (!options.dwFlags) return std::nullopt;
  const std::wstring address = fw::AnsiToWide(url.Text());
  WINHTTP_PROXY_INFO info{};
  if (!WinHttpGetProxyForUrl(session.get(), address.c_str(), &options, &info)) return std::nullopt;
  const std::string proxy = info.lpszProxy ? fw::WideToAnsi(info.lpszProxy) : std::string();
  if (info.lpszProxy) GlobalFree(info.lpszProxy);
  if (info.lpszProxyBypass) GlobalFree(info.lpszProxyBypass);
  if (info.dwAccessType != WINHTTP_ACCESS_TYPE_NAMED_PROXY || proxy.empty()) return std::optional<Proxy>();
  // The script may name several proxies; the first is the one it prefers.
  return ProxyForScheme(proxy.substr(0, proxy.find(';')), url.secure);
}

}  // namespace http
