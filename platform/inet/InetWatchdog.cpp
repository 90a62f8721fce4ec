#include "InetWatchdog.h"

#include <chrono>

namespace inet {

InetWatchdog::InetWatchdog(DWORD limitMs) {
  m_thread = std::thread([this, limitMs] {
    std::unique_lock lock(m_mutex);
    if (m_wake.wait_for(lock, std::chrono::milliseconds(limitMs), [this] { return m_stopped; })) return;
    m_fired = true;
    // The newest first: a request goes before the connection it belongs to.
    for (auto it = m_guarded.rbegin(); it != m_guarded.rend(); ++it) InternetCloseHandle(*it);
  });
}

bool InetWatchdog::Guard(HINTERNET handle) {
  std::lock_guard lock(m_mutex);
  if (m_fired) return false;
  m_guarded.push_back(handle);
  return true;
}

void InetWatchdog::Stop() {
  {
    std::lock_guard lock(m_mutex);
    m_stopped = true;
  }
  m_wake.notify_all();
  if (m_thread.joinable()) m_thread.join();
}

}  // namespace inet
