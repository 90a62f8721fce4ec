#include "StoredSettings.h"

#include "NumberText.h"
#include "Registry.h"

namespace settings {

void ReadMailSettings(CRegistry& registry, MailSettings& mail) {
  registry.ReadValue("SMTPServer", mail.server);
  registry.ReadValue("SMTPUsername", mail.username);
  registry.ReadValue("SMTPPassword", mail.password);
  registry.ReadValue("SMTPAuth", mail.auth);
  registry.ReadValue("SMTPTo", mail.to);
  registry.ReadValue("SMTPFrom", mail.from);
}

StartupSettings LoadStartupSettings() {
  StartupSettings result;
  CRegistry registry;
  registry.OpenKey(kRoot, kKeyPath, 0);
  // Only a missing Version means a first run. One that exists but cannot be
  // read (longer than a value may be) must not have every setting the user
  // saved overwritten by the defaults.
  if (!registry.HasValue("Version")) {
    result.firstRun = true;
    registry.WriteValue("Version", "1.0");
    for (const char* name : {"SMTPServer", "SMTPUsername", "SMTPPassword", "SMTPTo", "SMTPFrom"})
      registry.WriteValue(name, kNotSet);
    registry.WriteValue("SMTPAuth", "2");
    registry.WriteValue("Link", kDefaultLink);
    registry.WriteValue("Timer", std::to_string(kDefaultIntervalMs));
    result.link = kDefaultLink;
    result.intervalMs = kDefaultIntervalMs;
  } else {
    ReadMailSettings(registry, result.mail);
    registry.ReadValue("Link", result.link);
    std::string timer;
    registry.ReadValue("Timer", timer);
    result.intervalMs = IntervalFromText(timer);
  }
  registry.CloseKey();
  return result;
}

}  // namespace settings
