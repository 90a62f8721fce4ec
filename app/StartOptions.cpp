#include "app/StartOptions.h"

#include <cctype>
#include <string_view>

#include "base/AsciiText.h"

namespace app {
namespace {

// The words of a command line; a quoted stretch (the program's path often
// holds blanks) stays one word.
std::string NextWord(const std::string& line, size_t& at) {
  while (at < line.size() && std::isspace(static_cast<unsigned char>(line[at]))) ++at;
  std::string word;
  bool quoted = false;
  for (; at < line.size(); ++at) {
    const char c = line[at];
    if (c == '"') {
      quoted = !quoted;
    } else if (!quoted && std::isspace(static_cast<unsigned char>(c))) {
      break;
    } else {
      word += c;
    }
  }
  return word;
}

bool IsSwitch(const std::string& word, const char* name) {
  if (word.size() < 2 || (word[0] != '/' && word[0] != '-')) return false;
  return base::SameLetters(std::string_view(word).substr(1), name);
}

}  // namespace

StartOptions ParseCommandLine(const std::string& commandLine) {
  StartOptions options;
  size_t at = 0;
  NextWord(commandLine, at);  // the program itself
  while (at < commandLine.size()) {
    const std::string word = NextWord(commandLine, at);
    if (IsSwitch(word, "tray")) options.inTray = true;
  }
  return options;
}

}  // namespace app
