#pragma once
// TLS for the mail dialogue through Windows' own Schannel, layered over an
// already connected transport: the Winsock one right after connecting (port
// 465) or after the server's "220" to STARTTLS. The server's certificate is
// checked against the Windows trust store and the name the user gave; a
// connection that fails either check is closed before anything is sent.
#include <memory>
#include <string>

#include "net/Transport.h"

namespace net {

// Fits TlsUpgrade. The handshake and the certificate check together stay
// within timeoutMs. Throws TransportError with a reason the user can act on
// ("the server's certificate is not trusted", ...). With
// TlsCheck::Opportunistic a certificate that fails its check does not end
// the connection; the reason goes to `certificateDoubt` instead.
std::unique_ptr<Transport> StartSchannelTls(std::unique_ptr<Transport> plain, const std::string& host, int timeoutMs,
                                            TlsCheck check = TlsCheck::Strict, std::string* certificateDoubt = nullptr);

}  // namespace net
