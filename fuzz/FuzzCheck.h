#pragma once
// An invariant that must hold for every input. It aborts rather than throws:
// the fuzzer reports an abort as a crash with the input that caused it, and
// the replay runner, built without sanitizers, fails the same way.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#define FUZZ_CHECK(cond)                                                                \
  do {                                                                                  \
    if (!(cond)) {                                                                      \
      std::fprintf(stderr, "%s:%d: invariant failed: %s\n", __FILE__, __LINE__, #cond); \
      std::abort();                                                                     \
    }                                                                                   \
  } while (0)

namespace fuzz {

// Reads the input front to back; running out gives zeros and empty texts,
// so every input, however short, drives the target somewhere.
class Input {
 public:
  Input(const std::uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}

  std::uint8_t Byte() { return m_pos < m_size ? m_data[m_pos++] : 0; }
  std::uint16_t U16() {
    const unsigned low = Byte();  // two statements: the order of reads must not depend on the compiler
    return static_cast<std::uint16_t>(low | (Byte() << 8));
  }
  // Up to the next `separator` (dropped) or the end.
  std::string Field(char separator) {
    std::string out;
    while (m_pos < m_size) {
      const char c = static_cast<char>(m_data[m_pos++]);
      if (c == separator) break;
      out += c;
    }
    return out;
  }
  std::string Rest() {
    std::string out(reinterpret_cast<const char*>(m_data + m_pos), m_size - m_pos);
    m_pos = m_size;
    return out;
  }
  bool Empty() const { return m_pos >= m_size; }
  std::size_t Left() const { return m_size - m_pos; }

 private:
  const std::uint8_t* m_data;
  std::size_t m_size;
  std::size_t m_pos = 0;
};

}  // namespace fuzz
