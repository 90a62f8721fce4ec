#pragma once
// The synchronous fetch behind the control's OpenURL.
#include <string>

#include <windows.h>

namespace inet {

// Fetches an http or https URL through the user's network settings,
// following redirects, and returns the whole body read through the ANSI code
// page (every byte, NULs included, becomes its code page character). Nothing
// takes longer than timeoutMs in all, the last close included. Throws
// InetError with the text for the user.
std::wstring FetchPage(const std::wstring& url, DWORD timeoutMs);

}  // namespace inet
