#include "channels/StampTime.h"

namespace channels {

std::string FormatLocal(std::time_t now, const char* format) {
  std::tm local{};
#ifdef _WIN32
  if (localtime_s(&local, &now) != 0) return {};
#else
  if (!localtime_r(&now, &local)) return {};
#endif
  char buffer[128];
  const size_t n = std::strftime(buffer, sizeof buffer, format, &local);
  return std::string(buffer, n);
}

}  // namespace channels
