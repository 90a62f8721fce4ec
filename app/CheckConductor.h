#pragma once
// One whole check, from the tick to the last effect, free of any window:
// the pages tried in order, the settings asked for when nothing is set up,
// every channel owed the address called at once, and, when the last of them
// has answered, the popup, the fields, the timer and at most one box. The
// network work runs elsewhere; its results come back here in whatever order
// they end, and a result that belongs to no running check is dropped.
#include <cstdint>
#include <ctime>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "app/CheckCycle.h"
#include "app/CheckPorts.h"
#include "app/FailureWatch.h"
#include "app/IpCheck.h"
#include "channels/ChannelSettings.h"

namespace app {

class CheckConductor {
 public:
  // `pages` is the IP Page setting (one address or several, separated by
  // blanks); `mail` the mail settings read at start; `ipv6` whether this
  // computer's IPv6 address is watched beside the page's.
  CheckConductor(CheckPorts& ports, CheckNetwork& network, CheckHistory& history, std::uint32_t intervalMs,
                 std::string pages, channels::MailSettings mail, LeadBytePredicate isLeadByte = {}, bool ipv6 = false);

  // A tick, Update, or the settle after a wake-up: starts a check unless one
  // is running. False when one was.
  bool Start();
  // The settle after a wake-up or a network change is over: its check
  // starts unless one is running, and then stays due (false) for the next
  // settle tick, after that check has ended.
  bool StartSettled();
  bool Checking() const { return m_running; }

  // What the work the ports started came to.
  void PageRead(std::uint32_t check, const std::string& body);
  void PageFailed(std::uint32_t check, const std::string& why, bool outOfMemory = false);
  void MailSent(std::uint32_t check, const ChannelResult& result);
  void WebCalled(std::uint32_t check, std::uint32_t target, const ChannelResult& result);

  // The user acted in the settings dialog opened from the window.
  void WebActedOn() { m_cycle.WebActedOn(); }

  const Address& Shown() const { return m_cycle.Shown(); }
  bool WatchesIpv6() const { return m_ipv6; }
  bool AnyWebStopped() const { return m_cycle.AnyWebStopped(); }
  std::string ResultRow(std::uint32_t target) const { return m_cycle.ResultRow(WebChannel(target)); }
  // Each target's row, by its id.
  channels::WebResults ResultRows(const std::vector<channels::WebSettings>& targets) const;
  CheckCycle& Cycle() { return m_cycle; }

 private:
  void FetchNextPage();
  void OnAddress(const std::string& address);
  void CallOwed(const CheckPlan& plan);
  void Answered(Channel channel, const ChannelResult& result);
  void Finish();
  bool CallOnOutcome();
  void Abandon(const std::string& why, bool outOfMemory);
  template <class Work>
  void Guarded(Work&& work);
  const channels::WebSettings* TargetOf(std::uint32_t id) const;
  ChannelSetup SetUp() const;
  std::string HistoryAddress() const;
  std::string ChannelName(Channel channel) const;
  bool Current(std::uint32_t check) const { return m_running && check == m_check; }

  CheckPorts& m_ports;
  CheckNetwork& m_network;
  CheckHistory& m_history;
  CheckCycle m_cycle;
  std::vector<std::string> m_pages;
  channels::MailSettings m_mail;
  std::vector<channels::WebSettings> m_web;
  LeadBytePredicate m_isLeadByte;
  bool m_ipv6 = false;

  bool m_running = false;
  std::uint32_t m_check = 0;           // the running check's number; results of others are dropped
  bool m_fetching = false;             // a page fetch is out
  std::size_t m_page = 0;              // the page being fetched
  std::vector<std::string> m_reasons;  // why each page tried so far failed
  std::time_t m_at = 0;                // when the page was read
  std::string m_stamp;                 // and the stamp for it
  Address m_address;                   // what it showed, and this computer's IPv6 address
  std::set<Channel> m_outstanding;     // the calls still out
  bool m_starting = false;
  bool m_outcomeCalls = false;  // the calls on this check's outcome are out, or were
  FailureWatch m_failureWatch;
  // What a target for failing checks still has to be told: a call of it
  // that failed is made again at the next check.
  std::map<std::uint32_t, FailureNews> m_untold;  // the calls are being started
};

}  // namespace app
