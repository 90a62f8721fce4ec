#include "CheckSchedule.h"

#include <algorithm>

namespace app {

std::optional<std::uint32_t> CheckSchedule::AfterCheck(bool succeeded) {
  if (succeeded) {
    const bool wasBackingOff = m_failures > 0;
    m_failures = 0;
    if (!wasBackingOff) return std::nullopt;
    return m_intervalMs;
  }
  // Doubling stops long before it could overflow: the interval caps it anyway.
  const int doublings = std::min(m_failures, 20);
  const std::uint64_t backoff = std::uint64_t{kFirstRetryMs} << doublings;
  ++m_failures;
  return static_cast<std::uint32_t>(std::min<std::uint64_t>(backoff, m_intervalMs));
}

bool CheckSchedule::ChangeNoticed() {
  if (m_settling) return false;
  m_settling = true;
  return true;
}

}  // namespace app
