#include "smtp/SmtpReply.h"

#include <algorithm>

namespace smtp {

std::string Reply::Describe() const {
  std::string text = std::to_string(code);
  for (const auto& line : lines) {
    if (!line.empty()) text += ' ' + line;
  }
  return text;
}

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

std::optional<Reply> TakeReply(std::string& buffer) {
  ReplyScan scan;
  return TakeReply(buffer, scan);
}

std::optional<Reply> TakeReply(std::string& buffer, ReplyScan& scan) {
  Reply& reply = scan.partial;
  std::size_t& pos = scan.parsed;
  for (;;) {
    std::size_t end = buffer.find('\n', std::max(pos, scan.searched));
    if (end == std::string::npos) {
      if (buffer.size() > kMaxReplyBytes) throw MalformedReply("the server's reply is too long");
      scan.searched = buffer.size();
      return std::nullopt;
    }
    if (end + 1 > kMaxReplyBytes) throw MalformedReply("the server's reply is too long");
    std::string line = buffer.substr(pos, end - pos);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    pos = end + 1;

    if (line.size() < 3 || !IsDigit(line[0]) || !IsDigit(line[1]) || !IsDigit(line[2]) || line[0] < '2' ||
        line[0] > '5' || (line.size() > 3 && line[3] != ' ' && line[3] != '-')) {
      throw MalformedReply("the server sent something that is not an SMTP reply: \"" + line.substr(0, 80) + "\"");
    }
    int code = (line[0] - '0') * 100 + (line[1] - '0') * 10 + (line[2] - '0');
    if (reply.lines.empty()) {
      reply.code = code;
    } else if (code != reply.code) {
      throw MalformedReply("the server's reply changes its code between lines");
    }
    reply.lines.push_back(line.size() > 4 ? line.substr(4) : std::string());
    if (line.size() == 3 || line[3] == ' ') {
      buffer.erase(0, pos);
      Reply done = std::move(reply);
      scan = ReplyScan{};
      return done;
    }
  }
}

}  // namespace smtp
