// The check cycle's decisions, one table row a check: what the page showed,
// which channels are set up and what each call came to, against who was
// called, what the field shows, whether the popup slides out and whether a
// box follows.
#include <gtest/gtest.h>

#include <map>

#include "app/CheckCycle.h"

namespace {

using app::CheckCycle;
using channels::ChannelResult;
using State = CheckCycle::State;

constexpr std::uint64_t kMinute = 60'000;
constexpr char kFailedFetch[] = "!";

struct Check {
  std::uint64_t atMs;
  std::string page;         // the address the page showed, "" for none, "!" for a failed fetch
  app::ChannelSetup setup;  // the channels set up
  std::map<app::Channel, ChannelResult::Kind> answers;  // a channel called but not named here answers Ok
  std::string calls;                                    // the channels called, in order: "m" mail, "w" web
  std::string shown;                                    // the field afterwards
  bool announce = false;
  bool box = false;
};

constexpr app::Channel kMail = app::kMailChannel;
constexpr app::Channel kWeb = app::WebChannel(1);
const app::ChannelSetup kBoth{kMail, kWeb};
const app::ChannelSetup kMailOnly{kMail};
const app::ChannelSetup kWebOnly{kWeb};
const app::ChannelSetup kNone{};

// Runs the checks in order on one cycle and says where the first one went wrong.
void Checks(CheckCycle& cycle, const std::vector<Check>& checks) {
  for (std::size_t n = 0; n < checks.size(); ++n) {
    const Check& check = checks[n];
    SCOPED_TRACE("check " + std::to_string(n + 1) + ", page " + check.page);
    std::string calls;
    const std::string shownBefore = cycle.Shown().v4;
    if (check.page == kFailedFetch) {
      cycle.FetchFailed("the page failed");
    } else {
      const app::CheckPlan plan = cycle.Fetched(check.page, check.setup, check.atMs);
      EXPECT_FALSE(plan.askForSettings);
      for (const auto& call : plan.calls) {
        calls += call.channel == kMail ? "m" : "w";
        const auto answer = check.answers.find(call.channel);
        const ChannelResult::Kind kind = answer == check.answers.end() ? ChannelResult::Ok : answer->second;
        cycle.Called(call.channel, plan.address,
                     {kind, "refused", kind == ChannelResult::Wait ? std::uint32_t{30 * kMinute} : 0u}, check.atMs);
      }
    }
    const app::CheckEnd end = cycle.End();
    EXPECT_EQ(check.calls, calls);
    EXPECT_EQ(check.shown, end.shownAddress.v4);
    EXPECT_EQ(check.announce, end.announce);
    EXPECT_EQ(check.box, end.failure.kind != app::CheckFailure::None) << end.failure.text;
    EXPECT_EQ(check.page != kFailedFetch && (!check.box || check.announce || check.shown != shownBefore), end.show)
        << "the fields are written unless a failure moved nothing";
  }
}

constexpr auto kFails = ChannelResult::Transient;
constexpr auto kStops = ChannelResult::Stopped;
constexpr auto kWaits = ChannelResult::Wait;

TEST(CheckCycleCore, EachChannelIsOwedWhatItWasLastToldEvenWhenTheAddressComesBack) {
  {
    SCOPED_TRACE("the mail got B, the web did not: back at A only the mail is told");
    CheckCycle cycle(15 * kMinute);
    Checks(cycle, {{0, "A", kBoth, {}, "mw", "A", true},
                   {1, "B", kBoth, {{kWeb, kFails}}, "mw", "B", true, true},
                   {2, "A", kBoth, {}, "m", "A", true}});
  }
  {
    SCOPED_TRACE("the web got B, the mail did not: back at A only the web is told");
    CheckCycle cycle(15 * kMinute);
    Checks(cycle, {{0, "A", kBoth, {}, "mw", "A", true},
                   {1, "B", kBoth, {{kMail, kFails}}, "mw", "B", true, true},
                   {2, "A", kBoth, {}, "w", "A", true}});
  }
  {
    SCOPED_TRACE("one channel's failure never repeats the other's call");
    CheckCycle cycle(15 * kMinute);
    Checks(cycle, {{0, "A", kBoth, {}, "mw", "A", true},
                   {1, "B", kBoth, {{kWeb, kFails}}, "mw", "B", true, true},
                   {1 + kMinute, "B", kBoth, {{kWeb, kFails}}, "w", "B", false, true},
                   {1 + 3 * kMinute, "B", kBoth, {}, "w", "B"}});
  }
  {
    SCOPED_TRACE("a channel no longer set up moves no field, whatever it was told");
    CheckCycle cycle(15 * kMinute);
    Checks(cycle, {{0, "A", kBoth, {}, "mw", "A", true},
                   {1, "B", kBoth, {{kMail, kFails}}, "mw", "B", true, true},
                   {2, "A", kMailOnly, {}, "", "A"},
                   {3, "B", kMailOnly, {{kMail, kFails}}, "m", "A", false, true}});
  }
}

TEST(CheckCycleCore, ARefusalThatNeedsTheUserStopsThatChannelAloneUntilTheUserActs) {
  CheckCycle cycle(15 * kMinute);
  Checks(cycle, {{0, "A", kBoth, {}, "mw", "A", true},
                 {1, "B", kBoth, {{kWeb, kStops}}, "mw", "B", true, true},
                 {2, "C", kBoth, {}, "m", "C", true}});
  EXPECT_EQ(State::Stopped, cycle.StateOf(kWeb, 3));
  EXPECT_TRUE(cycle.AnyWebStopped());
  EXPECT_EQ(State::Delivered, cycle.StateOf(kMail, 3));

  cycle.WebActedOn();
  EXPECT_FALSE(cycle.AnyWebStopped());
  Checks(cycle, {{4, "C", kBoth, {}, "w", "C"}});

  // Web only: a stopped channel leaves nobody to try, so the field moves on
  // and the box is said once.
  CheckCycle webOnly(15 * kMinute);
  Checks(webOnly, {{0, "A", kWebOnly, {}, "w", "A", true},
                   {1, "B", kWebOnly, {{kWeb, kStops}}, "w", "B", false, true},
                   {2, "C", kWebOnly, {}, "", "C"}});
  Checks(webOnly, {{3, "C", kNone, {}, "", "C"}});
  EXPECT_FALSE(webOnly.AnyWebStopped()) << "a notification taken away no longer waits for the user";
}

TEST(CheckCycleCore, AServiceInTroubleIsLeftAloneForHalfAnHourWhileTheOtherChannelGoesOn) {
  CheckCycle cycle(15 * kMinute);
  Checks(cycle, {{0, "A", kBoth, {}, "mw", "A", true},
                 {kMinute, "B", kBoth, {{kWeb, kWaits}}, "mw", "B", true, true},
                 {3 * kMinute, "B", kBoth, {}, "", "B"},
                 {30 * kMinute, "C", kBoth, {}, "m", "C", true},
                 {31 * kMinute, "C", kBoth, {}, "w", "C"}});
}

TEST(CheckCycleCore, AFirstChangeWithNothingSetUpAsksForTheSettingsOnce) {
  {
    SCOPED_TRACE("the dialog discarded: the address shows, nothing is sent, the same address asks no more");
    CheckCycle cycle(15 * kMinute);
    app::CheckPlan plan = cycle.Fetched("A", kNone, 0);
    EXPECT_TRUE(plan.askForSettings);
    plan = cycle.AfterSettings(kNone, 0);
    EXPECT_TRUE(plan.calls.empty());
    const app::CheckEnd end = cycle.End();
    EXPECT_EQ("A", end.shownAddress.v4);
    EXPECT_FALSE(end.announce);
    EXPECT_EQ(app::CheckFailure::None, end.failure.kind);
    Checks(cycle, {{1, "A", kNone, {}, "", "A"}});
  }
  {
    SCOPED_TRACE("the mail saved there: the change that asked goes out at once");
    CheckCycle cycle(15 * kMinute);
    EXPECT_TRUE(cycle.Fetched("A", kNone, 0).askForSettings);
    const app::CheckPlan plan = cycle.AfterSettings(kMailOnly, 0);
    ASSERT_EQ(1u, plan.calls.size());
    EXPECT_EQ(kMail, plan.calls[0].channel);
    cycle.Called(kMail, "A", {ChannelResult::Ok, "sent"}, 0);
    EXPECT_TRUE(cycle.End().announce);
  }
  {
    SCOPED_TRACE("a web notification saved in passing counts from the next change on");
    CheckCycle cycle(15 * kMinute);
    Checks(
        cycle,
        {{0, "A", kMailOnly, {}, "m", "A", true}, {1, "A", kBoth, {}, "", "A"}, {2, "B", kBoth, {}, "mw", "B", true}});
  }
}

TEST(CheckCycleCore, EachWebTargetKeepsWhatItWasToldWhereverTheStoredListMovesIt) {
  const app::Channel w1 = app::WebChannel(1), w2 = app::WebChannel(2), w3 = app::WebChannel(3);
  CheckCycle cycle(15 * kMinute);
  Checks(cycle, {{0, "A", {kMail, w1, w2}, {}, "mww", "A", true},
                 {1, "B", {kMail, w1, w2}, {{w2, kFails}}, "mww", "B", true, true}});
  // The first target removed, a new one added at the end: the failed one
  // moved up keeps its debt, and the new one starts as told the address shown.
  Checks(cycle, {{2 * kMinute, "B", {kMail, w2, w3}, {}, "w", "B"}});
  EXPECT_EQ(State::Delivered, cycle.StateOf(w3, 2 * kMinute));
  EXPECT_EQ(State::Off, cycle.StateOf(w1, 2 * kMinute));
  Checks(cycle, {{3 * kMinute, "C", {kMail, w2, w3}, {}, "mww", "C", true}});
}

TEST(CheckCycleCore, MailOnlyKeepsTheFieldOnTheOldAddressUntilTheMailIsOut) {
  CheckCycle cycle(15 * kMinute);
  Checks(cycle, {{0, "A", kMailOnly, {}, "m", "A", true},
                 {1, "A", kMailOnly, {}, "", "A"},                                 // the same address: nothing sent
                 {2, "", kMailOnly, {}, "", "A"},                                  // no address: no change
                 {3, kFailedFetch, kMailOnly, {}, "", "A", false, true},           // a failed fetch changes nothing
                 {4, "B", kMailOnly, {{kMail, kFails}}, "m", "A", false, true}});  // a failed send: the old address
  EXPECT_EQ(State::Owed, cycle.StateOf(kMail, 4)) << "the field is behind, the mail still owes the change";
  Checks(cycle, {{5, "B", kMailOnly, {}, "m", "B", true},  // and the next check sends again
                 {6, "C", kMailOnly, {{kMail, kFails}}, "m", "B", false, true},
                 {7, "B", kMailOnly, {}, "", "B"},             // back before the retry: the mail already believes B
                 {8, " B", kMailOnly, {}, "m", " B", true}});  // a blank makes another address
}

TEST(CheckCycleCore, AFailingWebTargetBacksOffAloneAndAServicesWaitIsHonoured) {
  {
    SCOPED_TRACE("a minute, then two, then four, never past the interval; a success starts afresh");
    CheckCycle cycle(5 * kMinute);
    Checks(cycle, {{0, "A", kBoth, {{kWeb, kFails}}, "mw", "A", true, true},
                   {kMinute - 1, "A", kBoth, {}, "", "A"},  // checks go on; the target waits
                   {kMinute, "A", kBoth, {{kWeb, kFails}}, "w", "A", false, true},
                   {3 * kMinute - 1, "A", kBoth, {}, "", "A"},
                   {3 * kMinute, "A", kBoth, {{kWeb, kFails}}, "w", "A", false, true},
                   {7 * kMinute, "A", kBoth, {{kWeb, kFails}}, "w", "A", false, true},
                   {12 * kMinute - 1, "A", kBoth, {}, "", "A"},  // the interval is the ceiling
                   {12 * kMinute, "A", kBoth, {}, "w", "A"},
                   {13 * kMinute, "B", kBoth, {{kWeb, kFails}}, "mw", "B", true, true},
                   {14 * kMinute, "B", kBoth, {}, "w", "B"}});
  }
  {
    SCOPED_TRACE("a service that asked for ten minutes is left alone for ten minutes; the mail goes on");
    CheckCycle cycle(15 * kMinute);
    cycle.Fetched("A", kBoth, 0);
    cycle.Called(kMail, "A", {ChannelResult::Ok, "sent"}, 0);
    cycle.Called(kWeb, "A", {ChannelResult::Wait, "429 Too Many Requests", 10 * kMinute}, 0);
    const app::CheckEnd end = cycle.End();
    EXPECT_EQ("429 Too Many Requests. It will not be called again for 10 minutes.", end.failure.text);
    Checks(cycle, {{10 * kMinute - 1, "B", kBoth, {}, "m", "B", true}, {10 * kMinute, "B", kBoth, {}, "w", "B"}});
  }
}

TEST(CheckCycleCore, AFailureWithoutWordsStillGetsABoxAndNoMemoryHasItsOwn) {
  CheckCycle cycle(15 * kMinute);
  cycle.Fetched("A", kMailOnly, 0);
  cycle.Called(kMail, "A", {ChannelResult::Transient, ""}, 0);
  app::CheckEnd end = cycle.End();
  EXPECT_EQ(app::CheckFailure::Text, end.failure.kind) << "a failure passed off as a good check";
  EXPECT_EQ("", end.failure.text) << "the window words it";
  EXPECT_FALSE(end.show) << "nothing moved: no fresh stamp";
  cycle.FetchFailed("", true);
  end = cycle.End();
  EXPECT_EQ(app::CheckFailure::OutOfMemory, end.failure.kind);
  EXPECT_FALSE(end.show);
}

TEST(CheckCycleCore, AChannelSetUpInTheDialogAChangeOpenedIsOwedThatChangeAndOnlyThatOne) {
  CheckCycle cycle(15 * kMinute);
  cycle.Fetched("A", kNone, 0);  // shown with nothing set up, the dialog discarded
  cycle.AfterSettings(kNone, 0);
  cycle.End();
  EXPECT_TRUE(cycle.Fetched("B", kNone, 1).askForSettings);
  app::CheckPlan plan = cycle.AfterSettings(kMailOnly, 1);
  ASSERT_EQ(1u, plan.calls.size()) << "the change that opened the dialog is owed";
  EXPECT_EQ("A", plan.calls[0].old.v4) << "it starts as told the address shown";
  cycle.Called(kMail, "B", {ChannelResult::Transient, "refused"}, 1);
  EXPECT_EQ("A", cycle.End().shownAddress.v4);
  // Back at A: the mail was never owed A, so nothing goes out and nothing slides out.
  Checks(cycle, {{2, "A", kMailOnly, {}, "", "A"}, {3, "B", kMailOnly, {}, "m", "B", true}});
}

TEST(CheckCycleCore, FailuresBackOffAndAGoodCheckReturnsToTheInterval) {
  {
    CheckCycle once(15 * kMinute);
    once.FetchFailed("down");
    EXPECT_EQ(kMinute, once.End().timerMs);
    once.Fetched("A", kNone, 0);
    EXPECT_EQ(15 * kMinute, once.End().timerMs) << "one failure is enough to need the interval back";
  }
  CheckCycle cycle(15 * kMinute);
  cycle.Fetched("A", kMailOnly, 0);
  cycle.Called(kMail, "A", {ChannelResult::Transient, "refused"}, 0);
  EXPECT_EQ(kMinute, cycle.End().timerMs) << "a failed send is a failed check";
  cycle.FetchFailed("");
  const app::CheckEnd failed = cycle.End();
  EXPECT_EQ(2 * kMinute, failed.timerMs);
  EXPECT_FALSE(failed.show) << "a failed fetch writes no field, even one that came without words";
  cycle.Fetched("A", kMailOnly, 0);
  EXPECT_EQ(15 * kMinute, cycle.End().timerMs);
  cycle.Fetched("A", kMailOnly, 0);
  EXPECT_EQ(std::nullopt, cycle.End().timerMs);
  // A refusal that needs the user is said once and is no reason to check sooner.
  cycle.Fetched("B", kBoth, 0);
  cycle.Called(kMail, "B", {ChannelResult::Ok, "sent"}, 0);
  cycle.Called(kWeb, "B", {ChannelResult::Stopped, "refused"}, 0);
  EXPECT_EQ(std::nullopt, cycle.End().timerMs);
  EXPECT_EQ("stopped: refused", cycle.ResultRow(kWeb));
}

}  // namespace

namespace {

// Each family is a truth of its own: a channel is owed the families it uses.
TEST(CheckCycleCore, EachFamilyIsItsOwnTruthAndAChannelIsOwedOnlyTheFamiliesItUses) {
  const app::Channel v4Only = app::WebChannel(1), v6Only = app::WebChannel(2), both = app::WebChannel(3);
  const app::ChannelSetup setup{
      {kMail, app::kBothFamilies}, {v4Only, app::kIpv4}, {v6Only, app::kIpv6}, {both, app::kBothFamilies}};
  CheckCycle cycle(15 * kMinute);
  const auto check = [&](const app::Address& address, std::uint64_t at) {
    const app::CheckPlan plan = cycle.Fetched(address, setup, at);
    std::string called;
    for (const auto& call : plan.calls) {
      called += call.channel == kMail ? "m" : std::to_string(call.channel.id);
      cycle.Called(call.channel, plan.address, {ChannelResult::Ok, "sent"}, at);
    }
    const app::CheckEnd end = cycle.End();
    return called + (end.announce ? " popup" : "");
  };
  EXPECT_EQ("m123 popup", check({"A", "2001:db8::1"}, 0)) << "the first check is a change for both";
  EXPECT_EQ("m23 popup", check({"A", "2001:db8::2"}, 1)) << "an IPv6-only change";
  EXPECT_EQ("m13 popup", check({"B", "2001:db8::2"}, 2)) << "an IPv4-only change";
  EXPECT_EQ("m23 popup", check({"B", "2001:db8::1"}, 3)) << "back to an earlier IPv6 address";
  EXPECT_EQ("", check({"B", ""}, 4)) << "no IPv6 address now: nobody is owed anything";
  EXPECT_EQ("", cycle.Shown().v6);
  EXPECT_EQ("m13 popup", check({"C", ""}, 5)) << "the IPv4 channels go on; the IPv6 target is not called";
  EXPECT_EQ("", check({"C", "2001:db8::1"}, 6)) << "back after a gap: every channel still holds it";
  EXPECT_EQ("2001:db8::1", cycle.Shown().v6);

  // A failed IPv6-only target holds the IPv6 field back, not the IPv4 one.
  CheckCycle held(15 * kMinute);
  held.Fetched({"A", "2001:db8::1"}, {{v6Only, app::kIpv6}, {v4Only, app::kIpv4}}, 0);
  held.Called(v6Only, {"A", "2001:db8::1"}, {ChannelResult::Transient, "down"}, 0);
  held.Called(v4Only, {"A", "2001:db8::1"}, {ChannelResult::Ok, "sent"}, 0);
  const app::CheckEnd end = held.End();
  EXPECT_EQ(app::Address("A", ""), end.shownAddress);
  EXPECT_FALSE(end.announce) << "the pair is not through yet";
}

}  // namespace
