#include "base/OwnedHandle.h"

namespace win::detail {

std::atomic<int>& LiveCounter(HandleKind kind) {
  static std::atomic<int> counters[static_cast<int>(HandleKind::Count)];
  return counters[static_cast<int>(kind)];
}

}  // namespace win::detail
