#pragma once
// The stored layout of the program's settings: every value name, the marker
// for "not set" and the first-run defaults. Whatever reads or writes the key
// takes the names from here.
#include <string>

#include "channels/ChannelSettings.h"

namespace settings {

inline constexpr char kKeyPath[] = "Software\\Orlimar\\Corvane";

inline constexpr char kVersion[] = "Version";
inline constexpr char kServer[] = "SMTPServer";
inline constexpr char kUsername[] = "SMTPUsername";
// The password's scrambled text, kept for installs that saved before it was
// protected; a save writes the marker here and the protected form beside it.
inline constexpr char kPassword[] = "SMTPPassword";
inline constexpr char kProtectedPassword[] = "SMTPPasswordProtected";
inline constexpr char kAuth[] = "SMTPAuth";
inline constexpr char kTo[] = "SMTPTo";
inline constexpr char kFrom[] = "SMTPFrom";
inline constexpr char kLink[] = "Link";
inline constexpr char kTimer[] = "Timer";
// Whether this computer's IPv6 address is watched beside the page's address:
// "1" yes, anything else (and no value, which a first run leaves) no.
inline constexpr char kIpv6[] = "IPv6";
inline constexpr char kIpv6Off[] = "0";
inline constexpr char kIpv6On[] = "1";
// The web targets. Their addresses, headers and bodies may hold tokens and
// passwords, so they are kept only in the protected form; none is written
// until the user saves a target, and an install without them calls nothing.
// The whole list, with each target's id and the next id to give, is the one
// protected value `WebTargetList`, so a save replaces it whole or not at all.
// When each target is called is kept inside the list with the target, not as
// a value of its own, so it can never part from the target it belongs to.
inline constexpr char kWebTargetList[] = "WebTargetList";
// The form before that, still read while no list value is stored and
// removed once it is: `WebTargets` held how many there were, as text;
// target n (from 1) was `WebTarget<n>Url`, `WebTarget<n>Method` (in clear),
// `WebTarget<n>Headers` and `WebTarget<n>Body`, an empty one stored as no value.
inline constexpr char kWebTargetCount[] = "WebTargets";
inline std::string WebTargetValue(int number, const char* part) { return "WebTarget" + std::to_string(number) + part; }
inline constexpr char kWebTargetUrl[] = "Url";
inline constexpr char kWebTargetMethod[] = "Method";
inline constexpr char kWebTargetHeaders[] = "Headers";
inline constexpr char kWebTargetBody[] = "Body";
// The first release's single target, read as the first target while
// neither form of the list is stored and removed once the list has been written.
inline constexpr char kWebUrl[] = "WebNotifyUrlProtected";
inline constexpr char kWebMethod[] = "WebNotifyMethod";
inline constexpr char kWebBody[] = "WebNotifyBodyProtected";

// "Not set" for the mail texts, compared exactly.
inline constexpr char kNotSet[] = "null";
inline bool IsNotSet(const std::string& text) { return text.empty() || text == kNotSet; }

inline constexpr char kDefaultVersion[] = "1.0";
inline constexpr char kDefaultAuth[] = "2";  // Login
// Two public plain-text echo pages, tried in order. Both names resolve to IPv4
// only, so a dual-stack line reports its stable IPv4 address rather than one
// of its changing temporary IPv6 addresses.
inline constexpr char kDefaultLink[] = "https://checkip.amazonaws.com/ https://api.ipify.org/";
// What earlier first runs stored: a reserved name that never answered. Read
// as the current default, so those installs work without anyone typing.
inline constexpr char kRetiredDefaultLink[] = "http://ip.corvane.example/ip.php";
inline std::string LinkFromStored(const std::string& stored) {
  return stored == kRetiredDefaultLink ? std::string(kDefaultLink) : stored;
}

// The longest text a value holds and reads back whole (the store's buffer
// less its terminator); the dialog's fields accept no more.
inline constexpr int kLongestText = 259;
// The longest web address, header text or body the editor takes; the list
// of every target at that length must fit in kLongestWebList.
inline constexpr int kLongestWebText = 2000;
// The longest protected list: room for every target's three texts at their
// longest, with what the protection adds.
inline constexpr unsigned kLongestWebList = 64 * 1024;

// What the channels are set up with is theirs; the store keeps it.
using channels::IsWebMethod;
using channels::kWebGet;
using channels::kWebMethods;
using channels::kWebPatch;
using channels::kWebPost;
using channels::kWebPut;
using channels::kWebWhenWords;
using channels::MailSettings;
using channels::WebResults;
using channels::WebSettings;
using channels::WebWhen;

// Up to this many web targets.
inline constexpr int kMostWebTargets = 8;
// Every target at its longest, with room to spare for the framing and the protection.
static_assert(kMostWebTargets * 3 * kLongestWebText + 8192 <= static_cast<int>(kLongestWebList));

}  // namespace settings
