#include "http/AutoProxy.h"

#include <windows.h>
#include <winhttp.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

#include "base/Text.h"
#include "http/HttpConnection.h"
#include "http/ProxyRules.h"
#include "http/UserAgent.h"
#include "net/Transport.h"

namespace http {

namespace {

struct WinHttpClose {
  void operator()(HINTERNET handle) const { WinHttpCloseHandle(handle); }
};

struct GlobalFreer {
  void operator()(wchar_t* text) const { GlobalFree(text); }
};
using GlobalText = std::unique_ptr<wchar_t, GlobalFreer>;

struct Found {
  ScriptProxy answer;
  bool timedOut = false;  // WinHTTP's own limits ended it
};

constexpr char kNotInTime[] =
    "the automatic proxy search (the system's proxy configuration script) did not finish in time";

// Runs on the search's own thread: every handle it opens is closed here,
// whether or not anyone still waits for the answer.
Found AskScript(const std::wstring& address, bool secure, const std::wstring& script, bool detect, int timeoutMs) {
  std::unique_ptr<void, WinHttpClose> session(WinHttpOpen(win::AnsiToWide(SystemUserAgent()).c_str(),
                                                          WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME,
                                                          WINHTTP_NO_PROXY_BYPASS, 0));
  if (!session) return {};
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
  WINHTTP_PROXY_INFO info{};
  if (!WinHttpGetProxyForUrl(session.get(), address.c_str(), &options, &info))
    return {ScriptProxy{}, GetLastError() == ERROR_WINHTTP_TIMEOUT};
  const GlobalText proxyText(info.lpszProxy), bypassText(info.lpszProxyBypass);
  const std::string proxy = proxyText ? win::WideToAnsi(proxyText.get()) : std::string();
  Found found;
  found.answer.verdict = ScriptProxy::Verdict::Direct;
  if (info.dwAccessType != WINHTTP_ACCESS_TYPE_NAMED_PROXY || proxy.empty()) return found;
  // The system hands the script's answer on as a proxy list. Where its
  // resolver keeps a SOCKS entry ("socks=host:port") we see it and refuse;
  // one that reduces a SOCKS-only answer to "direct" itself (Wine's does)
  // leaves nothing here to tell it from the script's DIRECT.
  if (const auto named = ScriptProxyFor(proxy, secure)) {
    found.answer.verdict = ScriptProxy::Verdict::ThroughProxy;
    found.answer.proxy = *named;
  } else {
    constexpr std::size_t kLongestNamed = 100;
    found.answer.verdict = ScriptProxy::Verdict::Unusable;
    found.answer.named = ShownText(proxy, kLongestNamed);
  }
  return found;
}

struct Search {
  std::mutex mutex;
  std::condition_variable done;
  bool finished = false;
  Found found;
};

// One search at a time: a discovery that hangs must not gather a new thread
// at every check while it does.
std::atomic<bool> g_searching{false};

}  // namespace

ScriptProxy AutomaticProxy(const Url& url, const std::wstring& script, bool detect, int timeoutMs) {
  if (script.empty() && !detect) return {};
  if (g_searching.exchange(true)) throw net::TransportError(net::TransportError::Kind::Failed, kNotInTime);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  auto search = std::make_shared<Search>();
  try {
    std::thread([search, address = win::AnsiToWide(ScriptUrl(url)), secure = url.secure, script, detect, timeoutMs] {
      Found found;
      try {
        found = AskScript(address, secure, script, detect, timeoutMs);
      } catch (const std::exception&) {
        // Nothing usable: the caller falls back to the manual setting.
      }
      {
        std::lock_guard<std::mutex> lock(search->mutex);
        search->found = std::move(found);
        search->finished = true;
      }
      g_searching = false;
      search->done.notify_all();
    }).detach();
  } catch (const std::system_error& e) {
    g_searching = false;
    throw net::TransportError(net::TransportError::Kind::Failed,
                              std::string("the automatic proxy search could not start: ") + e.what());
  }
  std::unique_lock<std::mutex> lock(search->mutex);
  // Out of time, the fetch fails rather than going direct: behind a proxy
  // that needs the script, a direct connection is either refused or,
  // worse, reaches the page by another way out and shows an address that
  // is not the one the user's traffic has.
  if (!search->done.wait_until(lock, deadline, [&] { return search->finished; }) || search->found.timedOut)
    throw net::TransportError(net::TransportError::Kind::Failed, kNotInTime);
  return std::move(search->found.answer);
}

}  // namespace http
