#pragma once
// Values kept in Windows' data protection for the current user: the bytes
// in the registry are useless to other accounts and to anyone holding a copy
// of the key, and, being binary, pass through any ANSI code page unchanged.
// Each value is protected with entropy of its own, derived from its name,
// so a blob copied from one value into another does not read there.
#include <string>
#include <vector>

class CRegistry;

namespace settings {

struct ProtectedRead {
  enum class State {
    Absent,      // no such value: nothing was ever saved, or it was cleared
    Readable,    // `plain` holds it
    Unreadable,  // present, but not this user's for this name (damaged, another account's, restored)
  };
  State state = State::Absent;
  std::string plain;
  // Protected in the form earlier versions wrote, shared by every value; the
  // next write stores it in the value's own.
  bool sharedForm = false;
};

// What a protected value may take as stored, unless its reader and writer
// say otherwise: the store's usual limit for binary values.
inline constexpr unsigned kLongestProtected = 4096;

// Empty when the system refuses to protect the text.
std::vector<unsigned char> ProtectValue(const std::string& name, const std::string& plain);

// Readable or Unreadable: the bytes as stored under `name`.
ProtectedRead UnprotectValue(const std::string& name, const std::vector<unsigned char>& blob);

// Value `name` of the open key, of at most `longest` bytes as stored.
ProtectedRead ReadProtectedValue(CRegistry& registry, const std::string& name, unsigned longest = kLongestProtected);

// Stores `plain` under `name` in its own protected form; an empty text
// removes the value, except one that is there but cannot be read: that is
// kept for the account that can, and only a new text replaces it. Returns
// false with `failure` saying what went wrong. The stored form may be
// `longest` bytes at most.
bool WriteProtectedValue(CRegistry& registry, const std::string& name, const std::string& plain, std::string& failure,
                         unsigned longest = kLongestProtected);

}  // namespace settings
