#include "CheckCycle.h"

#include "IpCheck.h"
#include "TargetOrder.h"

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
  m_failures.clear();
}

void CheckCycle::FetchFailed(std::string why) {
  Begin();
  m_failed = true;
  m_failures.push_back(std::move(why));
}

CheckPlan CheckCycle::Fetched(const std::string& address, const ChannelSetup& setup, std::uint64_t nowMs) {
  Begin();
  m_fetchedPage = true;
  m_fetched = address;
  m_changed = IsChange(address, m_shown);
  Adopt(setup, false);
  if (m_changed && !AnySetUp()) {
    CheckPlan plan;
    plan.askForSettings = true;
    plan.address = address;
    return plan;
  }
  return PlanCalls(nowMs);
}

CheckPlan CheckCycle::AfterSettings(const ChannelSetup& setup, std::uint64_t nowMs) {
  Adopt(setup, true);
  return PlanCalls(nowMs);
}

// A channel set up since the last check is owed what the window shows only
// when the user set it up for this very change; one saved in passing counts
// from the next change on, so saving a setting sends nothing by itself.
void CheckCycle::Adopt(const ChannelSetup& setup, bool changeAskedFor) {
  m_channels.resize(setup.size());
  for (std::size_t i = 0; i < setup.size(); ++i) {
    Ledger& channel = m_channels[i];
    if (setup[i] && !channel.setUp && !changeAskedFor) channel.told = m_shown;
    channel.setUp = setup[i];
  }
}

CheckPlan CheckCycle::PlanCalls(std::uint64_t nowMs) const {
  CheckPlan plan;
  plan.address = m_fetched;
  if (m_fetched.empty()) return plan;  // the page showed no address: nothing to send
  for (Channel i = 0; i < m_channels.size(); ++i) {
    const Ledger& channel = m_channels[i];
    if (channel.setUp && !channel.stopped && channel.told != m_fetched && channel.dueMs <= nowMs)
      plan.calls.push_back({i, channel.told});
  }
  return plan;
}

void CheckCycle::Called(Channel channel, const std::string& address, const ChannelResult& result, std::uint64_t nowMs) {
  if (channel >= m_channels.size()) return;
  Ledger& ledger = m_channels[channel];
  switch (result.kind) {
    case ChannelResult::Ok:
      ledger.told = address;
      ledger.dueMs = 0;
      m_delivered = true;
      return;
    case ChannelResult::Transient:
      m_failed = true;
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
    for (const Ledger& channel : m_channels) somewhere = somewhere || (channel.setUp && channel.told == m_fetched);
    if (somewhere || !AnyLeftToTry()) m_shown = m_fetched;
  }
  if (m_delivered && m_shown == m_fetched && m_popupTold != m_fetched) {
    m_popupTold = m_fetched;
    end.announce = true;
  }
  end.shownAddress = m_shown;
  end.failure = CombinedFailure(m_failures);
  end.show = m_fetchedPage && (end.failure.empty() || m_shown != before);
  end.timerMs = m_schedule.AfterCheck(!m_failed);
  return end;
}

void CheckCycle::WebTargetsStored(const std::vector<int>& origins) {
  if (m_channels.empty()) return;  // nothing known yet: the next check adopts the list as it is
  const std::vector<Ledger> web(m_channels.begin() + kMailChannel + 1, m_channels.end());
  const std::vector<Ledger> moved = notify::FollowTargets(web, origins);
  m_channels.resize(kMailChannel + 1);
  m_channels.insert(m_channels.end(), moved.begin(), moved.end());
}

void CheckCycle::WebActedOn() {
  for (Channel i = kMailChannel + 1; i < m_channels.size(); ++i) m_channels[i].stopped = false;
}

bool CheckCycle::AnyWebStopped() const {
  for (Channel i = kMailChannel + 1; i < m_channels.size(); ++i)
    if (m_channels[i].setUp && m_channels[i].stopped) return true;
  return false;
}

CheckCycle::State CheckCycle::StateOf(Channel channel, std::uint64_t nowMs) const {
  if (channel >= m_channels.size() || !m_channels[channel].setUp) return State::Off;
  const Ledger& ledger = m_channels[channel];
  if (ledger.stopped) return State::Stopped;
  const std::string& latest = m_fetched.empty() ? m_shown : m_fetched;
  if (ledger.told == latest) return State::Delivered;
  return ledger.dueMs > nowMs ? State::Waiting : State::Owed;
}

bool CheckCycle::AnySetUp() const {
  for (const Ledger& channel : m_channels)
    if (channel.setUp) return true;
  return false;
}

bool CheckCycle::AnyLeftToTry() const {
  for (const Ledger& channel : m_channels)
    if (channel.setUp && !channel.stopped) return true;
  return false;
}

}  // namespace app
