#include "app/StartOptions.h"

#include <cctype>

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
  size_t i = 1;
  for (; name[i - 1] && i < word.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(word[i])) != name[i - 1]) return false;
  return name[i - 1] == '\0' && i == word.size();
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
