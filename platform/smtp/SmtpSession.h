#pragma once
// One connection of a send, SMTP or POP3: the transport, the bytes received
// but not yet read, the TLS upgrade, where in its dialogue it is, and how it
// ends. Used by the SMTP dialogue and the POP3 login, not by the program.
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "net/Deadline.h"
#include "net/Transport.h"
#include "smtp/SmtpError.h"
#include "smtp/SmtpReply.h"
#include "smtp/SmtpStep.h"

namespace smtp {

// Octets in one command line, CRLF included.
inline constexpr std::size_t kMaxCommand = 512;

enum class Dialect { Smtp, Pop3 };

// A server of the send as its texts name it: the mail server, or the POP3
// server that POP-before-SMTP logs in to first.
struct Server {
  std::string kind;  // "" or "the POP3 server "
  std::string host;
  int port;
  std::string tlsCommand;  // how it upgrades: STARTTLS or STLS
  std::string betterPort;  // what to type instead when it offers no encryption
};

// Every wait is bounded twice: by the step's own time-out and by what is left
// of the whole send, so a server that answers each step just in time cannot
// hold the send for minutes.
class Session {
 public:
  // `secrets`: every form the login takes on the wire; a server text that
  // repeats one is never quoted.
  Session(std::unique_ptr<net::Transport> transport, Dialect dialect, int timeoutMs,
          net::Clock::time_point wholeDeadline, std::vector<std::string> secrets);
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // Runs the dialogue and ends the session with QUIT on every path on which
  // the server greeted and the connection is still in step: after success,
  // and after a refusal, the server's or ours. After a time-out or a garbled
  // reply the two sides no longer agree on what answers what, and after a
  // TLS attempt nothing may go in clear: the connection is just closed. What
  // the transport or a garbled reply throws becomes the one SendError a send
  // ends with, named after the step reached.
  template <typename Dialogue>
  void Run(Dialogue&& dialogue) {
    try {
      dialogue();
    } catch (const net::TransportError& e) {
      Abandon();
      throw SendError(stage(), TransportFailureText(e));
    } catch (const MalformedReply& e) {
      Abandon();
      throw SendError(stage(), GarbledReplyText(e));
    } catch (const SendError&) {
      QuitQuietly(After::Refusal);
      throw;
    }
    QuitQuietly(After::Success);
  }

  void At(Step step) { m_step = step; }
  Stage stage() const { return NameOf(m_step).stage; }

  void Connect(const std::string& host, int port);
  void Write(std::string_view bytes);
  // Only the verb is ever quoted: the rest may be a password.
  void Command(const std::string& line);
  // The whole reply must arrive within the time-out, however slowly it trickles in.
  Reply ReadReply();
  // POP3 answers one line: "+OK ..." or "-ERR ...".
  std::string ReadLine();
  Reply Exchange(const std::string& line);

  void UpgradeToTls(const net::TlsUpgrade& upgrade, const std::string& host, net::TlsCheck check);
  // Nothing more may be sent: the connection is out of step or half secured.
  void Abandon();
  bool secured() const { return m_secured; }
  // Typed as this machine and connected to it: only then may a secret go in clear.
  bool ReachesLoopback(const std::string& host) const;

  [[noreturn]] void Fail(const std::string& text, int replyCode = 0) const;
  // "what: 550 the server's text", the text left out when it repeats a
  // secret that `what` does not already show.
  [[noreturn]] void Refuse(const std::string& what, const Reply& reply) const;
  // A server's text as it may be shown: whole, or only its first word (the
  // code or "-ERR") when it repeats the login, or nothing of it when that
  // word does.
  std::string Quote(const std::string& serverText, const std::string& shownAlready = "") const;

 private:
  // After a failure a server gets this long to answer QUIT: it has just
  // answered, and the user is waiting for the box.
  static constexpr int kQuitGraceMs = 1000;
  enum class After { Success, Refusal };

  // QUIT is a courtesy: nothing it does may change how the send ended.
  void QuitQuietly(After after);
  bool Repeats(const std::string& serverText, const std::string& shownAlready) const;
  std::string TransportFailureText(const net::TransportError& e) const;
  std::string GarbledReplyText(const MalformedReply& e) const;
  net::Clock::time_point StepDeadline() const;
  int StepMs() const { return net::MillisLeftOrTimeOut(StepDeadline()); }
  Reply ReadReplyBy(net::Clock::time_point deadline);
  std::string ReadLineBy(net::Clock::time_point deadline);
  void ReadMore(net::Clock::time_point deadline);

  std::unique_ptr<net::Transport> m_transport;
  Dialect m_dialect;
  int m_timeoutMs;
  net::Clock::time_point m_wholeDeadline;
  std::vector<std::string> m_secrets;
  Step m_step = Step::Connect;
  std::string m_pending;
  ReplyScan m_scan;
  bool m_secured = false;
  bool m_greeted = false;  // a reply or line has been read
};

// Connects, and secures the connection at once where TLS starts with the
// first byte; what is not secured now may be later, by the server's command.
void Open(Session& s, const Server& server, bool implicitTls, const net::TlsUpgrade& upgrade);

// The handshake, after the server agreed to STARTTLS or STLS, or at once for
// TLS from the first byte. Once TLS was tried there is no way back to plain
// text: a failure ends the send, with nothing more on the connection.
void Secure(Session& s, const Server& server, const net::TlsUpgrade& upgrade, net::TlsCheck check);

// A password goes in clear only to this machine itself.
void RequireEncryption(const Session& s, const Server& server);

}  // namespace smtp
