// When the targets for failing checks are called, as runs of check outcomes.
#include <gtest/gtest.h>

#include "app/FailureWatch.h"

namespace {

// Each step is a check: F failed (with the words "failure <step>"), S got an
// address. Each answer is . for no call, f for the failing call (whose words
// must be its own step's), r for the recovery call.
TEST(FailureWatch, ThreeFailuresInARowAreToldOnceAndTheRecoveryOnce) {
  struct Case {
    const char* name;
    std::string steps, want;
  };
  const Case cases[] = {
      {"three in a row", "FFF", "..f"},
      {"told once however long the run", "FFFFFF", "..f..."},
      {"the first success after is told once", "FFFSS", "..fr."},
      {"a success before the third starts again", "FSFF", "...."},
      {"two are not enough", "FFSFFS", "......"},
      {"a success with nothing told is no recovery", "SSS", "..."},
      {"the count starts over after a recovery", "FFFSFFSFFF", "..fr.....f"},
      {"failing from the first check of all", "FFFFS", "..f.r"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    app::FailureWatch watch;
    std::string answers;
    bool told = false;
    for (std::size_t i = 0; i < c.steps.size(); ++i) {
      const std::string words = "failure " + std::to_string(i + 1);
      const app::FailureNews news = c.steps[i] == 'F' ? watch.Failed(words) : watch.Succeeded();
      answers += ".fr"[news.kind];
      EXPECT_EQ(news.kind == app::FailureNews::Failing ? words : std::string(), news.error) << "step " << i + 1;
      if (news.kind != app::FailureNews::Nothing) told = news.kind == app::FailureNews::Failing;
      EXPECT_EQ(told, watch.Told()) << "step " << i + 1;
    }
    EXPECT_EQ(c.want, answers);
  }
}

}  // namespace
