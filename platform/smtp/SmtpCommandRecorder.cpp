#include "smtp/SmtpCommandRecorder.h"

#include <algorithm>

namespace smtp {

void CommandRecorder::Secure(const net::TlsUpgrade& secure, const std::string& host, int timeoutMs,
                             net::TlsCheck check) {
  m_inner = secure(std::move(m_inner), host, timeoutMs, check);
}

void CommandRecorder::Record(std::string_view bytes) {
  if (bytes.size() < 2 || bytes.find("\r\n") != bytes.size() - 2) return;  // not a single line
  std::string_view line = bytes.substr(0, bytes.size() - 2);
  std::string_view verb = line.substr(0, line.find(' '));
  static constexpr std::string_view kCommands[] = {"EHLO", "HELO", "STARTTLS", "MAIL", "RCPT",
                                                   "DATA", "QUIT", "RSET",     "USER"};
  std::string& last = m_recorded.last;
  if (verb == "QUIT") m_recorded.beforeQuit = last;
  if (verb == "AUTH") {
    std::string_view rest = line.substr(std::min(line.size(), verb.size() + 1));
    last = "AUTH " + std::string(rest.substr(0, rest.find(' ')));
  } else if (verb == "PASS") {
    last = "PASS";
  } else {
    for (auto command : kCommands) {
      if (verb == command) last = std::string(line);
    }
  }
}

}  // namespace smtp
