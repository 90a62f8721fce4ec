#include "http/SystemNetwork.h"

#include <windows.h>
#include <wininet.h>

#include "base/Text.h"
#include "http/AutoProxy.h"
#include "http/ProxyRules.h"
#include "net/SystemTransports.h"
#include "net/Transport.h"

namespace http {

namespace {

// The strings InternetQueryOption hands out belong to the caller.
struct GlobalText {
  wchar_t* text = nullptr;
  ~GlobalText() {
    if (text) GlobalFree(text);
  }
  std::string Ansi() const { return text ? win::WideToAnsi(text) : std::string(); }
};

struct InternetSettings {
  DWORD flags = PROXY_TYPE_DIRECT;
  GlobalText server, bypass, script;
};

// The user's settings as every Windows program shares them.
bool ReadInternetSettings(InternetSettings& settings) {
  INTERNET_PER_CONN_OPTIONW options[4] = {};
  options[0].dwOption = INTERNET_PER_CONN_FLAGS;
  options[1].dwOption = INTERNET_PER_CONN_PROXY_SERVER;
  options[2].dwOption = INTERNET_PER_CONN_PROXY_BYPASS;
  options[3].dwOption = INTERNET_PER_CONN_AUTOCONFIG_URL;
  INTERNET_PER_CONN_OPTION_LISTW list{};
  list.dwSize = sizeof list;
  list.dwOptionCount = 4;
  list.pOptions = options;
  DWORD size = sizeof list;
  if (!InternetQueryOptionW(nullptr, INTERNET_OPTION_PER_CONNECTION_OPTION, &list, &size)) return false;
  settings.flags = options[0].Value.dwValue;
  settings.server.text = options[1].Value.pszValue;
  settings.bypass.text = options[2].Value.pszValue;
  settings.script.text = options[3].Value.pszValue;
  return true;
}

std::optional<Proxy> SystemProxyFor(const Url& url, int timeoutMs) {
  InternetSettings settings;
  if (!ReadInternetSettings(settings)) return std::nullopt;
  if (settings.flags & (PROXY_TYPE_AUTO_PROXY_URL | PROXY_TYPE_AUTO_DETECT)) {
    const std::wstring script =
        (settings.flags & PROXY_TYPE_AUTO_PROXY_URL) && settings.script.text ? settings.script.text : L"";
    const ScriptProxy automatic = AutomaticProxy(url, script, settings.flags & PROXY_TYPE_AUTO_DETECT, timeoutMs);
    if (automatic.verdict == ScriptProxy::Verdict::Direct) return std::nullopt;
    if (automatic.verdict == ScriptProxy::Verdict::Unusable)
      throw net::TransportError(net::TransportError::Kind::Failed,
                                "the proxy configuration script names a proxy this program cannot use (" +
                                    automatic.named +
                                    "); only HTTP proxies can be used, and nothing goes direct "
                                    "in their place, so nothing was sent");
    if (automatic.verdict == ScriptProxy::Verdict::ThroughProxy) return automatic.proxy;
  }
  if (!(settings.flags & PROXY_TYPE_PROXY) || !settings.server.text) return std::nullopt;
  if (BypassesProxy(settings.bypass.Ansi(), url.host)) return std::nullopt;
  return ProxyForScheme(settings.server.Ansi(), url.secure);
}

}  // namespace

Network SystemNetwork() {
  Network network;
  net::SystemTransports transports = net::WindowsTransports();
  network.connect = std::move(transports.connect);
  network.secure = std::move(transports.secure);
  network.proxyFor = SystemProxyFor;
  return network;
}

}  // namespace http
