#pragma once
// Every time limit of a send is a point on one monotonic clock: a step's
// own time-out and the whole send's bound can then be compared and combined,
// and a wall-clock change cannot stretch or cut either. Calls below take what
// is left of it in milliseconds.
#include <chrono>

#include "net/Transport.h"

namespace net {

using Clock = std::chrono::steady_clock;

inline Clock::time_point DeadlineAfter(int ms) { return Clock::now() + std::chrono::milliseconds(ms); }

// Milliseconds until `deadline`, 0 once it has passed: a wait given 0 still
// looks once, so what has already arrived is not thrown away.
inline int MillisLeft(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

// The same for a layer that hands the time on to calls where 0 means "no
// limit" or "the default": once nothing is left it is a time-out here.
inline int MillisLeftOrTimeOut(Clock::time_point deadline) {
  const int left = MillisLeft(deadline);
  if (left == 0) throw TransportError(TransportError::Kind::TimedOut, "timed out");
  return left;
}

}  // namespace net
