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

// Where a reading of `buffer` left off, so that a reply arriving a byte at a
// time is scanned once rather than from its start at every byte.
struct ReplyScan {
  Reply partial;             // the lines complete so far
  std::size_t parsed = 0;    // bytes of `buffer` those lines took
  std::size_t searched = 0;  // bytes already known to hold no line end
};

// The same as above, resuming from `scan`, which the caller keeps between
// calls on the same buffer and which is reset when a reply is taken.
std::optional<Reply> TakeReply(std::string& buffer, ReplyScan& scan);

}  // namespace smtp
