#pragma once
// What the settings dialog shows, checks and stores, free of any window.
#include <array>
#include <string>
#include <vector>

#include "settings/SettingsLayout.h"

namespace settings {

struct IntervalChoice {
  const char* label;
  const char* milliseconds;  // as stored in Timer
};
inline constexpr std::array<IntervalChoice, 6> kIntervals{{{"5 Minutes", "300000"},
                                                           {"10 Minutes", "600000"},
                                                           {"15 Minutes", "900000"},
                                                           {"30 Minutes", "1800000"},
                                                           {"1 Hour", "3600000"},
                                                           {"1 Day", "86400000"}}};
inline constexpr int kDefaultIntervalIndex = 2;

// The position is the code stored in SMTPAuth and handed to the mail control.
inline constexpr std::array<const char*, 4> kAuthTypes{"None", "POP3", "Login", "Plain"};
inline constexpr int kAuthLogin = 2;

// The IPv6 list, in order; the position is the code stored in IPv6.
inline constexpr std::array<const char*, 2> kIpv6Choices{"Off", "This computer's address"};
// Only the stored "1" turns IPv6 on; a missing or unreadable value is off.
bool Ipv6OnFromText(const std::string& stored);
// The list entry for a stored IPv6 text, and the text for a list position
// (no selection stores "0").
int Ipv6IndexForText(const std::string& stored);
std::string Ipv6TextForIndex(int index);

// The list entry for a stored Timer text: an exact match, else 15 minutes.
int IntervalIndexForText(const std::string& milliseconds);
// The Timer text to store for a list position; no selection stores 15 minutes.
std::string IntervalTextForIndex(int index);
// The list entry for a stored SMTPAuth text, or -1 (no entry) outside 0..3.
int AuthIndexForText(const std::string& code);
// "null" is shown as an empty field.
std::string ShownText(const std::string& stored);

struct TypedMailSettings {
  std::string server, username, password, to, from;
  int authIndex = -1;
};

struct TestMailCheck {
  std::vector<std::string> messages;  // each shown in a box of its own, in order
  bool failed = false;
};
// Every check runs, whatever the earlier ones found; a missing sender only warns.
TestMailCheck CheckTestMailSettings(const TypedMailSettings& typed);

// What the test mail accepts, the notification accepts: the server and the
// recipient must be set; an empty sender goes out empty, as in the test mail.
bool CanSendNotification(const MailSettings& mail);

inline constexpr char kTestSubject[] = "Corvane Test E-Mail";
inline constexpr char kTestText[] = "Your Corvane E-mail settings were set correctly!";
inline constexpr char kTestSent[] = "Settings OK! Test E-Mail Has Been Sent!";
inline constexpr char kTestFailed[] = "Test Failed!  Please Check Your Settings!";
inline constexpr char kRestartNotice[] = "Please restart Corvane for new settings to take effect!";
inline constexpr char kNoHelp[] = "Help is not available at this time!";
inline constexpr char kChooseAuth[] =
    "No authentication method is selected for the mail. Please choose an Authentication entry in Settings.";
inline constexpr char kNotSaved[] = "Settings could not be saved: ";

}  // namespace settings
