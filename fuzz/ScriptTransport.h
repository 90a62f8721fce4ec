#pragma once
// A server whose every byte is the fuzzer's input, behind a complete
// net::Transport: it hands its script out in pieces of varying size, ends
// each stretch with a close, and keeps what the client wrote so the client's
// side can be checked. A mail dialogue reads one stream over all of its
// connections; a web fetch gives each connection (and the tunnel inside a
// proxy's connection) a segment of its own.
#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "FuzzCheck.h"
#include "net/Transport.h"

namespace fuzz {

struct Script {
  std::vector<std::string> segments;
  bool segmentPerConnection = false;  // otherwise one stream for every connection
  std::size_t segment = 0;            // the one being read
  std::size_t pos = 0;
  std::size_t lastRead = 0;  // the segment the last Receive came from

  // How the stream is cut into reads: from one byte to everything, as a
  // real network's are, or always one byte, or always all there is.
  enum class Pieces { Varied, Single, Whole };
  Pieces pieces = Pieces::Varied;
  std::uint8_t pieceSeed = 0;

  bool refuseConnect = false;
  bool failHandshake = false;
  bool peerIsLoopback = false;
  bool cleanTlsClose = false;  // a secured stream ends with close_notify rather than a bare close
  bool resetAtEnd = false;     // every stretch ends torn down, as a forged reset would end it
  bool upgraded = false;

  std::size_t connections = 0;
  std::string connectedHost;
  struct Write {
    std::string bytes;
    bool afterTls;
    std::size_t connection;
    std::string host;  // what the connection was opened to
  };
  std::vector<Write> writes;

  void NextSegment() {
    ++segment;
    pos = 0;
  }
};

class ScriptTransport : public net::Transport {
 public:
  explicit ScriptTransport(std::shared_ptr<Script> script) : m_script(std::move(script)) {}

  void Connect(const std::string& host, int, int) override {
    Script& s = *m_script;
    if (s.refuseConnect) throw net::TransportError(net::TransportError::Kind::Failed, "refused");
    if (s.segmentPerConnection && s.connections > 0) s.NextSegment();
    ++s.connections;
    s.connectedHost = host;
    m_connected = true;
    s.upgraded = false;  // every connection starts in the clear
  }
  void Send(std::string_view bytes, int) override {
    FUZZ_CHECK(m_connected);
    Script& s = *m_script;
    s.writes.push_back({std::string(bytes), s.upgraded, s.connections, s.connectedHost});
  }
  std::size_t Receive(char* buffer, std::size_t capacity, int) override {
    FUZZ_CHECK(m_connected && capacity > 0);
    Script& s = *m_script;
    s.lastRead = s.segment;
    const std::string empty;
    const std::string& bytes = s.segment < s.segments.size() ? s.segments[s.segment] : empty;
    if (s.pos >= bytes.size()) {
      using Kind = net::TransportError::Kind;
      const bool said = s.upgraded && s.cleanTlsClose;
      throw net::TransportError(s.resetAtEnd ? Kind::Reset : said ? Kind::Ended : Kind::Closed, "closed");
    }
    std::size_t n = capacity;
    if (s.pieces == Script::Pieces::Single) {
      n = 1;
    } else if (s.pieces == Script::Pieces::Varied) {
      s.pieceSeed = static_cast<std::uint8_t>(s.pieceSeed * 73 + 41);
      n = s.pieceSeed < 32 ? 1 + s.pieceSeed % 4 : s.pieceSeed < 128 ? 1 + s.pieceSeed : capacity;
    }
    n = std::min({n, capacity, bytes.size() - s.pos});
    std::copy_n(bytes.data() + s.pos, n, buffer);
    s.pos += n;
    return n;
  }
  void Close() noexcept override { m_connected = false; }
  std::string LocalHostName() override { return "fuzz.example"; }
  bool PeerIsLoopback() const override { return m_script->peerIsLoopback; }

 private:
  std::shared_ptr<Script> m_script;
  bool m_connected = false;
};

}  // namespace fuzz
