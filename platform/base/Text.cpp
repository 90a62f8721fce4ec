#include "base/Text.h"

#include <windows.h>

namespace win {

namespace {
// The system's page, not the thread's (CP_THREAD_ACP): every other text the
// program holds reached it through the A functions (window texts, registry
// values, the fetched page cut with IsDBCSLeadByte), and those use the
// system's page whatever the thread's locale says. One page for all keeps a
// byte string the same characters on every path to UTF-16.
constexpr UINT kAnsiCodePage = CP_ACP;
}  // namespace

std::wstring AnsiToWide(const std::string& text) {
  if (text.empty()) return {};
  const int n = MultiByteToWideChar(kAnsiCodePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(kAnsiCodePage, 0, text.data(), static_cast<int>(text.size()), wide.data(), n);
  return wide;
}

namespace {

std::string Narrow(const std::wstring& text, UINT codePage) {
  if (text.empty()) return {};
  const int n =
      WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string narrow(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), narrow.data(), n, nullptr, nullptr);
  return narrow;
}

}  // namespace

std::string WideToAnsi(const std::wstring& text) { return Narrow(text, kAnsiCodePage); }

std::string AnsiToUtf8(const std::string& text) { return Narrow(AnsiToWide(text), CP_UTF8); }

}  // namespace win
