#include "settings/SettingsRules.h"

#include "settings/NumberText.h"

namespace settings {

int IntervalIndexForText(const std::string& milliseconds) {
  for (size_t i = 0; i < kIntervals.size(); ++i)
    if (milliseconds == kIntervals[i].milliseconds) return static_cast<int>(i);
  return kDefaultIntervalIndex;
}

std::string IntervalTextForIndex(int index) {
  if (index < 0 || index >= static_cast<int>(kIntervals.size())) index = kDefaultIntervalIndex;
  return kIntervals[static_cast<size_t>(index)].milliseconds;
}

int AuthIndexForText(const std::string& code) {
  const int index = settings::LeadingInt(code);
  return index >= 0 && index < static_cast<int>(kAuthTypes.size()) ? index : -1;
}

bool Ipv6OnFromText(const std::string& stored) { return stored == kIpv6On; }

int Ipv6IndexForText(const std::string& stored) { return Ipv6OnFromText(stored) ? 1 : 0; }

std::string Ipv6TextForIndex(int index) { return index == 1 ? kIpv6On : kIpv6Off; }

std::string ShownText(const std::string& stored) { return stored == kNotSet ? std::string() : stored; }

bool CanSendNotification(const MailSettings& mail) { return !IsNotSet(mail.server) && !IsNotSet(mail.to); }

TestMailCheck CheckTestMailSettings(const TypedMailSettings& typed) {
  TestMailCheck check;
  auto fail = [&check](const char* message) {
    check.messages.emplace_back(message);
    check.failed = true;
  };
  if (typed.server.empty())
    fail(
        "'SMTP Server' field cannot be empty.  Please enter your e-mail server name.\n"
        "Examples: mail.example.com, smtp.example.com, outgoing.example.com");
  if (typed.authIndex == kAuthLogin && (typed.username.empty() || typed.password.empty()))
    fail(
        "Must enter username and password when 'Login' Authentication is selected. Your username may either be "
        "the login you use to login to your e-mail server, or, in some cases, your whole e-mail address.");
  if (typed.to.empty()) fail("Must enter a valid e-mail address to send IP updates to!");
  if (typed.from.empty())
    check.messages.emplace_back(
        "Please be advised that if you leave the 'From' field blank, your e-mail may get rejected!");
  return check;
}

}  // namespace settings
