#pragma once
// Remembers the last command the dialogue sent, for the mail control's
// `lastsmtpcommand`. Only known command words count, so message text never
// lands there, and the secrets of AUTH and POP3 PASS are left out.
//
// A failed send ends with QUIT too; the command before it is kept, as that
// is the one the send stopped at.
#include <memory>
#include <string>
#include <string_view>

#include "net/Transport.h"

namespace smtp {

struct RecordedCommands {
  std::string last;
  std::string beforeQuit;
};

class CommandRecorder final : public net::Transport {
 public:
  CommandRecorder(std::unique_ptr<net::Transport> inner, RecordedCommands& recorded)
      : m_inner(std::move(inner)), m_recorded(recorded) {}
  void Connect(const std::string& host, int port, int timeoutMs) override { m_inner->Connect(host, port, timeoutMs); }
  void Send(std::string_view bytes, int timeoutMs) override {
    Record(bytes);
    m_inner->Send(bytes, timeoutMs);
  }
  std::size_t Receive(char* buffer, std::size_t capacity, int timeoutMs) override {
    return m_inner->Receive(buffer, capacity, timeoutMs);
  }
  void Close() noexcept override { m_inner->Close(); }
  std::string LocalHostName() override { return m_inner->LocalHostName(); }
  bool PeerIsLoopback() const override { return m_inner->PeerIsLoopback(); }

  // TLS goes underneath the recorder, so the commands sent after STARTTLS are
  // still recorded as commands rather than seen as encrypted records.
  void Secure(const net::TlsUpgrade& secure, const std::string& host, int timeoutMs, net::TlsCheck check);

 private:
  void Record(std::string_view bytes);

  std::unique_ptr<net::Transport> m_inner;
  RecordedCommands& m_recorded;
};

}  // namespace smtp
