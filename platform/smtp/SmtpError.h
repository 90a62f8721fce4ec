#pragma once
// The one error a send can end with. Its text is meant for the user: it says
// which step failed and, where there is one, quotes the server's own reply.
#include <stdexcept>
#include <string>

namespace smtp {

enum class Stage {
  Input,  // refused before any connection was made
  Connect,
  Greeting,
  Hello,
  Tls,
  Authentication,
  Sender,
  Recipient,
  Message,
};

class SendError : public std::runtime_error {
 public:
  SendError(Stage stage, const std::string& text, int replyCode = 0)
      : std::runtime_error(text), m_stage(stage), m_replyCode(replyCode) {}
  Stage stage() const { return m_stage; }
  // The server's reply code when the server refused something, else 0.
  int replyCode() const { return m_replyCode; }

 private:
  Stage m_stage;
  int m_replyCode;
};

}  // namespace smtp
