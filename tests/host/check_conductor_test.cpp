// Whole checks through the conductor, with the window's side played by a
// recorder: what was started, in which order the effects came, and what the
// results do when they arrive in any order, late, or for a check that is over.
#include <gtest/gtest.h>

#include <map>

#include "app/CheckConductor.h"
#include "channels/StampTime.h"

namespace {

using app::CheckConductor;
using channels::ChannelResult;
using channels::WebSettings;

constexpr std::uint32_t kInterval = 15 * 60'000;

channels::MailSettings CompleteMail() { return {"smtp.example", "me", "pw", "2", "to@example", "null"}; }

WebSettings Target(std::uint32_t id) {
  WebSettings web;
  web.url = "https://t" + std::to_string(id) + ".example/?ip={ip}";
  web.id = id;
  return web;
}

struct Recorder : app::CheckPorts, app::CheckNetwork, app::CheckHistory {
  std::string log;  // the effects, a word each
  std::vector<std::string> pages;
  std::vector<app::MailJob> mails;
  std::vector<std::pair<std::uint32_t, app::Address>> webCalls;  // id, old
  std::vector<app::Address> webAddresses;
  std::string ipv6;
  std::uint32_t lastCheck = 0;
  std::vector<WebSettings> stored;
  SettingsAnswer answer;
  std::string askedWith;
  app::Address shown;
  std::string stamp;
  app::CheckFailure failure;
  std::uint64_t steady = 0;
  std::time_t wall = 1'000'000'000;

  std::string refuse;  // what a start answers: nothing, or why it cannot start
  std::string StartPageFetch(std::uint32_t check, const std::string& url) override {
    lastCheck = check;
    pages.push_back(url);
    return refuse;
  }
  std::string StartMail(std::uint32_t check, const app::MailJob& mail) override {
    lastCheck = check;
    mails.push_back(mail);
    return refuse;
  }
  std::vector<std::string> errors;  // each web call's {error}
  std::string StartWebCall(std::uint32_t check, const WebSettings& target, const app::Address& address,
                           const app::Address& old, std::time_t, const std::string& error) override {
    lastCheck = check;
    errors.push_back(error);
    webCalls.push_back({target.id, old});
    webAddresses.push_back(address);
    return refuse;
  }
  std::string StableIpv6() override { return ipv6; }
  bool throwOnRead = false;  // as the window's own failures leave a port
  std::vector<WebSettings> ReadWebTargets() override {
    if (throwOnRead) throw 42;
    return stored;
  }
  SettingsAnswer AskForSettings(const std::string& found) override {
    askedWith = found;
    log += "settings ";
    return answer;
  }
  std::uint64_t SteadyMs() override { return steady; }
  std::time_t WallTime() override { return wall; }
  void Announce() override { log += "popup "; }
  void Show(const app::Address& address, const std::string& when) override {
    log += "fields ";
    shown = address;
    stamp = when;
  }
  void SetCheckTimer(std::uint32_t ms) override { log += "timer" + std::to_string(ms / 60'000) + " "; }
  void Report(const app::CheckFailure& f) override {
    log += "box ";
    failure = f;
  }
  void Running(bool running) override { log += running ? "start " : "end "; }
  std::vector<std::string> history;
  void AddressSeen(const std::string& address, const std::string&) override { history.push_back(address); }
  void ChannelOutcome(const std::string& address, const std::string& channel, const std::string& outcome) override {
    history.push_back(address + " " + channel + ": " + outcome);
  }
};

const ChannelResult kOk{ChannelResult::Ok, "sent"};
const ChannelResult kDown{ChannelResult::Transient, "the server is down"};

TEST(CheckConductor, MailOnlyChecksKeepTheirBoxesOrderAndMails) {
  Recorder ports;
  CheckConductor conductor(ports, ports, ports, kInterval, "http://a.example/", CompleteMail());
  ASSERT_TRUE(conductor.Start());
  EXPECT_FALSE(conductor.Start()) << "a tick while a check runs starts no second one";
  ASSERT_EQ(1u, ports.pages.size());
  conductor.PageRead(ports.lastCheck, "<!--startip-->1.2.3.4<!--endip-->");
  ASSERT_EQ(1u, ports.mails.size());
  EXPECT_EQ("IP Address Change", ports.mails[0].subject);
  EXPECT_EQ("New IP Address:  1.2.3.4", ports.mails[0].text);
  EXPECT_EQ("", ports.mails[0].account.from) << "a sender stored as null goes out empty";
  EXPECT_EQ(2, ports.mails[0].authIndex);
  EXPECT_EQ("start ", ports.log) << "nothing shows before the mail is out";
  conductor.MailSent(ports.lastCheck, kOk);
  EXPECT_EQ("start popup fields end ", ports.log);
  EXPECT_EQ("1.2.3.4", ports.shown.v4);

  // A failed send: the old address stays, the box comes last, the retry is soon.
  ports.log.clear();
  conductor.Start();
  conductor.PageRead(ports.lastCheck, "5.6.7.8");
  conductor.MailSent(ports.lastCheck, kDown);
  EXPECT_EQ("start timer1 end box ", ports.log);
  EXPECT_EQ("the server is down", ports.failure.text);
  EXPECT_EQ("1.2.3.4", conductor.Shown().v4);

  // No authentication chosen: said without a call.
  channels::MailSettings noAuth = CompleteMail();
  noAuth.auth = "9";
  Recorder other;
  CheckConductor unchosen(other, other, other, kInterval, "http://a.example/", noAuth);
  unchosen.Start();
  unchosen.PageRead(other.lastCheck, "1.2.3.4");
  EXPECT_TRUE(other.mails.empty());
  EXPECT_NE(std::string::npos, other.failure.text.find("No authentication method is selected"));
}

TEST(CheckConductor, PagesAreTriedInOrderAndOnlyAllFailingGiveOneBoxNamingEach) {
  Recorder ports;
  CheckConductor conductor(ports, ports, ports, kInterval, "http://a.example/ http://b.example/ http://c.example/",
                           CompleteMail());
  conductor.Start();
  conductor.PageFailed(ports.lastCheck, "a is down");
  conductor.PageRead(ports.lastCheck, "<html>no address here</html>");
  ASSERT_EQ(3u, ports.pages.size());
  EXPECT_EQ("http://c.example/", ports.pages[2]);
  conductor.PageRead(ports.lastCheck, "9.9.9.9");
  EXPECT_EQ(1u, ports.mails.size()) << "the first page with an address wins";
  conductor.MailSent(ports.lastCheck, kOk);
  EXPECT_EQ(app::CheckFailure::None, ports.failure.kind);

  ports.log.clear();
  conductor.Start();
  conductor.PageFailed(ports.lastCheck, "a is down");
  conductor.PageFailed(ports.lastCheck, "b is down");
  conductor.PageFailed(ports.lastCheck, "c is down");
  EXPECT_EQ("start timer1 end box ", ports.log) << "a failed fetch writes no field";
  EXPECT_EQ("a is down\nb is down\nc is down", ports.failure.text);
}

TEST(CheckConductor, ChannelsAreCalledAtOnceAndTheCheckEndsWithTheLastAnswerWhateverTheOrder) {
  Recorder ports;
  ports.stored = {Target(4), Target(7), Target(9)};
  CheckConductor conductor(ports, ports, ports, kInterval, "http://a.example/", CompleteMail());
  ports.steady = 5;
  conductor.Start();
  ports.wall += 14;  // the page takes its time: the stamp is when it arrived
  conductor.PageRead(ports.lastCheck, "1.2.3.4");
  EXPECT_EQ(1u, ports.mails.size());
  EXPECT_EQ(3u, ports.webCalls.size()) << "every owed channel is out before any answers";
  const std::uint32_t check = ports.lastCheck;
  conductor.WebCalled(check, 9, kOk);
  conductor.WebCalled(check, 4, kDown);
  conductor.WebCalled(check + 1, 7, kOk);  // not this check's: dropped
  conductor.MailSent(check, kOk);
  EXPECT_EQ("start ", ports.log) << "one answer is still out";
  conductor.WebCalled(check, 7, kOk);
  EXPECT_EQ("start popup fields timer1 end box ", ports.log);
  EXPECT_EQ(app::FormatStamp(ports.wall), ports.stamp);
  EXPECT_EQ("failed: the server is down", conductor.ResultRow(4));
  EXPECT_EQ("sent " + channels::FormatLocal(ports.wall, "%H:%M"), conductor.ResultRow(9));
  conductor.WebCalled(check, 4, kOk);  // late, twice: nothing more happens
  EXPECT_EQ("start popup fields timer1 end box ", ports.log);

  // The failed target alone is tried again once its minute is up.
  ports.webCalls.clear();
  ports.mails.clear();
  ports.steady += 60'000;
  conductor.Start();
  conductor.PageRead(ports.lastCheck, "1.2.3.4");
  ASSERT_EQ(1u, ports.webCalls.size());
  EXPECT_EQ(4u, ports.webCalls[0].first);
  EXPECT_TRUE(ports.mails.empty());
}

TEST(CheckConductor, ATargetRemovedWhileItsCallIsOutIsForgottenAndANewOneStartsFromTheFieldsAddress) {
  Recorder ports;
  ports.stored = {Target(1), Target(2)};
  CheckConductor conductor(ports, ports, ports, kInterval, "http://a.example/", CompleteMail());
  conductor.Start();
  conductor.PageRead(ports.lastCheck, "1.2.3.4");
  ports.stored = {Target(2), Target(3)};  // saved meanwhile in the settings dialog
  conductor.WebCalled(ports.lastCheck, 1, kDown);
  conductor.WebCalled(ports.lastCheck, 2, kOk);
  conductor.MailSent(ports.lastCheck, kOk);
  ports.webCalls.clear();
  ports.steady += 60'000;
  conductor.Start();
  conductor.PageRead(ports.lastCheck, "1.2.3.4");
  EXPECT_TRUE(ports.webCalls.empty()) << "the removed target is not called, the new one owes nothing yet";
  EXPECT_FALSE(conductor.Checking());
  EXPECT_EQ(app::CheckCycle::State::Off, conductor.Cycle().StateOf(app::WebChannel(1), ports.steady));
  EXPECT_EQ("", conductor.ResultRow(1));
}

TEST(CheckConductor, NothingSetUpAsksForTheSettingsWithTheAddressFound) {
  {
    SCOPED_TRACE("discarded: the address shows, nothing is sent, no box");
    Recorder ports;
    CheckConductor conductor(ports, ports, ports, kInterval, "http://a.example/", {});
    conductor.Start();
    conductor.PageRead(ports.lastCheck, "1.2.3.4");
    EXPECT_EQ("1.2.3.4", ports.askedWith) << "the dialog's tests send what was found";
    EXPECT_EQ("start settings fields end ", ports.log);
    EXPECT_EQ(app::CheckFailure::None, ports.failure.kind);
    ports.log.clear();
    conductor.Start();
    conductor.PageRead(ports.lastCheck, "1.2.3.4");
    EXPECT_EQ("start fields end ", ports.log) << "the same address asks no more";
  }
  {
    SCOPED_TRACE("saved there: the mail and the target saved count at once");
    Recorder ports;
    ports.answer.mail = CompleteMail();
    ports.answer.web = {Target(5)};
    CheckConductor conductor(ports, ports, ports, kInterval, "http://a.example/", {});
    conductor.Start();
    conductor.PageRead(ports.lastCheck, "1.2.3.4");
    EXPECT_EQ(1u, ports.mails.size());
    ASSERT_EQ(1u, ports.webCalls.size());
    conductor.MailSent(ports.lastCheck, kOk);
    conductor.WebCalled(ports.lastCheck, 5, kOk);
    EXPECT_EQ("start settings popup fields end ", ports.log);
  }
}

TEST(CheckConductor, TheHistoryHearsOfEachAddressFoundAndWhatEachOwedChannelMadeOfIt) {
  Recorder ports;
  WebSettings target = Target(3);
  target.method = "PUT";
  ports.stored = {target};
  CheckConductor conductor(ports, ports, ports, kInterval, "http://a.example/", CompleteMail(), {}, true);
  ports.ipv6 = "2001:db8::1";
  conductor.Start();
  conductor.PageRead(ports.lastCheck, "1.2.3.4");
  conductor.WebCalled(ports.lastCheck, 3, {ChannelResult::Stopped, "refused (badauth)"});
  conductor.MailSent(ports.lastCheck, kDown);
  const std::string pair = "1.2.3.4 / 2001:db8::1";
  EXPECT_EQ((std::vector<std::string>{pair, pair + " PUT  https://t3.example: stopped: badauth",
                                      pair + " Mail: failed: the server is down"}),
            ports.history);
  EXPECT_EQ("New IP Address:  1.2.3.4\r\nNew IPv6 Address:  2001:db8::1", ports.mails[0].text);
}

TEST(CheckConductor, WorkThatCannotEvenStartIsAFailureOfItsOwnAndTheCheckStillEnds) {
  Recorder ports;
  ports.stored = {Target(2)};
  CheckConductor conductor(ports, ports, ports, kInterval, "http://a.example/ http://b.example/", CompleteMail());
  ports.refuse = "no thread";
  conductor.Start();
  EXPECT_EQ(2u, ports.pages.size()) << "the next page is tried";
  EXPECT_EQ("no thread\nno thread", ports.failure.text);
  ports.refuse.clear();
  conductor.Start();
  ports.refuse = "no thread";
  conductor.PageRead(ports.lastCheck, "1.2.3.4");
  EXPECT_FALSE(conductor.Checking()) << "the mail and the target that never started end the check";
  EXPECT_EQ("no thread\nno thread", ports.failure.text);
}

TEST(CheckConductor, AHeartbeatIsCalledAfterEveryGoodCheckAndNeverAfterAFailedOne) {
  Recorder ports;
  WebSettings beat = Target(8);
  beat.when = channels::WebWhen::EveryGoodCheck;
  ports.stored = {beat};
  CheckConductor conductor(ports, ports, ports, kInterval, "http://a.example/", CompleteMail());
  conductor.Start();
  conductor.PageRead(ports.lastCheck, "1.2.3.4");
  EXPECT_TRUE(ports.webCalls.empty()) << "not before the owed channels have answered";
  conductor.MailSent(ports.lastCheck, kOk);
  ASSERT_EQ(1u, ports.webCalls.size());
  EXPECT_EQ("start ", ports.log) << "the check ends when the heartbeat has answered";
  conductor.WebCalled(ports.lastCheck, 8, kDown);
  EXPECT_EQ("start popup fields end ", ports.log);
  EXPECT_EQ(app::CheckFailure::None, ports.failure.kind) << "a failed heartbeat gets no box";
  EXPECT_FALSE(conductor.Checking());
  conductor.Start();
  conductor.PageRead(ports.lastCheck, "1.2.3.4");  // nothing owed: a good check all the same
  EXPECT_EQ(2u, ports.webCalls.size());
  conductor.WebCalled(ports.lastCheck, 8, kOk);
  conductor.Start();
  conductor.PageFailed(ports.lastCheck, "down");
  EXPECT_EQ(2u, ports.webCalls.size()) << "a failed check sends no heartbeat";
  conductor.Start();
  conductor.PageRead(ports.lastCheck, "5.6.7.8");
  conductor.MailSent(ports.lastCheck, kDown);
  EXPECT_EQ(2u, ports.webCalls.size()) << "nor does one whose mail failed";
}

TEST(CheckConductor, ATargetForFailingChecksIsToldOnceAfterThreeAndOnceOnRecoveryAndRetriedUntilItHears) {
  Recorder ports;
  WebSettings alarm = Target(9);
  alarm.when = channels::WebWhen::KeepsFailing;
  ports.stored = {alarm};
  CheckConductor conductor(ports, ports, ports, kInterval, "http://a.example/", CompleteMail());
  const auto fail = [&](const char* why) {
    conductor.Start();
    conductor.PageFailed(ports.lastCheck, why);
  };
  conductor.Start();
  conductor.PageRead(ports.lastCheck, "1.2.3.4");
  conductor.MailSent(ports.lastCheck, kOk);
  fail("one");
  fail("two");
  EXPECT_TRUE(ports.webCalls.empty());
  fail("three");
  ASSERT_EQ(1u, ports.webCalls.size());
  EXPECT_EQ("three", ports.errors[0]);
  EXPECT_EQ("1.2.3.4", ports.webAddresses[0].v4) << "the address last known";
  conductor.WebCalled(ports.lastCheck, 9, kDown);
  fail("four");
  ASSERT_EQ(2u, ports.webCalls.size()) << "the call that failed is made again";
  EXPECT_EQ("three", ports.errors[1]);
  conductor.WebCalled(ports.lastCheck, 9, kOk);
  fail("five");
  EXPECT_EQ(2u, ports.webCalls.size()) << "told once";
  conductor.Start();
  conductor.PageRead(ports.lastCheck, "1.2.3.4");
  ASSERT_EQ(3u, ports.webCalls.size()) << "once more on recovery";
  EXPECT_EQ("", ports.errors[2]);
  conductor.WebCalled(ports.lastCheck, 9, kOk);
  conductor.Start();
  conductor.PageRead(ports.lastCheck, "1.2.3.4");
  EXPECT_EQ(3u, ports.webCalls.size());
}

TEST(CheckConductor, AFailureOfTheWindowsOwnKindEndsTheCheckAndLeavesItsReportToTheWindow) {
  Recorder ports;
  CheckConductor conductor(ports, ports, ports, kInterval, "http://a.example/", CompleteMail());
  conductor.Start();
  ports.throwOnRead = true;
  EXPECT_THROW(conductor.PageRead(ports.lastCheck, "1.2.3.4"), int);
  EXPECT_FALSE(conductor.Checking());
  EXPECT_EQ("start end ", ports.log) << "no box of the check's own beside the window's";
}

TEST(CheckConductor, NoMemoryEndsTheCheckWithItsOwnBoxAndTheNextCheckRuns) {
  Recorder ports;
  CheckConductor conductor(ports, ports, ports, kInterval, "http://a.example/", CompleteMail());
  conductor.Start();
  conductor.PageFailed(ports.lastCheck, "", true);
  EXPECT_EQ(app::CheckFailure::OutOfMemory, ports.failure.kind);
  EXPECT_TRUE(conductor.Start()) << "the check that failed has ended";
}

}  // namespace
