#include "settings/UnreadableNotice.h"

#include "settings/SettingsLayout.h"

namespace settings {

std::string ProtectedSettingLabel(const std::string& valueName) {
  if (valueName == kProtectedPassword) return "the mail password";
  if (valueName == kWebUrl) return "the web notification's address";
  if (valueName == kWebBody) return "the web notification's body";
  if (valueName == kWebTargetList) return "the web notifications";
  if (valueName == kWebTargetCount) return "the number of web notifications";
  for (int number = 1; number <= kMostWebTargets; ++number) {
    for (const char* part : {kWebTargetUrl, kWebTargetHeaders, kWebTargetBody}) {
      if (valueName == WebTargetValue(number, part))
        return "web notification " + std::to_string(number) + "'s " +
               (part == kWebTargetUrl       ? "address"
                : part == kWebTargetHeaders ? "headers"
                                            : "body");
    }
  }
  return valueName;
}

std::string UnreadableNotice::Take(const std::vector<std::string>& valueNames) {
  std::vector<std::string> fresh;
  for (const std::string& name : valueNames)
    if (m_told.insert(name).second) fresh.push_back(name);
  if (fresh.empty()) return {};
  std::string text = "Corvane cannot read these saved settings:\n";
  for (const std::string& name : fresh) text += "\n- " + ProtectedSettingLabel(name) + " (" + name + ")";
  // Left as they are, they still work for the account that saved them.
  text +=
      "\n\nThey were saved protected for another Windows account or computer, or they are damaged. "
      "Until they are typed again in the settings, Corvane goes on without them; the stored values are left "
      "as they are.";
  return text;
}

}  // namespace settings
