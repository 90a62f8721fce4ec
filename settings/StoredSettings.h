#pragma once
// The program's key and what start-up reads from it.
#include <string>

#include <windows.h>

class CRegistry;

namespace settings {

inline const HKEY kRoot = HKEY_CURRENT_USER;
inline constexpr char kKeyPath[] = "Software\\Orlimar\\Corvane";
// "Not set" for the five mail texts, compared exactly.
inline constexpr char kNotSet[] = "null";
// The project hosts no public echo page; users point Link at their own.
inline constexpr char kDefaultLink[] = "http://ip.corvane.example/ip.php";

struct MailSettings {
  std::string server, username, password /* stored (scrambled) form */, auth, to, from;
};

struct StartupSettings {
  bool firstRun = false;
  MailSettings mail;  // left empty on a first run
  std::string link;
  int intervalMs = 0;
};

// Opens (or creates) the key; on a first run (no Version) writes every
// default in order, otherwise reads every value. A value that cannot be read
// leaves its member as it was, and the interval is never zero.
StartupSettings LoadStartupSettings();

// Reads the six mail values in order; each one that cannot be read keeps
// the member's current text.
void ReadMailSettings(CRegistry& registry, MailSettings& mail);

}  // namespace settings
