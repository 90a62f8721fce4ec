#pragma once
// Conversions at the one boundary that needs UTF-16 (the hosted controls).
// Everything else in the program is single-byte text in the ANSI code page.
// The base layer's Windows helpers live in `win`, below the dialog
// framework (`fw`), which builds on them.
#include <string>

namespace win {

// Both ways through the system's ANSI code page (see Text.cpp for why).
std::wstring AnsiToWide(const std::string& text);
// Characters the code page lacks become its default character.
std::string WideToAnsi(const std::wstring& text);
// What other programs and services read: ANSI text as UTF-8.
std::string AnsiToUtf8(const std::string& text);

}  // namespace win
