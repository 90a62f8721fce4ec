#pragma once
// The program's key: what start-up reads from it, and the one reader and
// writer of the mail settings that the main window and the dialog share.
#include <string>
#include <vector>

#include <windows.h>

#include "settings/SettingsLayout.h"

class CRegistry;

namespace settings {

inline const HKEY kRoot = HKEY_CURRENT_USER;

// The names of protected values that are stored but cannot be read by this
// user: each reader adds those it met, and the member they fill is left
// empty, as if nothing were stored.
using Unreadable = std::vector<std::string>;

struct StartupSettings {
  bool firstRun = false;
  MailSettings mail;  // left empty on a first run
  std::string link;
  int intervalMs = 0;
  bool ipv6 = false;      // this computer's IPv6 address watched too; off on a first run
  Unreadable unreadable;  // mail and web alike
};

// Opens the program's key in `registry`, creating it when it is missing, for
// reading and writing. Every reader and writer of the settings comes in here.
void OpenStore(CRegistry& registry);

// The page addresses as stored, with what earlier first runs stored read as
// the current default; empty when the value cannot be read.
std::string ReadLink(CRegistry& registry);

// The Timer value's text as stored; empty when it cannot be read.
std::string ReadTimer(CRegistry& registry);

// The IPv6 value's text as stored; empty when it is missing or cannot be
// read, which reads as off.
std::string ReadIpv6(CRegistry& registry);

// Opens (or creates) the key; on a first run (no Version) writes every
// default in order, otherwise reads every value. A value that cannot be read
// leaves its member as it was, and the interval is never zero.
StartupSettings LoadStartupSettings();

// The mail settings and the web targets as stored now, each read through a
// store opened afresh; every value that cannot be read is added to `unreadable`.
MailSettings LoadMailSettings(Unreadable& unreadable);
std::vector<WebSettings> LoadWebTargets(Unreadable& unreadable);

// Reads the six mail values in order; each one that cannot be read keeps the
// member's current text. The password comes from its protected form when
// that is present and this user's; otherwise from the scrambled text an
// earlier version saved, where the marker means no password.
void ReadMailSettings(CRegistry& registry, MailSettings& mail, Unreadable* unreadable = nullptr);

// Writes the six mail values. An empty text is stored as the marker, so a
// cleared field stays cleared; the password goes in its protected form, with
// the marker in the scrambled value, and an empty one removes the protected
// form (one that cannot be read stays until a password is typed). Every
// write is tried; the result is empty when all succeeded, else what failed,
// for the user.
std::string WriteMailSettings(CRegistry& registry, const MailSettings& mail);

// The web targets in order, each with its id: the stored list; while none
// is stored, the per-target form an earlier version wrote (ids 1..n in its
// order); while neither is, the first release's single target as the only
// one (id 1). Addresses, headers and bodies come from their protected forms
// (empty when missing or not this user's, those named in `unreadable`); a
// method that is not one of the four reads as GET. A list or count that is
// stored but cannot be read is named in `unreadable` and reads as no targets.
std::vector<WebSettings> ReadWebTargets(CRegistry& registry, Unreadable* unreadable = nullptr);

// One box naming the values among `valueNames` that this run has not told
// the user about yet; nothing when there are none.
void WarnUnreadable(const Unreadable& valueNames);

// The same told from a message posted to a window, so the box never holds
// up whatever read the settings (a check, the timer): `Add` gathers names
// and posts `message` to `window` once, `Tell` shows them when it arrives.
class UnreadableLater {
 public:
  void Add(HWND window, UINT message, const Unreadable& valueNames);
  void Tell();

 private:
  Unreadable m_waiting;
};

// Writes the whole list (at most kMostWebTargets) as one protected value in
// one write, so a failed save leaves the earlier list exactly as it was. A
// target without an id is given one this store never gave before. Only once
// the list stands are the earlier forms removed (but for a value that cannot
// be read whose target the list still holds unchanged); one that cannot be
// removed is tried again at the next save. An empty list does not replace a
// stored one that cannot be read. Returns why the list could not be
// written, empty when it was.
std::string WriteWebTargets(CRegistry& registry, const std::vector<WebSettings>& targets);

// One text value, the same way, for the values outside the mail settings;
// what failed is added to `failures`, one line each.
void WriteSetting(CRegistry& registry, const char* name, const std::string& text, std::string& failures);

}  // namespace settings
