#pragma once
// What one call of a channel (the mail, a web notification) came to, in the
// one form the check cycle reads, whichever channel it was and however it
// failed.
#include <cstdint>
#include <string>

namespace channels {

struct ChannelResult {
  enum Kind : std::uint8_t {
    Ok,         // the address arrived
    Transient,  // it did not; the next check tries again
    Wait,       // it did not, and the service asked not to be called again for a while
                // (an answer its protocol defines, or Retry-After): minDelayMs says how long
    Stopped,    // it did not, and only the user can mend it: no more calls until the settings change
  };
  Kind kind = Transient;
  std::string text;              // for the user: what was sent, or why it failed
  std::uint32_t minDelayMs = 0;  // with Wait: no call before this much time has passed

  bool ok() const { return kind == Ok; }
};

}  // namespace channels
