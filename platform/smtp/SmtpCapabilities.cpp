#include "smtp/SmtpCapabilities.h"

#include <cctype>
#include <vector>

#include "smtp/SmtpReply.h"

namespace smtp {

namespace {

std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

// Split on the same blanks a stream read would skip; a string stream here
// would link the whole locale machinery into the program for one loop.
std::vector<std::string> Words(const std::string& line) {
  std::vector<std::string> words;
  std::size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && std::isspace(static_cast<unsigned char>(line[i]))) ++i;
    const std::size_t start = i;
    while (i < line.size() && !std::isspace(static_cast<unsigned char>(line[i]))) ++i;
    if (i > start) words.push_back(line.substr(start, i - start));
  }
  return words;
}

}  // namespace

Capabilities ParseCapabilities(const Reply& reply) {
  Capabilities caps;
  caps.extended = true;
  for (std::size_t i = 1; i < reply.lines.size(); ++i) {
    std::vector<std::string> words = Words(reply.lines[i]);
    if (words.empty()) continue;
    std::string keyword = Upper(words[0]);
    std::size_t firstParam = 1;
    if (keyword.rfind("AUTH=", 0) == 0) {
      words[0] = keyword.substr(5);
      keyword = "AUTH";
      firstParam = 0;
    }
    if (keyword == "STARTTLS") {
      caps.startTls = true;
    } else if (keyword == "SIZE") {
      caps.size = true;
      if (words.size() > 1) {
        std::uint64_t limit = 0;
        bool ok = !words[1].empty() && words[1].size() < 19;
        for (char c : words[1]) {
          if (c < '0' || c > '9')
            ok = false;
          else
            limit = limit * 10 + static_cast<unsigned>(c - '0');
        }
        if (ok) caps.sizeLimit = limit;
      }
    } else if (keyword == "AUTH") {
      for (std::size_t w = firstParam; w < words.size(); ++w) {
        if (!words[w].empty()) caps.authMechs.insert(Upper(words[w]));
      }
    }
  }
  return caps;
}

}  // namespace smtp
