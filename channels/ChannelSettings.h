#pragma once
// What each channel is set up with: the mail account and one web target,
// as the user typed them. The store reads and writes them; the channels
// only use them.
#include <cstdint>
#include <map>
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
// When a target is called. A change of address is what every target was
// called for before there was a choice, so it is what a target stored then
// reads as. A heartbeat goes out after every check that got an address, for
// a service that warns when the calls stop coming; a failure target is
// called once when checks keep failing and once more when one succeeds.
enum class WebWhen { OnChange, EveryGoodCheck, KeepsFailing };
// The editor's words for each, in the order of the enum.
inline constexpr const char* kWebWhenWords[] = {"On a change", "After every good check", "When checks keep failing"};
struct WebSettings {
  std::string url, method = kWebGet, headers, body;
  // Stays with the target through edits and moves in the list, and is never
  // given to another in the same store; 0 until the store gives it one.
  std::uint32_t id = 0;
  WebWhen when = WebWhen::OnChange;
  bool IsSet() const { return !url.empty(); }
};

// Each web target's last result as its row in the list shows it, by the
// target's id, so it follows the target wherever the list moves it.
using WebResults = std::map<std::uint32_t, std::string>;

}  // namespace channels
