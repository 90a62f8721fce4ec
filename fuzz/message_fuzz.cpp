// The message builder on fields taken from the input. Whatever they hold,
// what would go after DATA is whole CRLF lines, dot-stuffed, with no header
// line a field could have smuggled in; fields with line breaks are refused.
#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

#include "FuzzCheck.h"
#include "smtp/SmtpAddress.h"
#include "smtp/SmtpError.h"
#include "smtp/SmtpMessage.h"

namespace {

constexpr char kSeparator = '\x1e';

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::vector<std::string> Lines(const std::string& crlfText) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t end; (end = crlfText.find("\r\n", start)) != std::string::npos; start = end + 2)
    lines.push_back(crlfText.substr(start, end - start));
  if (start < crlfText.size()) lines.push_back(crlfText.substr(start));
  return lines;
}

// No bare CR, no bare LF.
void CheckCrlfOnly(const std::string& text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r') FUZZ_CHECK(i + 1 < text.size() && text[i + 1] == '\n');
    if (text[i] == '\n') FUZZ_CHECK(i > 0 && text[i - 1] == '\r');
  }
}

// What goes after DATA: CRLF lines, none over 998 octets, a leading dot
// always doubled, and the lone dot only at the very end. Undoing the
// stuffing gives back the content.
void CheckStuffed(const std::string& content) {
  const std::string data = smtp::DotStuff(content);
  CheckCrlfOnly(data);
  FUZZ_CHECK(data.size() >= 3 && data.compare(data.size() - 3, 3, ".\r\n") == 0);
  FUZZ_CHECK(data.size() == 3 || data.compare(data.size() - 5, 5, "\r\n.\r\n") == 0);
  std::vector<std::string> lines = Lines(data);
  FUZZ_CHECK(!lines.empty() && lines.back() == ".");
  lines.pop_back();
  std::string undone;
  for (const auto& line : lines) {
    FUZZ_CHECK(line.size() <= 999);  // 998 plus a doubled dot
    if (!line.empty() && line[0] == '.') FUZZ_CHECK(line.size() >= 2 && line[1] == '.');
    undone += (!line.empty() && line[0] == '.' ? line.substr(1) : line) + "\r\n";
  }
  const bool endsInCrlf = content.size() >= 2 && content.compare(content.size() - 2, 2, "\r\n") == 0;
  FUZZ_CHECK(undone == (content.empty() || endsInCrlf ? content : content + "\r\n"));
}

bool IsContinuationOrKnownHeader(const std::string& line) {
  static const char* const kNames[] = {"Date: ",         "From: ",
                                       "To: ",           "Cc: ",
                                       "Reply-To: ",     "Subject: ",
                                       "Message-ID: <",  "MIME-Version: 1.0",
                                       "Content-Type: ", "Content-Transfer-Encoding: "};
  if (!line.empty() && line[0] == ' ') return true;
  return std::any_of(std::begin(kNames), std::end(kNames), [&](const char* n) { return line.rfind(n, 0) == 0; });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::Input in(data, size);
  const std::uint8_t choice = in.Byte();
  smtp::MessageStamp stamp;
  const std::int64_t high = in.U16();
  stamp.unixTime = high << 16 | in.U16();                             // the clock's range, not any int64
  stamp.zoneOffsetMinutes = static_cast<std::int8_t>(in.Byte()) * 7;  // within about 15 hours
  stamp.uniqueId = "1700000000.fuzz";
  stamp.host = "fuzz.example";

  smtp::SendRequest r;
  r.sendTo = in.Field(kSeparator);
  r.mailFrom = in.Field(kSeparator);
  r.cc = in.Field(kSeparator);
  r.bcc = in.Field(kSeparator);
  r.replyTo = in.Field(kSeparator);
  r.messageSubject = in.Field(kSeparator);
  // Mostly the usual type and encodings, so the fuzzer spends its time on
  // the bodies; sometimes whatever the input says.
  static const char* const kEncodings[] = {"7bit", "8bit", "base64", "quoted-printable"};
  if (choice & 0x80) {
    r.contentType = in.Field(kSeparator);
    r.charset = in.Field(kSeparator);
    r.contentTransferEncoding = in.Field(kSeparator);
  } else {
    r.contentTransferEncoding = kEncodings[choice & 3];
    if (choice & 4) r.charset = "iso-8859-1";
  }
  r.messageText = in.Rest();

  // The text on its own: normalising twice changes nothing, and it is CRLF only.
  const std::string normal = smtp::NormalizeText(r.messageText);
  CheckCrlfOnly(normal);
  FUZZ_CHECK(smtp::NormalizeText(normal) == normal);
  for (const auto& line : Lines(normal)) FUZZ_CHECK(line.size() <= 998);
  CheckStuffed(normal);

  bool injectable = false;
  for (const std::string* f : {&r.sendTo, &r.mailFrom, &r.cc, &r.bcc, &r.replyTo, &r.messageSubject, &r.contentType,
                               &r.charset, &r.contentTransferEncoding})
    injectable = injectable || smtp::HasLineBreakOrNul(*f);

  smtp::PreparedMessage m;
  try {
    m = smtp::PrepareMessage(r, stamp);
  } catch (const smtp::SendError& e) {
    FUZZ_CHECK(e.stage() == smtp::Stage::Input);
    return 0;
  }
  FUZZ_CHECK(!injectable);

  CheckCrlfOnly(m.content);
  CheckStuffed(m.content);
  const std::size_t headerEnd = m.content.find("\r\n\r\n");
  FUZZ_CHECK(headerEnd != std::string::npos);
  for (const auto& line : Lines(m.content.substr(0, headerEnd + 2))) {
    FUZZ_CHECK(IsContinuationOrKnownHeader(line));
    FUZZ_CHECK(line.size() <= 998);
  }
  // Bcc never shows in the header.
  if (!r.bcc.empty()) FUZZ_CHECK(m.content.substr(0, headerEnd).find("\r\nBcc:") == std::string::npos);

  // The envelope: at least one recipient, each a bare mailbox, each once.
  FUZZ_CHECK(!m.recipients.empty());
  for (std::size_t i = 0; i < m.recipients.size(); ++i) {
    const std::string& a = m.recipients[i];
    FUZZ_CHECK(!a.empty() && a.size() <= 254);
    for (char c : a) FUZZ_CHECK(static_cast<unsigned char>(c) > ' ' && c != '<' && c != '>' && c != ',' && c != ';');
    for (std::size_t j = 0; j < i; ++j) FUZZ_CHECK(Lower(m.recipients[j]) != Lower(a));
  }
  FUZZ_CHECK(!smtp::HasLineBreakOrNul(m.sender) && m.sender.find('>') == std::string::npos);
  return 0;
}
