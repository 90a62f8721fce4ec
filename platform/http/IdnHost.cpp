#include "IdnHost.h"

#include <windows.h>

#include "WireUrl.h"

namespace http {

std::optional<std::string> IdnHost(const std::string& utf8Host) {
  const int length = static_cast<int>(utf8Host.size());
  const int wideLength = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8Host.data(), length, nullptr, 0);
  if (wideLength <= 0) return std::nullopt;
  std::wstring wide(static_cast<std::size_t>(wideLength), L'\0');
  MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8Host.data(), length, wide.data(), wideLength);
  // No flags: a name with characters that no registered name may hold is
  // refused rather than guessed at.
  const int asciiLength = IdnToAscii(0, wide.data(), wideLength, nullptr, 0);
  if (asciiLength <= 0) return std::nullopt;
  std::wstring ascii(static_cast<std::size_t>(asciiLength), L'\0');
  if (IdnToAscii(0, wide.data(), wideLength, ascii.data(), asciiLength) != asciiLength) return std::nullopt;
  std::string narrow;
  for (wchar_t c : ascii) {
    if (c >= 0x80) return std::nullopt;
    narrow += static_cast<char>(c);
  }
  return narrow;
}

std::optional<std::string> WireAddress(const std::string& utf8) { return WireUrl(utf8, IdnHost); }

}  // namespace http
