#pragma once
// What a server announces in its EHLO reply.
#include <cstdint>
#include <set>
#include <string>

namespace smtp {

struct Reply;

struct Capabilities {
  bool extended = false;  // EHLO worked; false after a fallback to HELO
  bool startTls = false;
  bool size = false;
  std::uint64_t sizeLimit = 0;      // 0: no limit given
  std::set<std::string> authMechs;  // upper case, e.g. "LOGIN", "PLAIN"
  bool HasAuth(const std::string& mech) const { return authMechs.count(mech) != 0; }
};

// The first line of an EHLO reply is the server's greeting text; every later
// line is one keyword with optional parameters. Keywords compare whole words,
// ignoring case; old servers announce "AUTH=LOGIN" instead of "AUTH LOGIN".
Capabilities ParseCapabilities(const Reply& ehloReply);

}  // namespace smtp
