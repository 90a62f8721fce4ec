#include "app/CheckConductor.h"

#include <exception>
#include <new>
#include <utility>

#include "app/History.h"
#include "channels/StampTime.h"
#include "channels/TargetName.h"
#include "channels/WebNotify.h"
#include "settings/SettingsRules.h"

namespace app {

namespace {

Families FamiliesUsedBy(const channels::WebSettings& target) {
  const channels::AddressFamilies used = channels::FamiliesOf(target);
  return static_cast<Families>((used.ipv4 ? kIpv4 : 0) | (used.ipv6 ? kIpv6 : 0));
}

}  // namespace

CheckConductor::CheckConductor(CheckPorts& ports, CheckNetwork& network, CheckHistory& history,
                               std::uint32_t intervalMs, std::string pages, channels::MailSettings mail,
                               LeadBytePredicate isLeadByte, bool ipv6)
    : m_ports(ports),
      m_network(network),
      m_history(history),
      m_cycle(intervalMs),
      m_pages(SplitPageList(pages)),
      m_mail(std::move(mail)),
      m_isLeadByte(std::move(isLeadByte)),
      m_ipv6(ipv6) {
  if (m_pages.empty()) m_pages.push_back(pages);  // fails as an address, with the fetch's own words
}

bool CheckConductor::Start() {
  if (m_running) return false;
  m_running = true;
  ++m_check;
  m_page = 0;
  m_reasons.clear();
  m_outstanding.clear();
  m_fetching = false;
  m_outcomeCalls = false;
  m_address = Address();
  m_ports.Running(true);
  Guarded([this] { FetchNextPage(); });
  return true;
}

bool CheckConductor::StartSettled() {
  if (m_running) return false;
  m_cycle.Schedule().Settled();
  return Start();
}

channels::WebResults CheckConductor::ResultRows(const std::vector<channels::WebSettings>& targets) const {
  channels::WebResults rows;
  for (const channels::WebSettings& target : targets) rows[target.id] = ResultRow(target.id);
  return rows;
}

// The pages are tried in order and the first address wins; a page that
// fails only matters when every other one fails too.
void CheckConductor::FetchNextPage() {
  if (m_page < m_pages.size()) {
    m_fetching = true;
    const std::string refused = m_network.StartPageFetch(m_check, m_pages[m_page]);
    if (!refused.empty()) PageFailed(m_check, refused);
    return;
  }
  m_cycle.FetchFailed(CombinedFailure(m_reasons));
  Finish();
}

void CheckConductor::PageRead(std::uint32_t check, const std::string& body) {
  if (!Current(check) || !m_fetching) return;
  m_fetching = false;
  Guarded([&] {
    const std::string address = AddressFromPage(body, m_isLeadByte);
    if (address.empty()) {
      m_reasons.push_back(NoAddressText(m_pages[m_page++]));
      FetchNextPage();
    } else {
      OnAddress(address);
    }
  });
}

void CheckConductor::PageFailed(std::uint32_t check, const std::string& why, bool outOfMemory) {
  if (!Current(check) || !m_fetching) return;
  m_fetching = false;
  if (outOfMemory) return Abandon(std::string(), true);
  Guarded([&] {
    m_reasons.push_back(why);
    ++m_page;
    FetchNextPage();
  });
}

// The stamp is the moment the address arrived, however long the pages took.
void CheckConductor::OnAddress(const std::string& page) {
  const Address address(page, m_ipv6 ? m_ports.StableIpv6() : std::string());
  m_at = m_ports.WallTime();
  m_stamp = FormatStamp(m_at);
  m_web = m_ports.ReadWebTargets();  // stored by their own dialog whenever the user likes
  m_address = address;
  m_history.AddressSeen(HistoryAddress(), channels::FormatLocal(m_at, kHistoryTimeFormat));
  CheckPlan plan = m_cycle.Fetched(address, SetUp(), m_ports.SteadyMs());
  if (plan.askForSettings) {
    CheckPorts::SettingsAnswer answer = m_ports.AskForSettings(address.v4);
    m_mail = std::move(answer.mail);  // asked for by the program itself: the mail counts at once
    m_web = std::move(answer.web);
    if (answer.webActedOn) m_cycle.WebActedOn();
    // The change that made the program ask goes out as soon as it can.
    plan = m_cycle.AfterSettings(SetUp(), m_ports.SteadyMs());
  }
  CallOwed(plan);
}

// Every channel owed the address is called at once, so a check lasts as
// long as its slowest channel rather than the sum of them all.
void CheckConductor::CallOwed(const CheckPlan& plan) {
  m_address = plan.address;
  for (const CheckPlan::Call& call : plan.calls) m_outstanding.insert(call.channel);
  // A call that cannot even start answers at once, maybe from inside the
  // port: the check ends only once every call has been started.
  m_starting = true;
  for (const CheckPlan::Call& call : plan.calls) {
    if (call.channel == kMailChannel) {
      const int authIndex = settings::AuthIndexForText(m_mail.auth);
      if (authIndex < 0) {
        Answered(call.channel, {ChannelResult::Transient, settings::kChooseAuth});
        continue;
      }
      MailJob job{m_mail, authIndex, kNotificationSubject, NotificationText(m_address.v4, m_address.v6, m_ipv6)};
      job.account.from = settings::ShownText(job.account.from);  // an empty sender, as the test mail sends it
      if (const std::string refused = m_network.StartMail(m_check, job); !refused.empty())
        Answered(call.channel, {ChannelResult::Transient, refused});
    } else if (const channels::WebSettings* target = TargetOf(call.channel.id)) {
      if (const std::string refused = m_network.StartWebCall(m_check, *target, m_address, call.old, m_at, {});
          !refused.empty())
        Answered(call.channel, {ChannelResult::Transient, refused});
    } else {
      Answered(call.channel, {ChannelResult::Transient, std::string()});
    }
  }
  m_starting = false;
  if (m_outstanding.empty()) Finish();
}

void CheckConductor::MailSent(std::uint32_t check, const ChannelResult& result) {
  if (Current(check)) Guarded([&] { Answered(kMailChannel, result); });
}

void CheckConductor::WebCalled(std::uint32_t check, std::uint32_t target, const ChannelResult& result) {
  if (Current(check)) Guarded([&] { Answered(WebChannel(target), result); });
}

void CheckConductor::Answered(Channel channel, const ChannelResult& result) {
  if (m_outstanding.erase(channel) == 0) return;
  // A target removed from the list while its call was out is no longer set
  // up, and the cycle drops what it came to. A row says when, in hours and
  // minutes of the local time; the history hears only of calls a change
  // was owed.
  const std::string clock = channels::FormatLocal(m_ports.WallTime(), "%H:%M");
  if (m_outcomeCalls) {
    if (result.kind != ChannelResult::Transient) m_untold.erase(channel.id);
  } else {
    m_history.ChannelOutcome(HistoryAddress(), ChannelName(channel), channels::ResultRow(result, clock));
  }
  m_cycle.Called(channel, m_address, result, m_ports.SteadyMs(), clock);
  if (m_outstanding.empty() && !m_starting) Finish();
}

// The order the user sees: the popup, then the fields, then the timer, and
// the box last, once the check has ended, so ticks go on checking behind it.
void CheckConductor::Finish() {
  if (!m_outcomeCalls && CallOnOutcome()) return;  // the check ends when they have answered
  const CheckEnd end = m_cycle.End();
  if (end.announce) m_ports.Announce();
  if (end.show) m_ports.Show(end.shownAddress, m_stamp);
  if (end.timerMs) m_ports.SetCheckTimer(*end.timerMs);
  m_running = false;
  m_ports.Running(false);
  if (end.failure.kind != CheckFailure::None) m_ports.Report(end.failure);
}

// Once the channels owed a change have answered, the check's outcome is
// known: a heartbeat target is called after a good check, a target for
// failing checks when they have failed three times in a row and once more
// when one gets through again, or when its last call of that failed. True
// when some call is out.
bool CheckConductor::CallOnOutcome() {
  m_outcomeCalls = true;
  const bool good = !m_cycle.Failing() && !m_address.v4.empty();
  const std::string failure = m_cycle.FailureText();
  const FailureNews news = good ? m_failureWatch.Succeeded() : m_failureWatch.Failed(failure);
  const Address& told = m_address.v4.empty() ? m_cycle.Shown() : m_address;
  const std::uint64_t now = m_ports.SteadyMs();
  std::vector<std::pair<const channels::WebSettings*, std::string>> calls;  // with {error}
  for (const channels::WebSettings& target : m_web) {
    if (!target.IsSet() || !m_cycle.MayCall(WebChannel(target.id), now)) continue;
    if (target.when == channels::WebWhen::EveryGoodCheck && good) calls.push_back({&target, std::string()});
    if (target.when != channels::WebWhen::KeepsFailing) continue;
    if (news.kind != FailureNews::Nothing) m_untold[target.id] = news;
    const auto untold = m_untold.find(target.id);
    if (untold != m_untold.end()) calls.push_back({&target, untold->second.error});
  }
  m_starting = true;
  for (const auto& [target, error] : calls) {
    const Channel channel = WebChannel(target->id);
    m_outstanding.insert(channel);
    if (const std::string refused = m_network.StartWebCall(m_check, *target, told, told, m_at, error); !refused.empty())
      Answered(channel, {ChannelResult::Transient, refused});
  }
  m_starting = false;
  return !m_outstanding.empty();
}

// A check that cannot go on (no memory for the page, a port that threw)
// ends at once with its box, rather than leaving a check that never ends
// and so keeps every later one from starting.
void CheckConductor::Abandon(const std::string& why, bool outOfMemory) {
  m_outstanding.clear();
  m_starting = false;
  m_fetching = false;
  m_cycle.FetchFailed(why, outOfMemory);
  Finish();
}

template <class Work>
void CheckConductor::Guarded(Work&& work) {
  try {
    work();
  } catch (const std::bad_alloc&) {
    Abandon(std::string(), true);
  } catch (const std::exception& e) {
    Abandon(e.what(), false);
  } catch (...) {
    // The window's own kinds of failure: the check ends without a box of
    // its own, and the window reports what it threw.
    m_outstanding.clear();
    m_starting = m_fetching = m_running = false;
    m_ports.Running(false);
    throw;
  }
}

const channels::WebSettings* CheckConductor::TargetOf(std::uint32_t id) const {
  for (const channels::WebSettings& target : m_web)
    if (target.id == id) return &target;
  return nullptr;
}

// The pair as the history shows it; the IPv6 address only while watched and known.
std::string CheckConductor::HistoryAddress() const {
  return m_address.v6.empty() ? m_address.v4 : m_address.v4 + " / " + m_address.v6;
}

// As the list of web targets names it: never more of its address than the
// scheme and host, which may be all that is safe to show.
std::string CheckConductor::ChannelName(Channel channel) const {
  if (channel == kMailChannel) return kMailChannelName;
  const channels::WebSettings* target = TargetOf(channel.id);
  return target ? channels::TargetName(*target) : std::string();
}

// The mail first, then each web target that has an address.
ChannelSetup CheckConductor::SetUp() const {
  ChannelSetup setup;
  if (settings::CanSendNotification(m_mail)) setup.push_back({kMailChannel, m_ipv6 ? kBothFamilies : kIpv4});
  for (const channels::WebSettings& target : m_web)
    if (target.IsSet())
      setup.push_back(
          {WebChannel(target.id), m_ipv6 ? FamiliesUsedBy(target) : kIpv4, target.when == channels::WebWhen::OnChange});
  return setup;
}

}  // namespace app
