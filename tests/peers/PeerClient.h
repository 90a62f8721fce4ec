// Client of the peer servers' control port (tests/peers/peers.py, described in
// README.md). Tests ask it for SMTP, POP3, HTTP and scripted TCP peers on
// 127.0.0.1 and read back what those peers saw.
#pragma once

#include <string>
#include <vector>

namespace peers {

struct ReceivedMail {
  std::string from;
  std::vector<std::string> to;
  std::string authMech, authUser, authPassword, helo;
  std::string content;  // the DATA bytes as received, after dot-unstuffing
};

// Throws std::runtime_error on any failure, with the reason.
class PeerClient {
 public:
  PeerClient(std::string host, int port);
  static PeerClient FromEnvironment();  // reads CORVANE_PEERS ("127.0.0.1:PORT")

  std::string Get(const std::string& pathAndQuery);  // raw control call, returns the body

  int StartSmtp(const std::string& query = "");  // e.g. "auth=login&user=u&password=p"
  std::vector<ReceivedMail> Messages(int port);
  // Each command the SMTP peer received, "VERB tls" or "VERB plain", in order.
  std::vector<std::string> SmtpLog(int port);
  // The test authority (PEM) that issued the peers' "localhost" and "wronghost" certificates.
  std::string TlsAuthorityPem();
  // extraQuery e.g. "&tls=stls" (log lines then start "tls " or "plain ").
  int StartPop3(const std::string& user, const std::string& password, const std::string& extraQuery = "");
  std::vector<std::string> Pop3Log(int port);
  int StartHttp(const std::string& query = "");  // e.g. "tls=implicit&cert=untrusted"
  void SetPage(int port, int status, const std::string& body, const std::string& extraQuery = "");
  int HttpHits(int port);
  // Each request as received: request line, header lines, a blank line, the body.
  std::vector<std::string> HttpRequests(int port);
  int StartRaw(const std::string& script);
  std::vector<std::string> RawLog(int port);  // lines read by the script's "line" steps
  void Stop(int port);
  void StopAll();

  const std::string& Host() const { return m_host; }
  static std::string Encode(const std::string& bytes);  // percent-encoding

 private:
  int GetNumber(const std::string& pathAndQuery);

  std::string m_host;
  int m_port;
};

}  // namespace peers
