#pragma once
// What the command line asks of a start.
#include <string>

namespace app {

struct StartOptions {
  bool inTray = false;  // /tray: start hidden, with only the notification-area icon
};

// Reads the program's whole command line (program name first, as the system
// hands it over). Switches take / or -, in any case; unknown words are ignored.
StartOptions ParseCommandLine(const std::string& commandLine);

}  // namespace app
