#include "http/HttpConnection.h"

#include <charconv>

#include "base/AsciiText.h"

namespace http {

namespace {

// A head or a chunk line longer than these is no HTTP a page server sends.
constexpr std::size_t kLongestHead = 64 * 1024;
constexpr std::size_t kLongestLine = 8 * 1024;
// A reason phrase ends up in a message box; a server may fill it with
// anything up to the head's limit.
constexpr std::size_t kLongestReason = 100;
// Interim answers (100 Continue, 103 Early Hints) come one or two before
// the real one; a server that sends them without end would hold the fetch
// to its deadline, 64 KiB of head at a time. The eleventh is refused.
constexpr int kMostInterimAnswers = 10;

constexpr char kNoAnswer[] = "the server closed the connection without an answer";
constexpr char kClosedMidAnswer[] = "the connection closed before the whole page arrived";
constexpr char kNotHttp[] = "the server's answer was not a valid HTTP response";
constexpr char kReset[] = "the server reset the connection before the whole answer arrived";

[[noreturn]] void Fail(const std::string& text) { throw FetchError(FetchError::Kind::Failed, text); }
[[noreturn]] void TooLarge() { throw FetchError(FetchError::Kind::TooLarge, "the answer is too large"); }

// Blanks around header values and chunk sizes; a bare CR is one too, since
// a line may end in CR LF or LF alone.
std::string Trim(std::string_view text) { return base::Trim(text, " \t\r"); }

// Where the head ends: after the first empty line, CRLF or bare LF; npos
// while it has not arrived. The search starts at `from`, a line start or
// the byte after a '\n' already seen: a head that arrives a byte at a time
// is then looked through once in all, not once per byte.
std::size_t HeadEnd(const std::string& bytes, std::size_t from) {
  for (std::size_t i = bytes.find('\n', from); i != std::string::npos; i = bytes.find('\n', i + 1)) {
    if (i + 1 < bytes.size() && bytes[i + 1] == '\n') return i + 2;
    if (i + 2 < bytes.size() && bytes[i + 1] == '\r' && bytes[i + 2] == '\n') return i + 3;
  }
  return std::string::npos;
}

// Where the next search for the head's end may start: the last '\n' whose
// empty line could still be completed by bytes yet to come (a '\n' at most
// two bytes from the end), else the end itself.
std::size_t ResumeAt(const std::string& bytes) {
  const std::size_t tail = bytes.size() < 2 ? 0 : bytes.size() - 2;
  const std::size_t last = bytes.find('\n', tail);
  return last == std::string::npos ? bytes.size() : last;
}

// The whole of `text` as a number in `base`; nullopt for anything else,
// an overflow included.
std::optional<std::uint64_t> Number(const std::string& text, int base) {
  std::uint64_t value = 0;
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value, base);
  if (text.empty() || error != std::errc() || stop != end) return std::nullopt;
  return value;
}

// "HTTP/1.x NNN reason"; false for anything else. The blank before the
// reason is written even when the reason is empty ("HTTP/1.1 200 "), but
// some servers leave both out, and the line arrives here with its trailing
// blanks trimmed anyway: "HTTP/1.1 200" reads as 200 with no reason, as
// browsers read it. What follows the code must still start with a blank,
// so "HTTP/1.1 2000" is no 200.
bool ParseStatusLine(const std::string& line, Head& head) {
  if (line.size() < 12 || line.compare(0, 7, "HTTP/1.") != 0 || line[8] != ' ') return false;
  const std::optional<std::uint64_t> code = Number(line.substr(9, 3), 10);
  if (!code || (line.size() > 12 && line[12] != ' ')) return false;
  head.status = static_cast<int>(*code);
  head.reason = line.size() > 13 ? ShownText(Trim(line.substr(13)), kLongestReason) : std::string();
  return head.status >= 100;
}

void ApplyHeader(const std::string& name, const std::string& value, Head& head) {
  if (name == "content-length") {
    // Lengths that disagree leave no way to know where the body ends.
    const std::optional<std::uint64_t> length = Number(value, 10);
    if (!length || (head.length && *head.length != *length)) Fail(kNotHttp);
    head.length = length;
  } else if (name == "transfer-encoding") {
    // Repeated fields are one list; the order against Content-Length must
    // not matter, so the framing is decided only once the head is complete.
    for (std::size_t start = 0; start <= value.size();) {
      const std::size_t comma = std::min(value.find(',', start), value.size());
      const std::string coding = Trim(base::Lower(value.substr(start, comma - start)));
      if (!coding.empty()) head.codings += (head.codings.empty() ? "" : ",") + coding;
      start = comma + 1;
    }
  } else if (name == "location") {
    head.location = value;
  } else if (name == "retry-after") {
    head.retryAfter = value;
  }
}

}  // namespace

std::string ShownText(const std::string& text, std::size_t longest) {
  std::string shown;
  for (const char c : text) {
    if (shown.size() == longest) return shown + "...";
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte != 0x7F) shown += c;
  }
  return shown;
}

void Connection::Send(const std::string& bytes) { m_transport->Send(bytes, net::MillisLeftOrTimeOut(m_deadline)); }

void Connection::Secure(const net::TlsUpgrade& upgrade, const std::string& host) {
  m_pending.clear();
  m_transport = upgrade(std::move(m_transport), host, net::MillisLeftOrTimeOut(m_deadline), net::TlsCheck::Strict);
  if (!m_transport) Fail("the TLS layer returned no connection");
  m_secured = true;
}

bool Connection::ReadMore() {
  if (m_closed) return false;
  char buffer[16384];
  std::size_t got = 0;
  try {
    got = m_transport->Receive(buffer, sizeof buffer, net::MillisLeftOrTimeOut(m_deadline));
  } catch (const net::TransportError& e) {
    // A reset may come from anyone on the path, at any byte: never an end.
    // Before a status line it is no answer, as a close would be: a peer that
    // closed at once resets the request that reaches it afterwards.
    if (e.kind() == net::TransportError::Kind::Reset) Fail(m_readingHead && !StatusLineArrived() ? kNoAnswer : kReset);
    if (!e.IsClosed()) throw;
    m_closed = true;
    m_endedCleanly = e.kind() == net::TransportError::Kind::Ended;
    return false;
  }
  m_pending.append(buffer, got);
  return true;
}

std::optional<std::string> Connection::TakeLine(std::size_t longest) {
  for (std::size_t searched = 0;;) {
    const std::size_t end = m_pending.find('\n', searched);
    if (end != std::string::npos) {
      std::string line = m_pending.substr(0, end);
      m_pending.erase(0, end + 1);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      return line;
    }
    if (m_pending.size() > longest) Fail(kNotHttp);
    searched = m_pending.size();
    if (!ReadMore()) return std::nullopt;
  }
}

bool Connection::StatusLineArrived() const {
  Head partial;
  const std::size_t lineEnd = m_pending.find('\n');
  return lineEnd != std::string::npos && ParseStatusLine(Trim(m_pending.substr(0, lineEnd)), partial);
}

Head Connection::ReadHead() {
  for (int interim = 0;; ++interim) {
    if (interim > kMostInterimAnswers)
      Fail("the server sent more than " + std::to_string(kMostInterimAnswers) + " interim answers and no final one");
    std::size_t end;
    std::size_t from = 0;
    while ((end = HeadEnd(m_pending, from)) == std::string::npos) {
      if (m_pending.size() > kLongestHead) Fail(kNotHttp);
      from = ResumeAt(m_pending);
      m_readingHead = true;
      const bool more = ReadMore();
      m_readingHead = false;
      // What decides the words is what arrived: not even a status line is
      // no answer at all, whatever the system called the close.
      if (!more) Fail(StatusLineArrived() ? kClosedMidAnswer : kNoAnswer);
    }
    const std::string text = m_pending.substr(0, end);
    m_pending.erase(0, end);
    Head head;
    std::size_t at = text.find('\n');
    if (!ParseStatusLine(Trim(text.substr(0, at)), head)) Fail(kNotHttp);
    while (at != std::string::npos && at + 1 < text.size()) {
      const std::size_t next = text.find('\n', at + 1);
      const std::string line = text.substr(at + 1, next == std::string::npos ? std::string::npos : next - at - 1);
      at = next;
      const std::size_t colon = line.find(':');
      if (colon == std::string::npos || colon == 0) continue;  // folded or broken lines carry nothing we use
      ApplyHeader(base::Lower(Trim(line.substr(0, colon))), Trim(line.substr(colon + 1)), head);
    }
    // 1xx answers come before the real one and carry no body.
    if (head.status >= 200) return head;
  }
}

std::string Connection::ReadBody(const Head& head, const Limits& limits, bool noBody) {
  if (noBody || head.status == 204 || head.status == 304) return {};
  // We ask for no coding, so anything but plain chunking is a body we could
  // not read, and its end could not be found either.
  if (!head.codings.empty()) {
    if (head.codings != "chunked") Fail("the server sent the answer in a transfer coding this program cannot read");
    return ReadChunked(limits);
  }
  if (head.length) return ReadLength(*head.length, limits);
  return ReadUntilClose(limits);
}

std::string Connection::ReadLength(std::uint64_t length, const Limits& limits) {
  // A page that announces more than it may have is refused before any of it
  // is read; a call's answer is read up to what it may have.
  if (length > limits.maxBody && limits.refuseLarger) TooLarge();
  const std::size_t wanted = length > limits.maxBody ? limits.maxBody : static_cast<std::size_t>(length);
  while (m_pending.size() < wanted)
    if (!ReadMore()) Fail(kClosedMidAnswer);
  return m_pending.substr(0, wanted);
}

std::string Connection::ReadUntilClose(const Limits& limits) {
  // The cap holds for what came with the head as much as for what follows.
  do {
    if (m_pending.size() <= limits.maxBody) continue;
    if (limits.refuseLarger) TooLarge();
    return m_pending.substr(0, limits.maxBody);
  } while (ReadMore());
  // Over TLS a body that ends with the connection is whole only when the
  // server said goodbye; a bare close may be anyone on the path cutting it.
  if (m_secured && !m_endedCleanly) Fail(kClosedMidAnswer);
  return std::move(m_pending);
}

std::string Connection::ReadChunked(const Limits& limits) {
  std::string body;
  for (;;) {
    const std::optional<std::string> sizeLine = TakeLine(kLongestLine);
    if (!sizeLine) Fail(kClosedMidAnswer);
    const std::string digits = Trim(sizeLine->substr(0, sizeLine->find(';')));
    const std::optional<std::uint64_t> parsed = digits.size() <= 15 ? Number(digits, 16) : std::nullopt;
    if (!parsed) Fail(kNotHttp);
    const std::uint64_t size = *parsed;
    if (size == 0) {
      // The last chunk, then trailers up to an empty line: only then is the body whole.
      for (;;) {
        const std::optional<std::string> trailer = TakeLine(kLongestLine);
        if (!trailer) Fail(kClosedMidAnswer);
        if (trailer->empty()) return body;
      }
    }
    const bool overflows = body.size() + size > limits.maxBody;
    if (overflows && limits.refuseLarger) TooLarge();
    const std::size_t take = overflows ? limits.maxBody - body.size() : static_cast<std::size_t>(size);
    while (m_pending.size() < take)
      if (!ReadMore()) Fail(kClosedMidAnswer);
    body.append(m_pending, 0, take);
    m_pending.erase(0, take);
    if (overflows) return body;
    const std::optional<std::string> end = TakeLine(2);
    if (!end) Fail(kClosedMidAnswer);
    if (!end->empty()) Fail(kNotHttp);
  }
}

}  // namespace http
