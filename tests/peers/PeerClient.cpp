#include "PeerClient.h"

#include <cstdlib>
#include <stdexcept>

#include "TcpConnection.h"

namespace peers {
namespace {

int ParsePort(const std::string& text, const std::string& what) {
  std::size_t used = 0;
  int value = -1;
  try {
    value = std::stoi(text, &used);
  } catch (const std::exception&) {
  }
  if (text.empty() || used != text.size() || value <= 0 || value > 65535)
    throw std::runtime_error(what + ": not a port number: '" + text + "'");
  return value;
}

std::string Trimmed(std::string s) {
  while (!s.empty() && (s.back() == '\n' || s.back() == '\r')) s.pop_back();
  return s;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
    lines.push_back(text.substr(start, end - start));
  if (start < text.size()) lines.push_back(text.substr(start));
  return lines;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Field values come with '%', CR and LF escaped so each stays on its line.
std::string Unescape(const std::string& value) {
  std::string out;
  for (std::size_t i = 0; i < value.size(); ++i) {
    if (value[i] == '%' && i + 2 < value.size() && HexDigit(value[i + 1]) >= 0 && HexDigit(value[i + 2]) >= 0) {
      out += static_cast<char>(HexDigit(value[i + 1]) * 16 + HexDigit(value[i + 2]));
      i += 2;
    } else {
      out += value[i];
    }
  }
  return out;
}

[[noreturn]] void BadFormat(const std::string& why) {
  throw std::runtime_error("peers: malformed message list: " + why);
}

// Reads "<word> <n>" + terminator at pos and returns n.
std::size_t ReadCounted(const std::string& text, std::size_t& pos, const std::string& word,
                        const std::string& terminator) {
  const std::string prefix = word + " ";
  if (text.compare(pos, prefix.size(), prefix) != 0) BadFormat("expected '" + word + "'");
  const std::size_t end = text.find(terminator, pos);
  if (end == std::string::npos) BadFormat("unterminated '" + word + "' line");
  const std::string digits = text.substr(pos + prefix.size(), end - pos - prefix.size());
  if (digits.empty() || digits.find_first_not_of("0123456789") != std::string::npos)
    BadFormat("bad length '" + digits + "'");
  pos = end + terminator.size();
  return std::stoul(digits);
}

ReceivedMail ParseRecord(const std::string& record) {
  ReceivedMail mail;
  std::size_t pos = 0;
  while (record.compare(pos, 8, "content ") != 0) {
    const std::size_t end = record.find('\n', pos);
    const std::size_t colon = record.find(": ", pos);
    if (end == std::string::npos || colon == std::string::npos || colon > end) BadFormat("bad field line");
    const std::string key = record.substr(pos, colon - pos);
    const std::string value = Unescape(record.substr(colon + 2, end - colon - 2));
    pos = end + 1;
    if (key == "from")
      mail.from = value;
    else if (key == "to")
      mail.to.push_back(value);
    else if (key == "auth_mech")
      mail.authMech = value;
    else if (key == "auth_user")
      mail.authUser = value;
    else if (key == "auth_password")
      mail.authPassword = value;
    else if (key == "helo")
      mail.helo = value;
    // Fields added later are skipped, so the format can grow.
  }
  const std::size_t n = ReadCounted(record, pos, "content", "\n");
  if (record.size() - pos != n) BadFormat("content length does not match");
  mail.content = record.substr(pos);
  return mail;
}

}  // namespace

PeerClient::PeerClient(std::string host, int port) : m_host(std::move(host)), m_port(port) {}

PeerClient PeerClient::FromEnvironment() {
  const char* value = std::getenv("CORVANE_PEERS");
  if (value == nullptr || *value == '\0')
    throw std::runtime_error("CORVANE_PEERS is not set: run the test through peers.py --run");
  const std::string text = value;
  const std::size_t colon = text.rfind(':');
  if (colon == std::string::npos) throw std::runtime_error("CORVANE_PEERS is not HOST:PORT: " + text);
  return PeerClient(text.substr(0, colon), ParsePort(text.substr(colon + 1), "CORVANE_PEERS"));
}

std::string PeerClient::Get(const std::string& pathAndQuery) {
  const std::string what = "peers: GET " + pathAndQuery;
  std::string reply;
  try {
    TcpConnection c = TcpConnection::Connect(m_host, m_port, 30000);
    c.Send("GET " + pathAndQuery + " HTTP/1.0\r\nHost: " + m_host + ":" + std::to_string(m_port) + "\r\n\r\n");
    reply = c.ReadAll();
  } catch (const std::runtime_error& e) {
    throw std::runtime_error(what + ": " + e.what());
  }
  const std::size_t headEnd = reply.find("\r\n\r\n");
  if (reply.compare(0, 5, "HTTP/") != 0 || headEnd == std::string::npos || reply.size() < 12)
    throw std::runtime_error(what + ": not an HTTP reply");
  const std::string status = reply.substr(9, 3);
  std::string body = reply.substr(headEnd + 4);
  if (status != "200") throw std::runtime_error(what + ": " + status + " " + Trimmed(body));
  return body;
}

int PeerClient::GetNumber(const std::string& pathAndQuery) {
  return ParsePort(Trimmed(Get(pathAndQuery)), "peers: GET " + pathAndQuery);
}

int PeerClient::StartSmtp(const std::string& query) {
  return GetNumber("/smtp/start" + (query.empty() ? "" : "?" + query));
}

std::vector<ReceivedMail> PeerClient::Messages(int port) {
  const std::string text = Get("/smtp/messages?port=" + std::to_string(port));
  std::vector<ReceivedMail> mails;
  for (std::size_t pos = 0; pos < text.size();) {
    const std::size_t n = ReadCounted(text, pos, "MAIL", "\r\n");
    if (text.size() - pos < n + 2 || text.compare(pos + n, 2, "\r\n") != 0) BadFormat("record cut short");
    mails.push_back(ParseRecord(text.substr(pos, n)));
    pos += n + 2;
  }
  return mails;
}

int PeerClient::StartPop3(const std::string& user, const std::string& password, const std::string& extraQuery) {
  return GetNumber("/pop3/start?user=" + Encode(user) + "&password=" + Encode(password) + extraQuery);
}

std::vector<std::string> PeerClient::Pop3Log(int port) { return Lines(Get("/pop3/log?port=" + std::to_string(port))); }

int PeerClient::StartHttp(const std::string& query) {
  return GetNumber("/http/start" + (query.empty() ? "" : "?" + query));
}

std::vector<std::string> PeerClient::HttpRequests(int port) {
  const std::string text = Get("/http/requests?port=" + std::to_string(port));
  std::vector<std::string> requests;
  for (std::size_t pos = 0; pos < text.size();) {
    const std::size_t n = ReadCounted(text, pos, "REQUEST", "\r\n");
    if (text.size() - pos < n + 2 || text.compare(pos + n, 2, "\r\n") != 0) BadFormat("record cut short");
    requests.push_back(text.substr(pos, n));
    pos += n + 2;
  }
  return requests;
}

void PeerClient::SetPage(int port, int status, const std::string& body, const std::string& extraQuery) {
  Get("/http/set?port=" + std::to_string(port) + "&status=" + std::to_string(status) + "&body=" + Encode(body) +
      (extraQuery.empty() ? "" : "&" + extraQuery));
}

int PeerClient::HttpHits(int port) {
  const std::string path = "/http/hits?port=" + std::to_string(port);
  const std::string text = Trimmed(Get(path));
  if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos)
    throw std::runtime_error("peers: GET " + path + ": not a count: '" + text + "'");
  return std::stoi(text);
}

int PeerClient::StartRaw(const std::string& script) { return GetNumber("/raw/start?script=" + Encode(script)); }

std::vector<std::string> PeerClient::SmtpLog(int port) { return Lines(Get("/smtp/log?port=" + std::to_string(port))); }

std::string PeerClient::TlsAuthorityPem() { return Get("/tls/ca"); }

std::vector<std::string> PeerClient::RawLog(int port) { return Lines(Get("/raw/log?port=" + std::to_string(port))); }

void PeerClient::Stop(int port) { Get("/stop?port=" + std::to_string(port)); }

void PeerClient::StopAll() { Get("/stopall"); }

std::string PeerClient::Encode(const std::string& bytes) {
  static const char hex[] = "0123456789ABCDEF";
  std::string out;
  for (const char ch : bytes) {
    const auto c = static_cast<unsigned char>(ch);
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
        c == '_' || c == '~') {
      out += ch;
    } else {
      out += '%';
      out += hex[c >> 4];
      out += hex[c & 15];
    }
  }
  return out;
}

}  // namespace peers
