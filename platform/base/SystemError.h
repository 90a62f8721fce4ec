#pragma once
// The system's words for an error code, for reports a user may have to
// look up or pass on: always with the code, since the words alone can be
// vague or missing.
#include <string>
#include <string_view>

#include <windows.h>

namespace win {

// "No such host is known (error 11001)"; codes with the top bit set are
// HRESULTs and show in hex ("... (error 0x80090325)"). The words come without
// a closing full stop, to read inside a sentence. An HRESULT that wraps a
// Win32 code the system has no words for takes that code's. Where there are
// none at all, `otherwise` stands in for them; left empty, so is the result,
// for a caller that has its own text for that case.
std::string SystemErrorText(DWORD code, std::string_view otherwise = {});

// Words of the caller's own with the code written the same way:
// "the server did not answer in time (error 12002)".
std::string WithErrorCode(std::string_view words, DWORD code);

}  // namespace win
