#pragma once
// Telling the user that a protected setting is there but cannot be read:
// once per run for each, however often the settings are read again, and in
// words that name the setting rather than the registry value.
#include <set>
#include <string>
#include <vector>

namespace settings {

// The setting a protected value holds, as the user knows it; the value's
// own name for one this list does not know.
std::string ProtectedSettingLabel(const std::string& valueName);

class UnreadableNotice {
 public:
  // The text of one box for the values among `valueNames` not told about
  // before; empty when there is none.
  std::string Take(const std::vector<std::string>& valueNames);

 private:
  std::set<std::string> m_told;
};

}  // namespace settings
