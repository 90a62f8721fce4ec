#include "smtp/SmtpMessage.h"

#include <algorithm>
#include <ctime>

#include "base/AsciiText.h"
#include "net/Base64.h"
#include "smtp/SmtpAddress.h"
#include "smtp/SmtpError.h"

namespace smtp {

namespace {

constexpr std::size_t kMaxLine = 998;  // octets, without the CRLF

struct Civil {
  int year, month, day, hour, minute, second, weekday;  // weekday 0 = Sunday
};

// Days since 1970-01-01 to a proleptic Gregorian date (Howard Hinnant's
// algorithm); gmtime is neither thread-safe nor the same on every runtime.
Civil ToCivil(std::int64_t t) {
  std::int64_t days = t / 86400;
  std::int64_t secs = t % 86400;
  if (secs < 0) {
    secs += 86400;
    --days;
  }
  Civil c{};
  c.hour = static_cast<int>(secs / 3600);
  c.minute = static_cast<int>(secs / 60 % 60);
  c.second = static_cast<int>(secs % 60);
  c.weekday = static_cast<int>(((days % 7) + 11) % 7);  // 1970-01-01 was a Thursday
  std::int64_t z = days + 719468;
  std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  std::int64_t doe = z - era * 146097;
  std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  std::int64_t mp = (5 * doy + 2) / 153;
  c.day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  c.month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  c.year = static_cast<int>(yoe + era * 400 + (c.month <= 2 ? 1 : 0));
  return c;
}

std::string Two(int v) {
  std::string s = std::to_string(v);
  return s.size() < 2 ? "0" + s : s;
}

bool IsAscii(const std::string& s) {
  return std::all_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

bool IsToken(const std::string& s) {
  if (s.empty()) return false;
  for (char c : s) {
    unsigned char u = static_cast<unsigned char>(c);
    if (u <= ' ' || u >= 0x7f || std::string("()<>@,;:\\\"/[]?=").find(c) != std::string::npos) return false;
  }
  return true;
}

void RefuseLineBreaks(const std::string& value, const std::string& field) {
  if (HasLineBreakOrNul(value)) {
    throw SendError(Stage::Input, "the " + field + " contains a line break or NUL character");
  }
}

// A subject outside ASCII travels as RFC 2047 encoded words in the message's
// charset, each at most 75 characters, folded onto continuation lines.
std::string EncodeHeaderText(const std::string& text, const std::string& charset) {
  if (IsAscii(text)) return text;
  std::size_t room = 75 - (charset.size() + 7);
  std::size_t perWord = std::max<std::size_t>(room / 4 * 3, 3);
  std::string out;
  for (std::size_t i = 0; i < text.size(); i += perWord) {
    if (!out.empty()) out += "\r\n ";
    out += "=?" + charset + "?B?" + net::Base64Encode(std::string_view(text).substr(i, perWord)) + "?=";
  }
  return out;
}

// Header lists fold after a comma so that no line grows past 78 characters.
std::string JoinAddresses(const std::vector<Address>& list, std::size_t nameLength) {
  std::string out;
  std::size_t lineLength = nameLength + 2;
  for (std::size_t i = 0; i < list.size(); ++i) {
    const std::string& d = list[i].display;
    if (i > 0) {
      out += ',';
      if (lineLength + 2 + d.size() > 78) {
        out += "\r\n ";
        lineLength = 1;
      } else {
        out += ' ';
        lineLength += 2;
      }
    }
    out += d;
    lineLength += d.size();
  }
  return out;
}

std::string Base64Body(const std::string& canonical) {
  std::string encoded = net::Base64Encode(canonical);
  std::string out;
  for (std::size_t i = 0; i < encoded.size(); i += 76) out += encoded.substr(i, 76) + "\r\n";
  return out;
}

// Quoted-printable of CRLF text: line ends stay hard breaks, trailing blanks
// are encoded so no gateway can strip them, soft breaks keep lines at 76.
std::string QuotedPrintableBody(const std::string& canonical) {
  std::string out;
  std::size_t start = 0;
  while (start <= canonical.size()) {
    std::size_t end = canonical.find("\r\n", start);
    bool last = end == std::string::npos;
    if (last) end = canonical.size();
    std::string line;
    std::size_t lineLen = 0;
    for (std::size_t i = start; i < end; ++i) {
      unsigned char c = static_cast<unsigned char>(canonical[i]);
      bool trailingBlank = (c == ' ' || c == '\t') && i + 1 == end;
      std::string piece;
      if ((c >= 33 && c <= 126 && c != '=') || ((c == ' ' || c == '\t') && !trailingBlank)) {
        piece = std::string(1, static_cast<char>(c));
      } else {
        piece = {'=', base::HexDigit(c >> 4), base::HexDigit(c)};
      }
      if (lineLen + piece.size() > 75) {
        line += "=\r\n";
        lineLen = 0;
      }
      line += piece;
      lineLen += piece.size();
    }
    out += line;
    if (last) break;
    out += "\r\n";
    start = end + 2;
  }
  return out;
}

}  // namespace

std::string FormatDate(std::int64_t unixTime, int zoneOffsetMinutes) {
  static constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                            "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  Civil c = ToCivil(unixTime + static_cast<std::int64_t>(zoneOffsetMinutes) * 60);
  int offset = zoneOffsetMinutes < 0 ? -zoneOffsetMinutes : zoneOffsetMinutes;
  return std::string(kDays[c.weekday]) + ", " + Two(c.day) + ' ' + kMonths[c.month - 1] + ' ' + std::to_string(c.year) +
         ' ' + Two(c.hour) + ':' + Two(c.minute) + ':' + Two(c.second) + ' ' + (zoneOffsetMinutes < 0 ? '-' : '+') +
         Two(offset / 60) + Two(offset % 60);
}

int LocalZoneOffsetMinutes(std::int64_t unixTime) {
  std::time_t t = static_cast<std::time_t>(unixTime);
  std::tm local{}, utc{};
#ifdef _WIN32
  localtime_s(&local, &t);
  gmtime_s(&utc, &t);
#else
  localtime_r(&t, &local);
  gmtime_r(&t, &utc);
#endif
  int minutes = (local.tm_hour - utc.tm_hour) * 60 + (local.tm_min - utc.tm_min);
  int dayDiff = local.tm_yday - utc.tm_yday;
  if (local.tm_year != utc.tm_year)
    dayDiff = local.tm_year > utc.tm_year ? 1 : -1;
  else if (dayDiff > 1 || dayDiff < -1)
    dayDiff = dayDiff > 0 ? -1 : 1;
  return minutes + dayDiff * 24 * 60;
}

std::string NormalizeText(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 32);
  std::size_t lineLength = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '\r' || c == '\n') {
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      out += "\r\n";
      lineLength = 0;
      continue;
    }
    if (lineLength == kMaxLine) {
      out += "\r\n";
      lineLength = 0;
    }
    out += c;
    ++lineLength;
  }
  return out;
}

std::string DotStuff(std::string_view content) {
  std::string out;
  out.reserve(content.size() + 16);
  bool lineStart = true;
  for (std::size_t i = 0; i < content.size(); ++i) {
    if (lineStart && content[i] == '.') out += '.';
    out += content[i];
    lineStart = content[i] == '\n';
  }
  if (!out.empty() && !lineStart) out += "\r\n";
  out += ".\r\n";
  return out;
}

namespace {

// Every mailbox once, To before Cc before Bcc: a server may refuse or
// double-deliver a repeated RCPT.
std::vector<std::string> UniqueMailboxes(std::initializer_list<const std::vector<Address>*> lists) {
  std::vector<std::string> mailboxes;
  for (const auto* list : lists) {
    for (const Address& a : *list) {
      bool seen = std::any_of(mailboxes.begin(), mailboxes.end(),
                              [&](const std::string& x) { return base::SameLetters(x, a.mailbox); });
      if (!seen) mailboxes.push_back(a.mailbox);
    }
  }
  return mailboxes;
}

void RefuseBadContentType(const SendRequest& r) {
  std::size_t slash = r.contentType.find('/');
  if (slash == std::string::npos || !IsToken(r.contentType.substr(0, slash)) ||
      !IsToken(r.contentType.substr(slash + 1))) {
    throw SendError(Stage::Input, "the content type \"" + r.contentType + "\" is not of the form type/subtype");
  }
  if (!IsToken(r.charset)) throw SendError(Stage::Input, "the character set \"" + r.charset + "\" is not valid");
}

// The text with CRLF line ends, in the transfer encoding `encoding` (lower case).
std::string EncodedBody(const SendRequest& r, const std::string& encoding) {
  std::string canonical = NormalizeText(r.messageText);
  if (encoding == "7bit" || encoding == "8bit") return canonical;
  if (encoding == "base64") return Base64Body(canonical);
  if (encoding == "quoted-printable") return QuotedPrintableBody(canonical);
  throw SendError(Stage::Input, "the content transfer encoding \"" + r.contentTransferEncoding +
                                    "\" is not supported (use 7bit, 8bit, base64 or quoted-printable)");
}

}  // namespace

PreparedMessage PrepareMessage(const SendRequest& r, const MessageStamp& stamp) {
  RefuseLineBreaks(r.messageSubject, "subject");
  RefuseLineBreaks(r.contentType, "content type");
  RefuseLineBreaks(r.charset, "character set");
  RefuseLineBreaks(r.contentTransferEncoding, "content transfer encoding");

  std::vector<Address> to = ParseAddressList(r.sendTo, "recipient (To)");
  std::vector<Address> cc = ParseAddressList(r.cc, "Cc");
  std::vector<Address> bcc = ParseAddressList(r.bcc, "Bcc");
  Address from = ParseSingleAddress(r.mailFrom, "sender (From)");
  Address replyTo = ParseSingleAddress(r.replyTo, "Reply-To");

  PreparedMessage m;
  m.sender = from.mailbox;
  m.recipients = UniqueMailboxes({&to, &cc, &bcc});
  if (m.recipients.empty()) throw SendError(Stage::Input, "no recipient address was given");

  RefuseBadContentType(r);
  const std::string encoding = base::Lower(r.contentTransferEncoding);
  const std::string body = EncodedBody(r, encoding);

  std::string subject = EncodeHeaderText(r.messageSubject, r.charset);
  if (subject.size() + 9 > kMaxLine) throw SendError(Stage::Input, "the subject is too long");

  std::string h;
  h += "Date: " + FormatDate(stamp.unixTime, stamp.zoneOffsetMinutes) + "\r\n";
  if (!from.mailbox.empty()) h += "From: " + from.display + "\r\n";
  if (!to.empty()) h += "To: " + JoinAddresses(to, 2) + "\r\n";
  if (!cc.empty()) h += "Cc: " + JoinAddresses(cc, 2) + "\r\n";
  if (!replyTo.mailbox.empty()) h += "Reply-To: " + replyTo.display + "\r\n";
  h += "Subject: " + subject + "\r\n";
  h += "Message-ID: <" + stamp.uniqueId + "@" + stamp.host + ">\r\n";
  h += "MIME-Version: 1.0\r\n";
  h += "Content-Type: " + r.contentType + "; charset=" + r.charset + "\r\n";
  h += "Content-Transfer-Encoding: " + encoding + "\r\n";
  h += "\r\n";
  m.content = h + body;
  return m;
}

}  // namespace smtp
