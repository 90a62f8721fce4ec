// When the next check comes: back-off after failures, the regular rhythm
// after good checks, one check per burst of change notices; and the start switches.
#include <gtest/gtest.h>

#include "CheckSchedule.h"
#include "StartOptions.h"

namespace {

using app::CheckSchedule;

TEST(CheckSchedule, FailuresBackOffFromOneMinuteUpToTheIntervalAndAGoodCheckReturnsToIt) {
  CheckSchedule schedule(86'400'000);  // a day
  std::vector<std::uint32_t> delays;
  for (int i = 0; i < 14; ++i) delays.push_back(*schedule.AfterCheck(false));
  EXPECT_EQ(60'000u, delays[0]);
  EXPECT_EQ(120'000u, delays[1]);
  EXPECT_EQ(240'000u, delays[2]);
  EXPECT_EQ(61'440'000u, delays[10]);
  EXPECT_EQ(86'400'000u, delays[11]) << "never later than the interval";
  EXPECT_EQ(86'400'000u, delays[13]);
  for (int i = 0; i < 100; ++i) EXPECT_LE(*schedule.AfterCheck(false), 86'400'000u) << "no overflow";

  EXPECT_EQ(86'400'000u, schedule.AfterCheck(true)) << "back to the interval";
  EXPECT_FALSE(schedule.AfterCheck(true)) << "then the timer keeps its rhythm";
  EXPECT_EQ(60'000u, schedule.AfterCheck(false)) << "the next failure starts again at a minute";
}

TEST(CheckSchedule, AnIntervalShorterThanAMinuteCapsTheFirstRetry) {
  CheckSchedule schedule(3'000);
  EXPECT_EQ(3'000u, schedule.AfterCheck(false));
}

TEST(CheckSchedule, NoticesOfOneChangeGiveOneSettleTimer) {
  CheckSchedule schedule(900'000);
  EXPECT_TRUE(schedule.ChangeNoticed());
  EXPECT_FALSE(schedule.ChangeNoticed());
  EXPECT_FALSE(schedule.ChangeNoticed());
  schedule.Settled();
  EXPECT_TRUE(schedule.ChangeNoticed()) << "a later change is noticed again";
}

TEST(StartOptions, TrayIsASwitchInAnyCaseAfterTheProgramName) {
  using app::ParseCommandLine;
  EXPECT_FALSE(ParseCommandLine("Corvane.exe").inTray);
  EXPECT_TRUE(ParseCommandLine("Corvane.exe /tray").inTray);
  EXPECT_TRUE(ParseCommandLine("\"C:\\Program Files\\Corvane\\Corvane.exe\"  -TRAY ").inTray);
  EXPECT_FALSE(ParseCommandLine("\"C:\\my /tray\\Corvane.exe\"").inTray) << "part of the program's path";
  EXPECT_FALSE(ParseCommandLine("Corvane.exe \"notes /tray here\"").inTray) << "inside a quoted argument";
  EXPECT_FALSE(ParseCommandLine("Corvane.exe /trayx").inTray);
  EXPECT_FALSE(ParseCommandLine("Corvane.exe tray").inTray);
}

}  // namespace
