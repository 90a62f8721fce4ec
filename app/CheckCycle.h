#pragma once
// The check cycle's decisions, free of any window: which address the window
// shows, which channel (the mail, each web target) is owed the address and
// may be called now, when the popup shows, what the failure box says and
// when the next check runs. Each channel keeps its own truth: what it was
// last told, and what its last call came to.
#include <compare>
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "app/CheckSchedule.h"
#include "channels/ChannelResult.h"

namespace app {

using channels::ChannelResult;

// A channel is named by its kind and, for a web target, the id the stored
// list keeps for it, so what it was told follows it wherever the list moves
// it and never passes to another target.
struct Channel {
  enum Kind : std::uint8_t { Mail, Web };
  Kind kind = Mail;
  std::uint32_t id = 0;
  auto operator<=>(const Channel&) const = default;
};
inline constexpr Channel kMailChannel{Channel::Mail, 0};
inline constexpr Channel WebChannel(std::uint32_t id) { return {Channel::Web, id}; }

// The address families a channel is told about.
enum Families : std::uint8_t { kIpv4 = 1, kIpv6 = 2, kBothFamilies = kIpv4 | kIpv6 };

// The computer's addresses at one moment: the public IPv4 address the page
// shows and, when it is watched, this computer's stable IPv6 address. Each
// family is a truth of its own; an empty one is not known.
struct Address {
  Address(std::string ipv4 = {}, std::string ipv6 = {}) : v4(std::move(ipv4)), v6(std::move(ipv6)) {}
  Address(const char* ipv4) : v4(ipv4) {}
  std::string v4, v6;
  bool operator==(const Address&) const = default;
};

// A channel the user has set up now, and the families it uses; the list
// may grow or shrink between checks.
struct ChannelUse {
  ChannelUse(Channel c, Families f = kIpv4, bool owedChanges = true) : channel(c), families(f), owed(owedChanges) {}
  Channel channel;
  Families families;
  // False for a target called on the check's outcome rather than on a
  // change (a heartbeat, a warning that checks keep failing): it is never
  // owed an address, and only its service's stop and wait rule it.
  bool owed;
};
using ChannelSetup = std::vector<ChannelUse>;

// What one check asks of the window once the page has been read.
struct CheckPlan {
  bool askForSettings = false;  // open the settings dialog, then ask for the plan again
  Address address;              // the address to send
  struct Call {
    Channel channel;
    Address old;  // what this channel was told before, empty when nothing yet
  };
  std::vector<Call> calls;  // all of them may run at once
};

// The box a check ends with, if any.
struct CheckFailure {
  enum Kind : std::uint8_t { None, Text, OutOfMemory };
  Kind kind = None;
  std::string text;  // with Text: what the user reads; empty when the failure came without words
};

// What the window does once the check has ended.
struct CheckEnd {
  // Write the address and the new stamp to their fields. A check that failed
  // and moved nothing leaves both as they were, as a failed fetch does.
  bool show = false;
  Address shownAddress;                  // the address fields
  bool announce = false;                 // slide out the popup
  CheckFailure failure;                  // a box, shown after everything else
  std::optional<std::uint32_t> timerMs;  // set the check timer to this, or leave its rhythm alone
};

class CheckCycle {
 public:
  explicit CheckCycle(std::uint32_t intervalMs) : m_schedule(intervalMs) {}

  // The page failed; `why` is for the user. Nothing is shown or sent.
  void FetchFailed(std::string why, bool outOfMemory = false);

  // The page showed `address` (empty when it showed none) at `nowMs` on a
  // steady clock. Returns who to call now; asks for the settings when the
  // address is new and no channel is set up. A channel is owed the address
  // when what it was told of a family it uses differs from a known one.
  CheckPlan Fetched(const Address& address, const ChannelSetup& setup, std::uint64_t nowMs);

  // After the settings dialog that the plan asked for: who to call now. The
  // settings dialog is never asked for twice in one check.
  CheckPlan AfterSettings(const ChannelSetup& setup, std::uint64_t nowMs);

  // What a call of the plan came to; `clock` is the local time for the
  // channel's row. A result for a channel no longer set up is dropped.
  void Called(Channel channel, const Address& address, const ChannelResult& result, std::uint64_t nowMs,
              std::string clock = {});

  // Whether this check has failed so far, and in what words.
  bool Failing() const { return m_failed; }
  std::string FailureText() const;

  // Whether a channel not owed changes may be called now: set up, not
  // stopped, and past any wait its service asked for.
  bool MayCall(Channel channel, std::uint64_t nowMs) const;

  // The check has ended: what to show, announce and report, and when the
  // next check runs.
  CheckEnd End();

  // The user saved the web targets or a test call of one got through: a
  // target stopped by its service may be called again. (The mail never
  // stops, so there is nothing of it to resume.)
  void WebActedOn();

  // The address the window shows now.
  const Address& Shown() const { return m_shown; }
  // True while some web target waits for the user to change its settings.
  bool AnyWebStopped() const;
  // A channel's own state at `nowMs`, for the window's and the tests' eyes.
  enum class State { Off, Delivered, Owed, Waiting, Stopped };
  State StateOf(Channel channel, std::uint64_t nowMs) const;
  // The channel's last result as its row in a list shows it; empty before its first call.
  std::string ResultRow(Channel channel) const;

  CheckSchedule& Schedule() { return m_schedule; }

 private:
  struct Ledger {
    Families families = kIpv4;
    bool owed = true;             // owed each change; false for one called on the check's outcome
    Address told;                 // the last address of each family this channel got through with
    bool stopped = false;         // refused for good: only the user can mend it
    std::uint64_t dueMs = 0;      // no call before this moment (a failure or the service asked for a wait)
    std::uint32_t backOffMs = 0;  // a web target's next wait after a failure; 0 until it fails
    std::string row;              // its last result, for its row in the list
  };

  void Begin();
  void Adopt(const ChannelSetup& setup);
  CheckPlan PlanCalls(std::uint64_t nowMs) const;
  bool Owed(const Ledger& ledger, const Address& latest) const;
  bool ShowFamily(const std::string Address::*family, Families used) const;
  std::uint32_t NextBackOff(Ledger& ledger) const;

  CheckSchedule m_schedule;
  std::map<Channel, Ledger> m_channels;  // the channels set up now
  Address m_shown;                       // what the address fields show
  Address m_fetched;                     // what this check found
  Address m_popupTold;                   // the address the popup last announced
  bool m_fetchedPage = false;            // this check read the page
  bool m_changed = false;                // this check's address differs from the one shown
  bool m_failed = false;                 // something in this check failed and is worth trying soon
  bool m_delivered = false;              // some channel got this check's address through
  bool m_outOfMemory = false;
  std::vector<std::string> m_failures;
};

}  // namespace app
