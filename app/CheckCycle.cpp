#include "app/CheckCycle.h"

#include <algorithm>

#include "app/IpCheck.h"
#include "channels/WebNotify.h"

namespace app {

namespace {

constexpr char kStoppedNotice[] = " It will not be called again until you change its settings.";

std::string WaitNotice(std::uint32_t ms) {
  const std::uint32_t minutes = (ms + 59'999) / 60'000;
  return " It will not be called again for " + std::to_string(minutes) + (minutes == 1 ? " minute." : " minutes.");
}

// The failure's words with what happens next after them, as two sentences.
std::string WithNotice(std::string text, const std::string& notice) {
  if (!text.empty() && text.back() != '.') text += '.';
  return text + notice;
}

}  // namespace

void CheckCycle::Begin() {
  m_fetched = Address();
  m_fetchedPage = false;
  m_changed = false;
  m_failed = false;
  m_delivered = false;
  m_outOfMemory = false;
  m_failures.clear();
}

void CheckCycle::FetchFailed(std::string why, bool outOfMemory) {
  Begin();
  m_failed = true;
  m_outOfMemory = outOfMemory;
  m_failures.push_back(std::move(why));
}

CheckPlan CheckCycle::Fetched(const Address& address, const ChannelSetup& setup, std::uint64_t nowMs) {
  Begin();
  m_fetchedPage = true;
  m_fetched = address;
  m_changed = IsChange(address.v4, m_shown.v4) || IsChange(address.v6, m_shown.v6);
  Adopt(setup);
  if (m_changed && m_channels.empty()) {
    CheckPlan plan;
    plan.askForSettings = true;
    plan.address = address;
    return plan;
  }
  return PlanCalls(nowMs);
}

CheckPlan CheckCycle::AfterSettings(const ChannelSetup& setup, std::uint64_t nowMs) {
  Adopt(setup);
  return PlanCalls(nowMs);
}

// A channel set up since the last check starts as told what the window
// shows: one saved in passing counts from the next change on, so saving a
// setting sends nothing by itself, and one set up in the dialog that a
// change opened is owed that change, and only that change. Had it started
// with nothing, a failed first send would later mail the address the field
// showed all along.
void CheckCycle::Adopt(const ChannelSetup& setup) {
  std::map<Channel, Ledger> now;
  for (const ChannelUse& use : setup) {
    const auto known = m_channels.find(use.channel);
    Ledger ledger;
    if (known != m_channels.end()) {
      ledger = known->second;
    } else {
      ledger.told = m_shown;
    }
    ledger.families = use.families;  // an edited target may use other placeholders now
    ledger.owed = use.owed;
    now.emplace(use.channel, std::move(ledger));
  }
  m_channels = std::move(now);
}

// Owed when what it was told of a family it uses differs from what is known
// of that family now; a family with no address asks for nothing.
bool CheckCycle::Owed(const Ledger& ledger, const Address& latest) const {
  if (!ledger.owed) return false;
  const bool v4 = (ledger.families & kIpv4) && !latest.v4.empty() && ledger.told.v4 != latest.v4;
  const bool v6 = (ledger.families & kIpv6) && !latest.v6.empty() && ledger.told.v6 != latest.v6;
  return v4 || v6;
}

CheckPlan CheckCycle::PlanCalls(std::uint64_t nowMs) const {
  CheckPlan plan;
  plan.address = m_fetched;
  for (const auto& [channel, ledger] : m_channels) {
    if (!ledger.stopped && Owed(ledger, m_fetched) && ledger.dueMs <= nowMs)
      plan.calls.push_back({channel, ledger.told});
  }
  return plan;
}

// A web target that failed waits a minute, then twice as long after each
// further failure, never longer than the interval, so a service in trouble
// is not called at every check that a wake-up or a network change brings.
// The mail keeps the check's own back-off.
std::uint32_t CheckCycle::NextBackOff(Ledger& ledger) const {
  const std::uint32_t ceiling = std::max<std::uint32_t>(m_schedule.IntervalMs(), 1);
  const std::uint32_t wait = std::min(ledger.backOffMs ? ledger.backOffMs : kFirstRetryMs, ceiling);
  ledger.backOffMs = wait > ceiling / 2 ? ceiling : wait * 2;
  return wait;
}

void CheckCycle::Called(Channel channel, const Address& address, const ChannelResult& result, std::uint64_t nowMs,
                        std::string clock) {
  const auto found = m_channels.find(channel);
  if (found == m_channels.end()) return;
  Ledger& ledger = found->second;
  ledger.row = channels::ResultRow(result, clock);
  if (!ledger.owed) {
    // Called on the check's outcome, it holds nothing back and fails no
    // check: a plain failure is simply tried again at the next check.
    if (result.kind == ChannelResult::Wait) {
      ledger.dueMs = nowMs + result.minDelayMs;
      m_failures.push_back(WithNotice(result.text, WaitNotice(result.minDelayMs)));
    } else if (result.kind == ChannelResult::Stopped) {
      ledger.stopped = true;
      m_failures.push_back(WithNotice(result.text, kStoppedNotice));
    }
    return;
  }
  switch (result.kind) {
    case ChannelResult::Ok:
      if ((ledger.families & kIpv4) && !address.v4.empty()) ledger.told.v4 = address.v4;
      if ((ledger.families & kIpv6) && !address.v6.empty()) ledger.told.v6 = address.v6;
      ledger.dueMs = 0;
      ledger.backOffMs = 0;
      m_delivered = true;
      return;
    case ChannelResult::Transient:
      m_failed = true;
      if (channel.kind == Channel::Web) ledger.dueMs = nowMs + NextBackOff(ledger);
      m_failures.push_back(result.text);
      return;
    case ChannelResult::Wait:
      m_failed = true;
      ledger.dueMs = nowMs + result.minDelayMs;
      m_failures.push_back(WithNotice(result.text, WaitNotice(result.minDelayMs)));
      return;
    case ChannelResult::Stopped:
      // Said once: a stopped channel is not called again, so it fails no more.
      ledger.stopped = true;
      m_failures.push_back(WithNotice(result.text, kStoppedNotice));
      return;
  }
}

std::string CheckCycle::FailureText() const {
  std::vector<std::string> said;
  for (const std::string& text : m_failures)
    if (!text.empty()) said.push_back(text);
  return CombinedFailure(said);
}

bool CheckCycle::MayCall(Channel channel, std::uint64_t nowMs) const {
  const auto found = m_channels.find(channel);
  return found != m_channels.end() && !found->second.stopped && found->second.dueMs <= nowMs;
}

CheckEnd CheckCycle::End() {
  CheckEnd end;
  const Address before = m_shown;
  if (m_changed) {
    if (ShowFamily(&Address::v4, kIpv4)) m_shown.v4 = m_fetched.v4;
    if (ShowFamily(&Address::v6, kIpv6)) m_shown.v6 = m_fetched.v6;
  }
  if (m_fetchedPage && m_fetched.v6.empty()) m_shown.v6.clear();  // gone: nothing to hold back
  if (m_delivered && m_shown == m_fetched && m_popupTold != m_fetched) {
    m_popupTold = m_fetched;
    end.announce = true;
  }
  end.shownAddress = m_shown;
  if (m_outOfMemory) {
    end.failure.kind = CheckFailure::OutOfMemory;
  } else if (!m_failures.empty()) {
    // A failure that came without words still gets a box, with the
    // generic text, rather than passing for a good check.
    end.failure = {CheckFailure::Text, FailureText()};
  }
  end.show = m_fetchedPage && (end.failure.kind == CheckFailure::None || m_shown != before);
  end.timerMs = m_schedule.AfterCheck(!m_failed);
  return end;
}

void CheckCycle::WebActedOn() {
  for (auto& [channel, ledger] : m_channels)
    if (channel.kind == Channel::Web) ledger.stopped = false;
}

bool CheckCycle::AnyWebStopped() const {
  for (const auto& [channel, ledger] : m_channels)
    if (channel.kind == Channel::Web && ledger.stopped) return true;
  return false;
}

CheckCycle::State CheckCycle::StateOf(Channel channel, std::uint64_t nowMs) const {
  const auto found = m_channels.find(channel);
  if (found == m_channels.end()) return State::Off;
  const Ledger& ledger = found->second;
  if (ledger.stopped) return State::Stopped;
  const Address& latest = m_fetched.v4.empty() ? m_shown : m_fetched;
  if (!Owed(ledger, latest)) return State::Delivered;
  return ledger.dueMs > nowMs ? State::Waiting : State::Owed;
}

std::string CheckCycle::ResultRow(Channel channel) const {
  const auto found = m_channels.find(channel);
  return found == m_channels.end() ? std::string() : found->second.row;
}

// A field moves on once its address has gone out somewhere, or once nobody
// is left to try it; while every channel that uses it still owes it, it
// keeps the old address, so the next check sees the change again.
bool CheckCycle::ShowFamily(const std::string Address::*family, Families used) const {
  const std::string& fetched = m_fetched.*family;
  if (!IsChange(fetched, m_shown.*family)) return false;
  bool somewhere = false, leftToTry = false;
  for (const auto& [channel, ledger] : m_channels) {
    if (!ledger.owed || !(ledger.families & used)) continue;
    somewhere = somewhere || ledger.told.*family == fetched;
    leftToTry = leftToTry || !ledger.stopped;
  }
  return somewhere || !leftToTry;
}

}  // namespace app
