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
// The web targets. Their addresses, headers and bodies may hold tokens and
// passwords, so those are kept only in the protected form; none is written
// until the user saves a target, and an install without them calls nothing.
// `WebTargets` holds how many there are, as text; target n (from 1) is
// `WebTarget<n>Url`, `WebTarget<n>Method` (in clear), `WebTarget<n>Headers`
// and `WebTarget<n>Body`, an empty one stored as no value.
inline constexpr char kWebTargetCount[] = "WebTargets";
inline std::string WebTargetValue(int number, const char* part) { return "WebTarget" + std::to_string(number) + part; }
inline constexpr char kWebTargetUrl[] = "Url";
inline constexpr char kWebTargetMethod[] = "Method";
inline constexpr char kWebTargetHeaders[] = "Headers";
inline constexpr char kWebTargetBody[] = "Body";
// The first release's single target, read as the first target while no
// list is stored and removed once the list has been written.
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

// One web target as the user typed it; an empty address means none. The
// headers are the typed text, one `Name: value` a line.
inline constexpr char kWebGet[] = "GET";
inline constexpr char kWebPost[] = "POST";
inline constexpr char kWebPut[] = "PUT";
inline constexpr char kWebPatch[] = "PATCH";
// In the order the editor lists them.
inline constexpr const char* kWebMethods[] = {kWebGet, kWebPost, kWebPut, kWebPatch};
inline bool IsWebMethod(const std::string& method) {
  for (const char* known : kWebMethods)
    if (method == known) return true;
  return false;
}
struct WebSettings {
  std::string url, method = kWebGet, headers, body;
  bool IsSet() const { return !url.empty(); }
};

// Up to this many web targets, each called on every change.
inline constexpr int kMostWebTargets = 8;

}  // namespace settings
