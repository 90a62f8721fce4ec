#pragma once
// The decisions of one IP check, free of any window: where the address is
// in the page, what the status stamp reads, and whether a change counts.
#include <ctime>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace app {

inline constexpr char kStartMarker[] = "<!--startip-->";
inline constexpr char kEndMarker[] = "<!--endip-->";
inline constexpr char kStampFormat[] = "Last Updated On\r\n\r\n%m/%d/%Y at %I:%M:%S %p\r\n\r\nCurrent IP:";
inline constexpr char kNotificationSubject[] = "IP Address Change";
inline constexpr char kNotificationPrefix[] = "New IP Address:  ";
inline constexpr char kPopupCaption[] = "IP Update Completed!";
inline constexpr char kNotificationPrefix6[] = "New IPv6 Address:  ";
// What the window, the tray tip and the mail say while IPv6 is watched and
// this computer has no address worth publishing.
inline constexpr char kNoIpv6Address[] = "No IPv6 address";
inline constexpr char kTrayTipTitle[] = "Corvane by Orlimar";
inline constexpr char kWebStoppedTip[] = " (web notification stopped)";
// What the notification area shows of a tip, without its terminator.
inline constexpr std::size_t kLongestTrayTip = 127;

// True for a byte that starts a two-byte character in the page's code page.
using LeadBytePredicate = std::function<bool(unsigned char)>;

// Position of the first occurrence of `needle` in `text` at or after `from`
// that starts on a character boundary (never inside a two-byte character);
// npos when there is none or `from` is negative or past the end.
size_t FindOnCharBoundary(const std::string& text, const std::string& needle, long long from,
                          const LeadBytePredicate& isLeadByte);

// The text between the first start marker at or after `start` and the first
// end marker after it, untrimmed. A page without the start marker, or
// without the end marker after it, gives the empty text.
std::string ExtractBetween(const std::string& page, const std::string& startMarker, const std::string& endMarker,
                           int start, const LeadBytePredicate& isLeadByte = {});

// The status text for a moment, in local time; empty when the time cannot be
// converted or the text does not fit its 128-byte buffer.
std::string FormatStamp(std::time_t now);

// A new address is one that is not empty and differs from the one shown.
bool IsChange(const std::string& address, const std::string& shown);

// The text with blanks, tabs, CR and LF removed at both ends.
std::string TrimBlanks(const std::string& text);

// An IPv4 dotted quad (no leading zeros) or an IPv6 literal in any of its
// text forms, at most 45 characters. Nothing else is ever shown or mailed as
// an address, so a page that moved or broke cannot put markup in a mail.
bool IsAddressLiteral(const std::string& text);

// The address a page shows: the text between the markers, or, on a page with
// no start marker, the whole body as plain-text echo services send it; in
// both cases trimmed. Empty when that text is not an address literal.
std::string AddressFromPage(const std::string& page, const LeadBytePredicate& isLeadByte = {});

// The page addresses a Link text holds, separated by blanks.
std::vector<std::string> SplitPageList(const std::string& link);

// The failure text when the page at `url` showed no address; a login in
// the address is left out.
std::string NoAddressText(const std::string& url);

// One text for every page that failed, one line each in the order tried; a
// single failure reads as it did alone.
std::string CombinedFailure(const std::vector<std::string>& reasons);

// The notification mail's body. With IPv6 off it is the prefix and `v4`
// alone, as it always was; with it on a second line gives `v6`, or says
// there is none. The mail's lines end in CRLF whatever is passed here.
std::string NotificationText(const std::string& v4, const std::string& v6, bool ipv6On);

// The tray icon's tip: the title, " - " and the address(es) once known, and
// the mark of a stopped web notification. `v6` is nullopt while IPv6 is not
// watched or not yet looked at (the tip reads as it always did), empty when
// there is no IPv6 address. Within kLongestTrayTip: an address too long for
// the room left is cut after a whole group and ends in "...".
std::string TrayTipText(const std::string& v4, const std::optional<std::string>& v6, bool webStopped);

}  // namespace app
