#include "smtp/Pop3Login.h"

namespace smtp {

namespace {

// A POP3 server may list STLS among its capabilities (RFC 2595). A server
// that does not know CAPA answers -ERR, which simply means no STLS.
bool OffersStls(Session& s) {
  s.At(Step::Pop3Capa);
  s.Command("CAPA");
  if (s.ReadLine().rfind("+OK", 0) != 0) return false;
  bool stls = false;
  for (int lines = 0;; ++lines) {
    std::string line = s.ReadLine();
    if (line == ".") return stls;
    if (lines > 100) throw MalformedReply("the POP3 server's capability list does not end");
    if (line == "STLS" || line.rfind("STLS ", 0) == 0) stls = true;
  }
}

void ExpectOk(Session& s, const std::string& what) {
  std::string line = s.ReadLine();
  if (line.rfind("+OK", 0) != 0) s.Fail("POP3 login failed (" + what + "): " + s.Quote(line));
}

}  // namespace

void Pop3Login(Session& s, const SendRequest& r, const net::TlsUpgrade& upgrade) {
  const std::string& host = r.popServer.empty() ? r.server : r.popServer;
  const Server server{"the POP3 server ", host, r.popPort, "STLS",
                      "use port 995 (" + host + ":995) if the server has it"};
  Open(s, server, r.popTls == TlsMode::Implicit, upgrade);
  s.At(Step::Pop3Greeting);
  ExpectOk(s, "greeting");
  if (!s.secured() && r.popTls != TlsMode::None && upgrade && OffersStls(s)) {
    s.At(Step::Pop3Stls);
    s.Command("STLS");
    ExpectOk(s, "STLS");
    Secure(s, server, upgrade, net::TlsCheck::Strict);
  }
  s.At(Step::Pop3User);
  RequireEncryption(s, server);
  s.Command("USER " + r.username);
  ExpectOk(s, "USER");
  s.At(Step::Pop3Pass);
  s.Command("PASS " + r.password);
  ExpectOk(s, "PASS");
}

}  // namespace smtp
