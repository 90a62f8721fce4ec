#include "base/Json.h"

#include "base/AsciiText.h"

namespace base {

namespace {

// A strict reader that only says whether the text is JSON; it builds nothing.
class JsonChecker {
 public:
  explicit JsonChecker(std::string_view text) : m_text(text) {}

  bool Whole() {
    SkipBlanks();
    if (!Value(0)) return false;
    SkipBlanks();
    return m_at == m_text.size();
  }

 private:
  static constexpr int kDeepest = 64;

  bool Value(int depth) {
    if (depth >= kDeepest || m_at >= m_text.size()) return false;
    switch (m_text[m_at]) {
      case '{':
        return Composite('}', depth, true);
      case '[':
        return Composite(']', depth, false);
      case '"':
        return String();
      case 't':
        return Word("true");
      case 'f':
        return Word("false");
      case 'n':
        return Word("null");
      default:
        return Number();
    }
  }

  bool Composite(char close, int depth, bool members) {
    ++m_at;
    SkipBlanks();
    if (Take(close)) return true;
    while (true) {
      if (members) {
        if (!String()) return false;
        SkipBlanks();
        if (!Take(':')) return false;
        SkipBlanks();
      }
      if (!Value(depth + 1)) return false;
      SkipBlanks();
      if (Take(close)) return true;
      if (!Take(',')) return false;
      SkipBlanks();
    }
  }

  bool String() {
    if (!Take('"')) return false;
    while (m_at < m_text.size()) {
      const auto c = static_cast<unsigned char>(m_text[m_at++]);
      if (c == '"') return true;
      if (c < 0x20) return false;
      if (c != '\\') continue;
      if (m_at >= m_text.size()) return false;
      const char escaped = m_text[m_at++];
      if (escaped == 'u') {
        for (int i = 0; i < 4; ++i)
          if (m_at >= m_text.size() || !IsHexDigit(m_text[m_at++])) return false;
      } else if (std::string_view("\"\\/bfnrt").find(escaped) == std::string_view::npos) {
        return false;
      }
    }
    return false;
  }

  // -?(0|[1-9][0-9]*)(\.[0-9]+)?([eE][+-]?[0-9]+)?
  bool Number() {
    Take('-');
    if (Take('0')) {
    } else if (!Digits()) {
      return false;
    }
    if (Take('.') && !Digits()) return false;
    if (Take('e') || Take('E')) {
      if (!Take('+')) Take('-');
      if (!Digits()) return false;
    }
    return true;
  }

  bool Digits() {
    const size_t begin = m_at;
    while (m_at < m_text.size() && m_text[m_at] >= '0' && m_text[m_at] <= '9') ++m_at;
    return m_at > begin;
  }

  bool Word(std::string_view word) {
    if (m_text.substr(m_at, word.size()) != word) return false;
    m_at += word.size();
    return true;
  }

  bool Take(char c) {
    if (m_at >= m_text.size() || m_text[m_at] != c) return false;
    ++m_at;
    return true;
  }

  void SkipBlanks() {
    while (m_at < m_text.size() && std::string_view(" \t\r\n").find(m_text[m_at]) != std::string_view::npos) ++m_at;
  }

  std::string_view m_text;
  size_t m_at = 0;
};

}  // namespace

bool IsJson(std::string_view text) { return JsonChecker(text).Whole(); }

std::string JsonEscape(std::string_view text) {
  std::string out;
  for (const char c : text) {
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          // By hand: a printf would bring the C library's whole formatter into the exe.
          out += "\\u00";
          out += HexDigit(static_cast<unsigned char>(c) >> 4);
          out += HexDigit(static_cast<unsigned char>(c));
        } else {
          out += c;
        }
    }
  }
  return out;
}

}  // namespace base
