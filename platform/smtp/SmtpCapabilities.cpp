#include "SmtpCapabilities.h"

#include <cctype>
#include <sstream>
#include <vector>

#include "SmtpReply.h"

namespace smtp {

namespace {

std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

std::vector<std::string> Words(const std::string& line) {
  std::istringstream in(line);
  std::vector<std::string> words;
  for (std::string w; in >> w;) words.push_back(w);
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
          if (c < '0' || c > '9') ok = false;
          else limit = limit * 10 + static_cast<unsigned>(c - '0');
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
