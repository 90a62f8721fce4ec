#pragma once
// Conversions at the one boundary that needs UTF-16 (the hosted controls).
// Everything else in the program is single-byte text in the ANSI code page.
#include <string>

namespace fw {

// Both ways through the system's ANSI code page (see Text.cpp for why).
std::wstring AnsiToWide(const std::string& text);
// Characters the code page lacks become its default character.
std::string WideToAnsi(const std::wstring& text);
// What other programs and services read: ANSI text as UTF-8.
std::string AnsiToUtf8(const std::string& text);

}  // namespace fw
