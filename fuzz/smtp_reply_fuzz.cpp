// The reply parser and the EHLO reading, on whatever a server might send.
// The first byte picks how the bytes trickle in; the parse must not depend
// on where the network happened to split them.
#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

#include "FuzzCheck.h"
#include "smtp/SmtpCapabilities.h"
#include "smtp/SmtpReply.h"

namespace {

struct Outcome {
  std::vector<smtp::Reply> replies;
  bool malformed = false;
  std::string left;  // bytes of an incomplete reply still waiting
};

void CheckReply(const smtp::Reply& reply) {
  FUZZ_CHECK(reply.code >= 200 && reply.code <= 599);
  FUZZ_CHECK(!reply.lines.empty());
  for (const auto& line : reply.lines) FUZZ_CHECK(line.find('\n') == std::string::npos);
  const std::string described = reply.Describe();
  FUZZ_CHECK(described.compare(0, 3, std::to_string(reply.code)) == 0);

  const smtp::Capabilities caps = smtp::ParseCapabilities(reply);
  FUZZ_CHECK(caps.extended);
  if (!caps.size) FUZZ_CHECK(caps.sizeLimit == 0);
  FUZZ_CHECK(caps.sizeLimit < 10000000000000000000ULL);  // at most 18 digits are taken
  for (const auto& mech : caps.authMechs) {
    FUZZ_CHECK(!mech.empty());
    for (char c : mech) {
      FUZZ_CHECK(!std::islower(static_cast<unsigned char>(c)));
      FUZZ_CHECK(!std::isspace(static_cast<unsigned char>(c)));
    }
  }
  // The greeting line is never read as a keyword.
  if (reply.lines.size() == 1) FUZZ_CHECK(!caps.startTls && !caps.size && caps.authMechs.empty());
}

// Feeds `bytes` in pieces of `chunk` bytes (all at once for 0), taking every
// reply as soon as it is complete, as the dialogue does.
Outcome Parse(const std::string& bytes, std::size_t chunk) {
  Outcome out;
  std::string buffer;
  std::size_t fed = 0;
  try {
    while (fed < bytes.size()) {
      const std::size_t n = chunk == 0 ? bytes.size() : std::min(chunk, bytes.size() - fed);
      buffer.append(bytes, fed, n);
      fed += n;
      for (;;) {
        const std::size_t before = buffer.size();
        auto reply = smtp::TakeReply(buffer);
        if (!reply) break;
        FUZZ_CHECK(buffer.size() < before);  // a reply always consumes its bytes
        CheckReply(*reply);
        out.replies.push_back(*reply);
      }
      FUZZ_CHECK(buffer.size() <= smtp::kMaxReplyBytes);
    }
  } catch (const smtp::MalformedReply&) {
    out.malformed = true;
  }
  out.left = buffer;
  return out;
}

bool Same(const smtp::Reply& a, const smtp::Reply& b) { return a.code == b.code && a.lines == b.lines; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::Input in(data, size);
  const std::size_t chunk = 1 + in.Byte() % 16;
  const std::string bytes = in.Rest();

  const Outcome whole = Parse(bytes, 0);
  const Outcome pieces = Parse(bytes, chunk);
  // Replies taken before the first bad line are the same however the bytes
  // arrived; a bad line is found either way.
  FUZZ_CHECK(whole.malformed == pieces.malformed);
  if (!whole.malformed) {
    FUZZ_CHECK(whole.replies.size() == pieces.replies.size());
    FUZZ_CHECK(whole.left == pieces.left);
  }
  const std::size_t common = std::min(whole.replies.size(), pieces.replies.size());
  for (std::size_t i = 0; i < common; ++i) FUZZ_CHECK(Same(whole.replies[i], pieces.replies[i]));
  return 0;
}
