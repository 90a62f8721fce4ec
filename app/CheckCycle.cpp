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
  m_fetched.clear();
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

CheckPlan CheckCycle::Fetched(const std::string& address, const ChannelSetup& setup, std::uint64_t nowMs) {
  Begin();
  m_fetchedPage = true;
  m_fetched = address;
  m_changed = IsChange(address, m_shown);
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
  for (const Channel channel : setup) {
    const auto known = m_channels.find(channel);
    if (known != m_channels.end()) {
      now.insert(*known);
    } else {
      Ledger fresh;
      fresh.told = m_shown;
      now.emplace(channel, std::move(fresh));
    }
  }
  m_channels = std::move(now);
}

CheckPlan CheckCycle::PlanCalls(std::uint64_t nowMs) const {
  CheckPlan plan;
  plan.address = m_fetched;
  if (m_fetched.empty()) return plan;  // the page showed no address: nothing to send
  for (const auto& [channel, ledger] : m_channels) {
    if (!ledger.stopped && ledger.told != m_fetched && ledger.dueMs <= nowMs)
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

void CheckCycle::Called(Channel channel, const std::string& address, const ChannelResult& result, std::uint64_t nowMs,
                        std::string clock) {
  const auto found = m_channels.find(channel);
  if (found == m_channels.end()) return;
  Ledger& ledger = found->second;
  ledger.row = channels::ResultRow(result, clock);
  switch (result.kind) {
    case ChannelResult::Ok:
      ledger.told = address;
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

CheckEnd CheckCycle::End() {
  CheckEnd end;
  const std::string before = m_shown;
  if (m_changed) {
    // The field moves on once the address has gone out somewhere, or once
    // nobody is left to try it; while every channel still owes it, it keeps
    // the old address, so the next check sees the change again.
    bool somewhere = false;
    for (const auto& [channel, ledger] : m_channels) somewhere = somewhere || ledger.told == m_fetched;
    if (somewhere || !AnyLeftToTry()) m_shown = m_fetched;
  }
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
    std::vector<std::string> said;
    for (const std::string& text : m_failures)
      if (!text.empty()) said.push_back(text);
    end.failure = {CheckFailure::Text, CombinedFailure(said)};
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
  const std::string& latest = m_fetched.empty() ? m_shown : m_fetched;
  if (ledger.told == latest) return State::Delivered;
  return ledger.dueMs > nowMs ? State::Waiting : State::Owed;
}

std::string CheckCycle::ResultRow(Channel channel) const {
  const auto found = m_channels.find(channel);
  return found == m_channels.end() ? std::string() : found->second.row;
}

bool CheckCycle::AnyLeftToTry() const {
  for (const auto& [channel, ledger] : m_channels)
    if (!ledger.stopped) return true;
  return false;
}

}  // namespace app
