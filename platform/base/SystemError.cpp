#include "base/SystemError.h"

#include "base/AsciiText.h"

namespace win {

namespace {

std::string MessageFor(DWORD code) {
  const DWORD flags = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM;
  char* buffer = nullptr;
  const DWORD n = FormatMessageA(flags, nullptr, code, 0, reinterpret_cast<char*>(&buffer), 0, nullptr);
  std::string text = n && buffer ? std::string(buffer, n) : std::string();
  LocalFree(buffer);
  while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' ' || text.back() == '.'))
    text.pop_back();
  return text;
}

// Spelled out rather than printed: a printf links the runtime's whole
// formatter into the program for one number.
std::string CodeText(DWORD code) {
  if (code < 0x80000000u) return std::to_string(code);
  std::string hex = "0x00000000";
  for (int i = 0; i < 8; ++i) hex[9 - i] = base::HexDigit(code >> (4 * i));
  return hex;
}

}  // namespace

std::string SystemErrorText(DWORD code, std::string_view otherwise) {
  std::string words = MessageFor(code);
  // Not every system has texts for wrapped Win32 codes; the code's own text says the same.
  const auto result = static_cast<HRESULT>(code);
  if (words.empty() && HRESULT_FACILITY(result) == FACILITY_WIN32)
    words = MessageFor(static_cast<DWORD>(HRESULT_CODE(result)));
  if (words.empty()) words = otherwise;
  return words.empty() ? words : WithErrorCode(words, code);
}

std::string WithErrorCode(std::string_view words, DWORD code) {
  return std::string(words) + " (error " + CodeText(code) + ")";
}

}  // namespace win
