#pragma once
// Every point of a send where something can go wrong, with the stage a
// failure there is reported as and the wait a time-out there is named after.
// The dialogues only say which step they are at; what that means for the
// user's text is decided here, once.
#include <cstddef>

#include "smtp/SmtpError.h"

namespace smtp {

enum class Step {
  Connect,
  TlsHandshake,
  // SMTP
  Greeting,
  Ehlo,
  Helo,
  StartTls,
  AuthPlain,
  AuthLogin,
  AuthUserName,
  AuthPassword,
  MessageSize,
  MailFrom,
  RcptTo,
  Data,
  MessageEnd,
  // POP-before-SMTP
  Pop3Greeting,
  Pop3Capa,
  Pop3Stls,
  Pop3User,
  Pop3Pass,
};

struct StepName {
  Step step;
  Stage stage;
  const char* waitingFor;  // e.g. "the reply to RCPT TO"
};

inline constexpr StepName kStepNames[] = {
    {Step::Connect, Stage::Connect, "the connection"},
    {Step::TlsHandshake, Stage::Tls, "the TLS handshake"},
    {Step::Greeting, Stage::Greeting, "the greeting"},
    {Step::Ehlo, Stage::Hello, "the reply to EHLO"},
    {Step::Helo, Stage::Hello, "the reply to HELO"},
    {Step::StartTls, Stage::Tls, "the reply to STARTTLS"},
    {Step::AuthPlain, Stage::Authentication, "the reply to AUTH PLAIN"},
    {Step::AuthLogin, Stage::Authentication, "the reply to AUTH LOGIN"},
    {Step::AuthUserName, Stage::Authentication, "the reply to the user name"},
    {Step::AuthPassword, Stage::Authentication, "the reply to the password"},
    {Step::MessageSize, Stage::Message, "the message size"},
    {Step::MailFrom, Stage::Sender, "the reply to MAIL FROM"},
    {Step::RcptTo, Stage::Recipient, "the reply to RCPT TO"},
    {Step::Data, Stage::Message, "the reply to DATA"},
    {Step::MessageEnd, Stage::Message, "the reply after the message was sent; it may have been delivered"},
    {Step::Pop3Greeting, Stage::Authentication, "the POP3 greeting"},
    {Step::Pop3Capa, Stage::Authentication, "the reply to CAPA"},
    {Step::Pop3Stls, Stage::Authentication, "the reply to STLS"},
    {Step::Pop3User, Stage::Authentication, "the reply to USER"},
    {Step::Pop3Pass, Stage::Authentication, "the reply to PASS"},
};

constexpr const StepName& NameOf(Step step) { return kStepNames[static_cast<std::size_t>(step)]; }

// The table is read by position: a step added out of order would borrow its
// neighbour's name.
constexpr bool InStepOrder() {
  for (std::size_t i = 0; i < sizeof kStepNames / sizeof kStepNames[0]; ++i) {
    if (static_cast<std::size_t>(kStepNames[i].step) != i) return false;
  }
  return true;
}
static_assert(InStepOrder() && NameOf(Step::Pop3Pass).step == Step::Pop3Pass, "kStepNames follows Step");

}  // namespace smtp
