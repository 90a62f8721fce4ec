#pragma once
// What the check conductor is served by: the network work, the history, and
// the window with its settings, clocks and effects.
#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include "app/CheckCycle.h"
#include "channels/ChannelSettings.h"

namespace app {

// One mail to send, with everything the mail control is given.
struct MailJob {
  channels::MailSettings account;
  int authIndex = 0;
  std::string subject, text;
};

// The network work of a check. Each call returns at once, with nothing
// when the work has started, whose end then comes back through the
// conductor's matching input, tagged with the check it was started for;
// or with the words of why it could not even start.
class CheckNetwork {
 public:
  virtual ~CheckNetwork() = default;
  virtual std::string StartPageFetch(std::uint32_t check, const std::string& url) = 0;
  virtual std::string StartMail(std::uint32_t check, const MailJob& mail) = 0;
  // `at` is the moment the page was read, for the target's {time};
  // `error` what made the checks fail, for its {error}.
  virtual std::string StartWebCall(std::uint32_t check, const channels::WebSettings& target, const Address& address,
                                   const Address& old, std::time_t at, const std::string& error) = 0;
};

// What the history is told: the address a check found, at the local time
// `localTime`, and what a channel owed it made of it.
class CheckHistory {
 public:
  virtual ~CheckHistory() = default;
  virtual void AddressSeen(const std::string& address, const std::string& localTime) = 0;
  virtual void ChannelOutcome(const std::string& address, const std::string& channel, const std::string& outcome) = 0;
};

// What the window does for the conductor.
class CheckPorts {
 public:
  virtual ~CheckPorts() = default;

  // The web targets as stored now.
  virtual std::vector<channels::WebSettings> ReadWebTargets() = 0;
  // Opens the settings dialog for `found`, the address this check found,
  // and returns once it has closed.
  struct SettingsAnswer {
    channels::MailSettings mail;             // as stored now: it counts at once
    std::vector<channels::WebSettings> web;  // likewise
    bool webActedOn = false;                 // a target saved, or a test of one got through
  };
  virtual SettingsAnswer AskForSettings(const std::string& found) = 0;

  // This computer's stable IPv6 address, empty when it has none.
  virtual std::string StableIpv6() = 0;

  virtual std::uint64_t SteadyMs() = 0;
  virtual std::time_t WallTime() = 0;

  virtual void Announce() = 0;
  virtual void Show(const Address& address, const std::string& stamp) = 0;
  virtual void SetCheckTimer(std::uint32_t ms) = 0;
  virtual void Report(const CheckFailure& failure) = 0;
  // A check started or ended: the Update button, the tooltip.
  virtual void Running(bool running) = 0;
};

}  // namespace app
