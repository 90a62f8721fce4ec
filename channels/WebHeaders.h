#pragma once
// The request headers a user types for a web target, one `Name: value` a
// line: read, filled in and checked before anything goes out, so that a
// typed line can never add a line of its own to the request or take over
// what the engine must say itself.
#include <string>
#include <string_view>
#include <vector>

#include "channels/WebNotify.h"
#include "http/HttpFetch.h"

namespace channels {

// The headers with their values filled in, or the first line's refusal,
// naming the line by its number and the header by its name only: a value
// may be a token, and the box and the list row are no place for it.
struct HeaderLines {
  std::vector<http::Header> headers;
  std::string refusal;  // empty when every line is good
};

// Blank lines are passed over. A line is refused when it has no colon, when
// its name is not an HTTP token, when its value holds a control character
// once the placeholders are filled in (as they are, unescaped), or when it
// names a header the engine owns (Host, Content-Length, Transfer-Encoding,
// Connection).
HeaderLines ReadHeaderLines(std::string_view typed, const WebValues& values);

}  // namespace channels
