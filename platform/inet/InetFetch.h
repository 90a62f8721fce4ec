#pragma once
// The synchronous WinINet fetch behind the control's OpenURL.
#include <string>

#include <windows.h>
#include <wininet.h>

#include "Handles.h"

namespace inet {

using OwnedInternet = fw::Owned<HINTERNET, fw::HandleKind::Internet, &InternetCloseHandle>;

// Fetches an http or https URL, following redirects, and returns the whole
// body read through the ANSI code page (every byte, NULs included, becomes
// its code page character). Nothing takes longer than timeoutMs in all.
// Throws InetError with the text for the user.
std::wstring FetchPage(const std::wstring& url, DWORD timeoutMs);

}  // namespace inet
