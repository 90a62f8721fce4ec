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

// Empty when the system refuses to protect the text.
std::vector<unsigned char> ProtectValue(const std::string& name, const std::string& plain);

// Readable or Unreadable: the bytes as stored under `name`.
ProtectedRead UnprotectValue(const std::string& name, const std::vector<unsigned char>& blob);

// Value `name` of the open key.
ProtectedRead ReadProtectedValue(CRegistry& registry, const std::string& name);

// Stores `plain` under `name` in its own protected form; an empty text
// removes the value, except one that is there but cannot be read: that is
// kept for the account that can, and only a new text replaces it. Returns
// false with `failure` saying what went wrong.
bool WriteProtectedValue(CRegistry& registry, const std::string& name, const std::string& plain, std::string& failure);

}  // namespace settings
