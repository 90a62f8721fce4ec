#pragma once
// Server replies: "250-first", "250-more", "250 last", each line ending CRLF.
#include <cstddef>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace smtp {

struct Reply {
  int code = 0;
  std::vector<std::string> lines;  // the text after "NNN-" / "NNN ", one per line
  // "550 no such user", multi-line texts joined with a space, for messages.
  std::string Describe() const;
};

class MalformedReply : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A reply larger than this is treated as hostile or broken: a server that
// never ends a line must not make us buffer without bound.
constexpr std::size_t kMaxReplyBytes = 64 * 1024;

// Takes one complete reply off the front of `buffer`. Returns nothing while
// the reply is still incomplete (read more and call again); throws
// MalformedReply when what is there can never become a valid reply.
// A bare LF is accepted as a line end: being strict about what servers send
// buys nothing, unlike what we send.
std::optional<Reply> TakeReply(std::string& buffer);

}  // namespace smtp
