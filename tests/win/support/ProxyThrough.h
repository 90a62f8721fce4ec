#pragma once
// The system's proxy setting pointed at a test server, so page fetches reach
// it whatever host their addresses name.
#include <string>

#include <windows.h>

#include "PeerClient.h"
#include "TestAuthority.h"

namespace app_test {

// Sends the program's page fetches through the test's server, as the system's
// proxy setting would, for as long as it lives: the built-in page addresses
// name public hosts the tests never reach. Their https tunnels end in the
// test server with certificates from the test authority, which the machine
// trusts for as long, as a root.
class ProxyThrough {
 public:
  explicit ProxyThrough(int port) {
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, kInternetSettings, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) !=
        ERROR_SUCCESS) {
      ADD_FAILURE() << "cannot set the proxy";
      return;
    }
    const DWORD enable = 1;
    const std::string server = "127.0.0.1:" + std::to_string(port);
    RegSetValueExA(key, "ProxyEnable", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&enable), sizeof enable);
    RegSetValueExA(key, "ProxyServer", 0, REG_SZ, reinterpret_cast<const BYTE*>(server.c_str()),
                   static_cast<DWORD>(server.size() + 1));
    RegCloseKey(key);
  }
  ~ProxyThrough() {
    RegDeleteKeyValueA(HKEY_CURRENT_USER, kInternetSettings, "ProxyEnable");
    RegDeleteKeyValueA(HKEY_CURRENT_USER, kInternetSettings, "ProxyServer");
  }
  ProxyThrough(const ProxyThrough&) = delete;
  ProxyThrough& operator=(const ProxyThrough&) = delete;

 private:
  static constexpr char kInternetSettings[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
  test_authority::Trusted m_authority{peers::PeerClient::FromEnvironment().TlsAuthorityPem()};
};

}  // namespace app_test
