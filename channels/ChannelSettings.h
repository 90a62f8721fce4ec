#pragma once
// What each channel is set up with: the mail account and one web target,
// as the user typed them. The store reads and writes them; the channels
// only use them.
#include <cstdint>
#include <string>

namespace channels {

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
  std::uint32_t id = 0;  // kept with the stored list, never reused: what the check cycle knows of it follows it
  bool IsSet() const { return !url.empty(); }
};

}  // namespace channels
