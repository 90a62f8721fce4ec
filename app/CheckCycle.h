#pragma once
// The check cycle's decisions, free of any window: which address the window
// shows, which channel (the mail, each web notification) is owed the address
// and may be called now, when the popup shows, what the failure box says and
// when the next check runs. Each channel keeps its own truth: what it was
// last told. The main window feeds in what the page and each channel came
// to, and carries out what is handed back.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "ChannelResult.h"
#include "CheckSchedule.h"

namespace app {

using notify::ChannelResult;

// Channel 0 is the mail; the web notifications follow, in their stored order.
using Channel = std::size_t;
inline constexpr Channel kMailChannel = 0;

// Which channels the user has set up now, one flag a channel; the list may
// grow or shrink between checks.
using ChannelSetup = std::vector<bool>;

// What one check asks of the window once the page has been read.
struct CheckPlan {
  bool askForSettings = false;  // open the settings dialog, then ask for the plan again
  std::string address;          // the address to send
  struct Call {
    Channel channel;
    std::string old;  // what this channel was told before, empty when nothing yet
  };
  std::vector<Call> calls;  // in this order
};

// What the window does once the check has ended.
struct CheckEnd {
  // Write the address and the new stamp to their fields. A check that failed
  // and moved nothing leaves both as they were, as a failed fetch does.
  bool show = false;
  std::string shownAddress;              // the address field
  bool announce = false;                 // slide out the popup
  std::string failure;                   // a box, shown after everything else; empty when all went well
  std::optional<std::uint32_t> timerMs;  // set the check timer to this, or leave its rhythm alone
};

class CheckCycle {
 public:
  explicit CheckCycle(std::uint32_t intervalMs) : m_schedule(intervalMs) {}

  // The page failed; `why` is for the user. Nothing is shown or sent.
  void FetchFailed(std::string why);

  // The page showed `address` (empty when it showed none) at `nowMs` on a
  // steady clock. Returns who to call now; asks for the settings when the
  // address is new and no channel is set up.
  CheckPlan Fetched(const std::string& address, const ChannelSetup& setup, std::uint64_t nowMs);

  // After the settings dialog that the plan asked for: who to call now. The
  // settings dialog is never asked for twice in one check.
  CheckPlan AfterSettings(const ChannelSetup& setup, std::uint64_t nowMs);

  // What a call of the plan came to.
  void Called(Channel channel, const std::string& address, const ChannelResult& result, std::uint64_t nowMs);

  // The check has ended: what to show, announce and report, and when the
  // next check runs.
  CheckEnd End();

  // The user saved the web notification or a test call of it got through:
  // a channel stopped by its service may be called again.
  void WebActedOn();

  // The web targets' list was stored: `origins` gives, for each target, its
  // position before (or -1 for a new one), so each keeps what it was told.
  void WebTargetsStored(const std::vector<int>& origins);

  // The address the window shows now.
  const std::string& Shown() const { return m_shown; }
  // True while some web notification waits for the user to change its settings.
  bool AnyWebStopped() const;
  // A channel's own state at `nowMs`, for the window's and the tests' eyes.
  enum class State { Off, Delivered, Owed, Waiting, Stopped };
  State StateOf(Channel channel, std::uint64_t nowMs) const;

  CheckSchedule& Schedule() { return m_schedule; }

 private:
  struct Ledger {
    bool setUp = false;
    std::string told;         // the last address this channel got through with
    bool stopped = false;     // refused for good: only the user can mend it
    std::uint64_t dueMs = 0;  // no call before this moment (a service asked for a wait)
  };

  void Begin();
  void Adopt(const ChannelSetup& setup, bool changeAskedFor);
  CheckPlan PlanCalls(std::uint64_t nowMs) const;
  bool AnySetUp() const;
  bool AnyLeftToTry() const;

  CheckSchedule m_schedule;
  std::vector<Ledger> m_channels;
  std::string m_shown;         // what the address field shows
  std::string m_fetched;       // what the page showed at this check
  std::string m_popupTold;     // the address the popup last announced
  bool m_fetchedPage = false;  // this check read the page
  bool m_changed = false;      // this check's address differs from the one shown
  bool m_failed = false;       // something in this check failed and is worth trying soon
  bool m_delivered = false;    // some channel got this check's address through
  std::vector<std::string> m_failures;
};

}  // namespace app
