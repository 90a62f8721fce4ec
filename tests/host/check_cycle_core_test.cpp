// The check cycle's decisions, one table row a check: what the page showed,
// which channels are set up and what each call came to, against who was
// called, what the field shows, whether the popup slides out and whether a
// box follows.
#include <gtest/gtest.h>

#include <map>

#include "CheckCycle.h"

namespace {

using app::CheckCycle;
using notify::ChannelResult;
using State = CheckCycle::State;

constexpr std::uint64_t kMinute = 60'000;
constexpr char kFailedFetch[] = "!";

struct Check {
  std::uint64_t atMs;
  std::string page;         // the address the page showed, "" for none, "!" for a failed fetch
  app::ChannelSetup setup;  // {mail, web}
  std::map<app::Channel, ChannelResult::Kind> answers;  // a channel called but not named here answers Ok
  std::string calls;                                    // the channels called, in order: "m" mail, "w" web
  std::string shown;                                    // the field afterwards
  bool announce = false;
  bool box = false;
};

const app::ChannelSetup kBoth{true, true};
const app::ChannelSetup kMailOnly{true, false};
const app::ChannelSetup kWebOnly{false, true};

// Runs the checks in order on one cycle and says where the first one went wrong.
void Checks(CheckCycle& cycle, const std::vector<Check>& checks) {
  for (std::size_t n = 0; n < checks.size(); ++n) {
    const Check& check = checks[n];
    SCOPED_TRACE("check " + std::to_string(n + 1) + ", page " + check.page);
    std::string calls;
    const std::string shownBefore = cycle.Shown();
    if (check.page == kFailedFetch) {
      cycle.FetchFailed("the page failed");
    } else {
      const app::CheckPlan plan = cycle.Fetched(check.page, check.setup, check.atMs);
      EXPECT_FALSE(plan.askForSettings);
      for (const auto& call : plan.calls) {
        calls += call.channel == app::kMailChannel ? "m" : "w";
        const auto answer = check.answers.find(call.channel);
        const ChannelResult::Kind kind = answer == check.answers.end() ? ChannelResult::Ok : answer->second;
        cycle.Called(call.channel, plan.address,
                     {kind, "refused", kind == ChannelResult::Wait ? std::uint32_t{30 * kMinute} : 0u}, check.atMs);
      }
    }
    const app::CheckEnd end = cycle.End();
    EXPECT_EQ(check.calls, calls);
    EXPECT_EQ(check.shown, end.shownAddress);
    EXPECT_EQ(check.announce, end.announce);
    EXPECT_EQ(check.box, !end.failure.empty()) << end.failure;
    EXPECT_EQ(check.page != kFailedFetch && (!check.box || check.announce || check.shown != shownBefore), end.show)
        << "the fields are written unless a failure moved nothing";
  }
}

constexpr auto kFails = ChannelResult::Transient;
constexpr auto kStops = ChannelResult::Stopped;
constexpr auto kWaits = ChannelResult::Wait;
constexpr app::Channel kMail = app::kMailChannel;
constexpr app::Channel kWeb = 1;

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
                   {2, "B", kBoth, {{kWeb, kFails}}, "w", "B", false, true},
                   {3, "B", kBoth, {}, "w", "B"}});
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
  Checks(webOnly, {{3, "C", {false, false}, {}, "", "C"}});
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
    app::CheckPlan plan = cycle.Fetched("A", {false, false}, 0);
    EXPECT_TRUE(plan.askForSettings);
    plan = cycle.AfterSettings({false, false}, 0);
    EXPECT_TRUE(plan.calls.empty());
    const app::CheckEnd end = cycle.End();
    EXPECT_EQ("A", end.shownAddress);
    EXPECT_FALSE(end.announce);
    EXPECT_EQ("", end.failure);
    Checks(cycle, {{1, "A", {false, false}, {}, "", "A"}});
  }
  {
    SCOPED_TRACE("the mail saved there: the change that asked goes out at once");
    CheckCycle cycle(15 * kMinute);
    EXPECT_TRUE(cycle.Fetched("A", {false, false}, 0).askForSettings);
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
  const app::ChannelSetup three{true, true, true};
  CheckCycle cycle(15 * kMinute);
  Checks(cycle, {{0, "A", three, {}, "mww", "A", true}, {1, "B", three, {{2, kFails}}, "mww", "B", true, true}});
  cycle.WebTargetsStored({1, -1});  // the first target removed, a new one added at the end
  EXPECT_EQ(State::Owed, cycle.StateOf(1, 2)) << "the failed target moved up with its debt";
  Checks(cycle, {{2, "B", three, {}, "w", "B"}, {3, "C", three, {}, "mww", "C", true}});
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

TEST(CheckCycleCore, FailuresBackOffAndAGoodCheckReturnsToTheInterval) {
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
}

}  // namespace
