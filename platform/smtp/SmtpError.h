#pragma once
// The one error a send can end with. Its text is meant for the user: it says
// which step failed and, where there is one, quotes the server's own reply.
#include <stdexcept>
#include <string>

namespace smtp {

enum class Stage {
  Input,           // refused before any connection was made
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
      : std::runtime_error(text), stage_(stage), replyCode_(replyCode) {}
  Stage stage() const { return stage_; }
  // The server's reply code when the server refused something, else 0.
  int replyCode() const { return replyCode_; }

 private:
  Stage stage_;
  int replyCode_;
};

// What a transport throws. The dialogue turns it into a SendError that names
// the step it was in.
class TransportError : public std::runtime_error {
 public:
  enum class Kind { Failed, TimedOut, Closed };
  TransportError(Kind kind, const std::string& text) : std::runtime_error(text), kind_(kind) {}
  Kind kind() const { return kind_; }

 private:
  Kind kind_;
};

}  // namespace smtp
