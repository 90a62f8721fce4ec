#pragma once
// When the next check comes, free of any window: the regular interval while
// checks succeed, a quick back-off while they fail, and one check a few
// seconds after the world around the program changed (the PC woke up, the
// network came back), however many notices such a change brings.
#include <cstdint>
#include <optional>

namespace app {

// The first retry after a failed check; each further failure doubles it.
inline constexpr std::uint32_t kFirstRetryMs = 60'000;
// How long the notices of one change are gathered into one check. Long enough
// for an adapter's burst of notices, and for its address to settle.
inline constexpr std::uint32_t kSettleMs = 5'000;

class CheckSchedule {
 public:
  explicit CheckSchedule(std::uint32_t intervalMs) : m_intervalMs(intervalMs) {}

  // A check has ended. Returns the delay the periodic timer must be set to
  // now, or nothing when it keeps its current rhythm (a good check while all
  // is well: Update does not move the next tick).
  std::optional<std::uint32_t> AfterCheck(bool succeeded);

  // The PC resumed or the network changed. True when a settle timer must be
  // started now; false while one is already running for an earlier notice.
  bool ChangeNoticed();
  // The settle timer has fired; the check it calls for runs now.
  void Settled() { m_settling = false; }

  std::uint32_t IntervalMs() const { return m_intervalMs; }
  int Failures() const { return m_failures; }

 private:
  std::uint32_t m_intervalMs;
  int m_failures = 0;
  bool m_settling = false;
};

}  // namespace app
