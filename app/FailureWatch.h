#pragma once
// When the targets called for failing checks are to be called: once when
// checks have failed kFailuresToTell times in a row, with the last one's
// words, and once more when a check gets an address again after that. A
// run of failures broken by a success before it is long enough is never
// told: a single bad page or a short outage is not worth a call.
#include <string>

namespace app {

// What one check's outcome means for those targets.
struct FailureNews {
  enum Kind { Nothing, Failing, Recovered };
  Kind kind = Nothing;
  std::string error;  // for Failing: the words of the failure that made the run long enough
  bool operator==(const FailureNews&) const = default;
};

class FailureWatch {
 public:
  static constexpr int kFailuresToTell = 3;

  // A check that failed with `error`; a check retried after a failure is a
  // check of its own.
  FailureNews Failed(const std::string& error);
  // A check that got an address, whether or not it changed.
  FailureNews Succeeded();
  // Whether the failing has been told and the recovery not yet.
  bool Told() const { return m_told; }

 private:
  int m_failuresInARow = 0;
  bool m_told = false;
};

}  // namespace app
