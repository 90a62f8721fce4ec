#pragma once
// The stored password's protected form: Windows' data protection for the
// current user, so the bytes in the registry are useless to other accounts
// and to anyone holding a copy of the key, and, being binary, pass through
// any ANSI code page unchanged.
#include <string>
#include <vector>

namespace settings {

// Empty when the system refuses to protect the text.
std::vector<unsigned char> ProtectPassword(const std::string& plain);

// False when the bytes were not protected by this user with our entropy
// (another account's, another machine's, or damaged).
bool UnprotectPassword(const std::vector<unsigned char>& blob, std::string& plain);

}  // namespace settings
