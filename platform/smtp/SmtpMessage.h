#pragma once
// Turns a SendRequest into the envelope and the bytes that follow DATA.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "smtp/SmtpRequest.h"

namespace smtp {

// What makes a message unique in time; passed in so that building a message
// is repeatable.
struct MessageStamp {
  std::int64_t unixTime = 0;
  int zoneOffsetMinutes = 0;  // east of UTC, e.g. +60 for CET
  std::string uniqueId;       // left part of the Message-ID
  std::string host;           // right part of the Message-ID
};

struct PreparedMessage {
  std::string sender;                   // bare mailbox, may be empty
  std::vector<std::string> recipients;  // To, Cc and Bcc, each once
  std::string content;                  // header and body, CRLF line ends, not yet dot-stuffed
};

// "Tue, 05 Mar 2024 09:07:02 +0100": English names whatever the locale.
std::string FormatDate(std::int64_t unixTime, int zoneOffsetMinutes);

// The local zone's offset from UTC at that moment, in minutes east.
int LocalZoneOffsetMinutes(std::int64_t unixTime);

// CR, LF and CRLF all become CRLF: a bare LF in DATA is what "SMTP
// smuggling" relies on, so nothing else may leave this program. Lines longer
// than 998 octets are broken, not refused: a notification with one long line
// is still worth delivering, and servers may reject or mangle longer ones.
std::string NormalizeText(std::string_view text);

// Doubles a "." that starts a line and appends the terminating ".\r\n".
// Expects CRLF line ends.
std::string DotStuff(std::string_view content);

// Checks every field (line breaks, NUL, addresses, lengths, known encoding)
// and builds the message. Throws SendError with Stage::Input.
PreparedMessage PrepareMessage(const SendRequest& request, const MessageStamp& stamp);

}  // namespace smtp
