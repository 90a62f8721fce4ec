#include "channels/TargetName.h"

#include "http/HttpUrl.h"

namespace channels {

std::string TargetName(const WebSettings& target) {
  const auto url = http::ParseUrl(target.url);
  return target.method + "  " + (url ? url->Origin() : std::string("(not a complete address)"));
}

}  // namespace channels
