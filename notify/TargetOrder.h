#pragma once
// The web targets' list can be edited while the program runs: rows removed,
// rows added at its end, rows edited in place. What is known of each target
// (what it was told, its last result) follows it to where it now stands.
#include <vector>

namespace notify {

// `origins` gives, for each position of the stored list, the position the
// target had before, or -1 for one added since, which gets `fresh`.
template <class T>
std::vector<T> FollowTargets(const std::vector<T>& before, const std::vector<int>& origins, const T& fresh = T{}) {
  std::vector<T> after;
  after.reserve(origins.size());
  for (const int from : origins)
    after.push_back(from >= 0 && static_cast<std::size_t>(from) < before.size() ? before[from] : fresh);
  return after;
}

}  // namespace notify
