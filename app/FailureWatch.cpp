#include "app/FailureWatch.h"

namespace app {

FailureNews FailureWatch::Failed(const std::string& error) {
  if (m_told) return {};
  if (++m_failuresInARow < kFailuresToTell) return {};
  m_told = true;
  return {FailureNews::Failing, error};
}

FailureNews FailureWatch::Succeeded() {
  m_failuresInARow = 0;
  if (!m_told) return {};
  m_told = false;
  return {FailureNews::Recovered, {}};
}

}  // namespace app
