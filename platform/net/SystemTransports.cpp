#include "net/SystemTransports.h"

#include <memory>

#include "net/SchannelTransport.h"
#include "net/WinsockTransport.h"

namespace net {

SystemTransports WindowsTransports() {
  SystemTransports transports;
  transports.connect = [] { return std::make_unique<WinsockTransport>(); };
  transports.secure = [](std::unique_ptr<Transport> plain, const std::string& host, int timeoutMs, TlsCheck check) {
    return StartSchannelTls(std::move(plain), host, timeoutMs, check);
  };
  return transports;
}

}  // namespace net
