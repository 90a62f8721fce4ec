#pragma once
// The stored layout of the program's settings: every value name, the marker
// for "not set" and the first-run defaults. Whatever reads or writes the key
// takes the names from here.
#include <string>

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
// The web notification. Its address and body may hold tokens and passwords,
// so both are kept only in the protected form; none is written until the
// user saves one, and an install without them has the notification off.
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
// The longest web address or body: its protected form, a few hundred bytes
// longer, must stay within what the store reads back as binary.
inline constexpr int kLongestWebText = 2000;

// The mail settings as stored, except the password: that is the plain text,
// empty when none is stored.
struct MailSettings {
  std::string server, username, password, auth, to, from;
};

// The web notification as the user typed it; an empty address means none.
inline constexpr char kWebGet[] = "GET";
inline constexpr char kWebPost[] = "POST";
struct WebSettings {
  std::string url, method = kWebGet, body;
  bool IsSet() const { return !url.empty(); }
};

}  // namespace settings
