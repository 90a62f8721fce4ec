#pragma once
// Remembers the last command the dialogue sent, for the mail control's
// `lastsmtpcommand`. Only known command words count, so message text never
// lands there, and the secrets of AUTH and POP3 PASS are left out.
#include <memory>
#include <string>
#include <string_view>

#include "net/Transport.h"

namespace smtp {

class CommandRecorder final : public net::Transport {
 public:
  CommandRecorder(std::unique_ptr<net::Transport> inner, std::string& last) : m_inner(std::move(inner)), m_last(last) {}
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
  std::string& m_last;
};

}  // namespace smtp
