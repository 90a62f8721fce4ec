// The popup's decisions without a window: edges, slide geometry and timing
// tick by tick, announcements in every state, font look and the skin mask.
#include "ui/NotifierCore.h"

#include "ui/CaptionFont.h"
#include "ui/SkinMask.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <ostream>
#include <set>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace ui {
void PrintTo(const Effect& e, std::ostream* os) {
  *os << "{kind " << int(e.kind) << ", timer " << e.timer << ", ms " << e.ms << ", " << e.x << "," << e.y << " " << e.cx
      << "x" << e.cy << "}";
}
}  // namespace ui

namespace {

using namespace ui;

constexpr std::int32_t kScreenW = 1280, kScreenH = 1024, kSkinW = 148, kSkinH = 120;
// Taskbar at each edge of a 1280x1024 screen, and none at all.
const Rect kBottomBar{0, 0, kScreenW, kScreenH - 40};
const Rect kTopBar{0, 40, kScreenW, kScreenH};
const Rect kLeftBar{60, 0, kScreenW, kScreenH};
const Rect kRightBar{0, 0, kScreenW - 60, kScreenH};
const Rect kNoBar{0, 0, kScreenW, kScreenH};
const NotifierTimer kAllTimers[] = {TimerSlideIn, TimerHold, TimerSlideOut};

Effect Of(Effect::Kind k) { return {.kind = k}; }
Effect Start(NotifierTimer id, std::uint32_t ms) { return {.kind = Effect::StartTimer, .timer = id, .ms = ms}; }
Effect Kill(NotifierTimer id) { return {.kind = Effect::KillTimer, .timer = id}; }
Effect Move(std::int32_t x, std::int32_t y, std::int32_t cy = kSkinH) {
  return {.kind = Effect::MoveTo, .x = x, .y = y, .cx = kSkinW, .cy = cy};
}
const Effects kDismissed{Kill(TimerSlideOut), Of(Effect::Collapse), Of(Effect::Hide)};

Effects Announce(NotifierCore& core, const Rect& wa, std::uint32_t stay = 2000, std::uint32_t in = 500,
                 std::uint32_t out = 500) {
  auto fx = core.Announce(wa, kScreenW, kScreenH, in, stay, out);
  EXPECT_TRUE(fx.has_value());
  return fx.value_or(Effects{});
}

// Ticks `id` while each tick only moves the window; returns the positions and
// leaves the first other tick's effects in `last`.
std::vector<Point> TickWhileMoving(NotifierCore& core, NotifierTimer id, Effects& last) {
  std::vector<Point> path;
  while (path.size() < 1000) {
    last = core.OnTimer(id);
    if (last.size() != 1 || last[0].kind != Effect::MoveTo) return path;
    path.push_back({last[0].x, last[0].y});
  }
  ADD_FAILURE() << "timer " << id << " never stopped moving";
  return path;
}

// A 148x120 bottom cycle (500/2000/500) brought to a given point.
enum Stage { Announced, SlidingIn, Holding, HoldExpired, SlidingOut };
NotifierCore CoreAt(Stage stage, std::int32_t cy = kSkinH) {
  NotifierCore core;
  core.SetSkinSize(kSkinW, cy);
  Announce(core, kBottomBar);
  for (int i = 0; i < (stage == Announced ? 0 : stage == SlidingIn ? 10 : 61); ++i) core.OnTimer(TimerSlideIn);
  if (stage >= HoldExpired) core.OnTimer(TimerHold);
  for (int i = 0; i < (stage == SlidingOut ? 5 : 0); ++i) core.OnTimer(TimerSlideOut);
  return core;
}

TEST(TaskbarEdgeTest, RulesInOrderWithUnsignedSizes) {
  EXPECT_EQ(EdgeOfTaskbar(kBottomBar, kScreenW, kScreenH), EdgeBottom);
  EXPECT_EQ(EdgeOfTaskbar(kTopBar, kScreenW, kScreenH), EdgeTop);
  EXPECT_EQ(EdgeOfTaskbar(kLeftBar, kScreenW, kScreenH), EdgeLeft);
  EXPECT_EQ(EdgeOfTaskbar(kRightBar, kScreenW, kScreenH), EdgeRight);
  EXPECT_EQ(EdgeOfTaskbar(kNoBar, kScreenW, kScreenH), EdgeBottom);
  // Narrower and shorter at once: the width rules win.
  EXPECT_EQ(EdgeOfTaskbar({60, 40, kScreenW, kScreenH}, kScreenW, kScreenH), EdgeLeft);
  // A reversed work area has a huge unsigned width, never "narrower".
  EXPECT_EQ(EdgeOfTaskbar({500, 40, 100, kScreenH}, kScreenW, kScreenH), EdgeTop);
}

TEST(NotifierCycleTest, WorkedExampleBottomTaskbar) {
  NotifierCore core;
  core.SetSkinSize(kSkinW, kSkinH);
  const std::int32_t x = kBottomBar.right - kSkinW, bottom = kBottomBar.bottom;
  // Shown where it stands (parked, zero size); nothing moves before the first tick.
  EXPECT_EQ(Announce(core, kBottomBar), (Effects{Of(Effect::Show), Start(TimerSlideIn, 8)}));
  EXPECT_EQ(core.State(), NotifierIdle);
  EXPECT_EQ(core.StepOutMs(), 8u);
  for (int k = 1; k <= 60; ++k) {
    ASSERT_EQ(core.OnTimer(TimerSlideIn), Effects{Move(x, bottom - 2 * k)}) << "tick " << k;
    EXPECT_EQ(core.State(), NotifierSlidingIn);
  }
  EXPECT_EQ(core.OnTimer(TimerSlideIn), (Effects{Kill(TimerSlideIn), Start(TimerHold, 2000), Move(x, bottom - 120)}));
  EXPECT_EQ(core.State(), NotifierHolding);
  EXPECT_EQ(core.OnTimer(TimerHold), (Effects{Kill(TimerHold), Start(TimerSlideOut, 8)}));
  EXPECT_EQ(core.State(), NotifierHolding);
  for (int k = 1; k <= 60; ++k) {
    ASSERT_EQ(core.OnTimer(TimerSlideOut), Effects{Move(x, bottom - 120 + 2 * k)}) << k;
    EXPECT_EQ(core.State(), NotifierSlidingOut);
  }
  EXPECT_EQ(core.OnTimer(TimerSlideOut), kDismissed);
  EXPECT_EQ(core.State(), NotifierIdle);
  for (auto id : kAllTimers) EXPECT_FALSE(core.TimerRunning(id));
}

struct EdgeCase {
  const char* name;
  Rect wa;
  TaskbarEdge edge;
  Point hidden, shown;
  std::uint32_t interval;
  std::size_t steps;
};
class NotifierEdgeTest : public ::testing::TestWithParam<EdgeCase> {};

TEST_P(NotifierEdgeTest, SlidesInHoldsAndRetracesTheWayOut) {
  const EdgeCase& c = GetParam();
  NotifierCore core;
  core.SetSkinSize(kSkinW, kSkinH);
  Announce(core, c.wa);
  EXPECT_EQ(core.Edge(), c.edge);
  EXPECT_EQ(core.Hidden(), c.hidden);
  EXPECT_EQ(core.StepInMs(), c.interval);

  Effects last;
  const auto in = TickWhileMoving(core, TimerSlideIn, last);
  ASSERT_EQ(in.size(), c.steps);
  Point prev = c.hidden;
  for (const Point& p : in) {  // 2 px along one axis per tick
    EXPECT_EQ(std::abs(p.x - prev.x) + std::abs(p.y - prev.y), 2);
    EXPECT_TRUE(p.x == prev.x || p.y == prev.y);
    prev = p;
  }
  EXPECT_EQ(in.back(), c.shown);
  EXPECT_EQ(last, (Effects{Kill(TimerSlideIn), Start(TimerHold, 2000), Move(c.shown.x, c.shown.y)}));

  core.OnTimer(TimerHold);
  const auto out = TickWhileMoving(core, TimerSlideOut, last);
  ASSERT_EQ(out.size(), c.steps);
  for (std::size_t i = 0; i + 1 < c.steps; ++i) EXPECT_EQ(out[i], in[c.steps - 2 - i]) << i;
  EXPECT_EQ(out.back(), c.hidden);
  EXPECT_EQ(last, kDismissed);
}

INSTANTIATE_TEST_SUITE_P(
    OtherEdges, NotifierEdgeTest,
    ::testing::Values(EdgeCase{"Top", kTopBar, EdgeTop, {1132, 40 - kSkinH}, {1132, 40}, 8, 60},
                      EdgeCase{"Left", kLeftBar, EdgeLeft, {60 - kSkinW, 904}, {60, 904}, 6, 74},
                      EdgeCase{"Right", kRightBar, EdgeRight, {1220, 904}, {1220 - kSkinW, 904}, 6, 74},
                      EdgeCase{"FullScreen", kNoBar, EdgeBottom, {1132, kScreenH}, {1132, kScreenH - kSkinH}, 8, 60}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(NotifierCycleTest, OddHeightOvershootsInButReturnsExactlyAndIntervalsTruncate) {
  NotifierCore core = CoreAt(Announced, 121);
  EXPECT_EQ(core.StepInMs(), 500u / 60);
  Effects last;
  const auto in = TickWhileMoving(core, TimerSlideIn, last);
  ASSERT_EQ(in.size(), 61u);
  EXPECT_EQ(last.back(), Move(1132, kBottomBar.bottom - 122, 121));
  core.OnTimer(TimerHold);
  const auto out = TickWhileMoving(core, TimerSlideOut, last);
  ASSERT_EQ(out.size(), 61u);
  EXPECT_EQ(out.back().y, kBottomBar.bottom);

  // Times divide unsigned: 73 ms over 74 steps is 0, and 4e9 stays positive.
  Announce(core, kRightBar, 0, 73, 4000000000u);
  EXPECT_EQ(core.StepInMs(), 0u);
  EXPECT_EQ(core.StepOutMs(), 4000000000u / 74);
}

TEST(NotifierAnnounceTest, WhileIdleOrSlidingInKeepsTheCycleGoing) {
  NotifierCore idle = CoreAt(Announced);
  EXPECT_EQ(Announce(idle, kBottomBar, 2000, 1200), (Effects{Of(Effect::Show), Start(TimerSlideIn, 20)}));
  EXPECT_EQ(idle.State(), NotifierIdle);

  // The slide keeps its pace; the new hold time is read when the hold begins.
  NotifierCore core = CoreAt(SlidingIn);
  const Point before = core.Position();
  EXPECT_EQ(Announce(core, kBottomBar, 3000, 1200, 1200), Effects{Of(Effect::Redraw)});
  EXPECT_EQ(core.Position(), before);
  Effects last;
  TickWhileMoving(core, TimerSlideIn, last);
  EXPECT_EQ(last[1], Start(TimerHold, 3000));
  EXPECT_EQ(core.OnTimer(TimerHold)[1], Start(TimerSlideOut, 8));
}

TEST(NotifierAnnounceTest, WhileHoldingRestartsTheHoldEvenAfterItExpired) {
  NotifierCore core = CoreAt(Holding);
  const Point shown = core.Position();
  EXPECT_EQ(Announce(core, kBottomBar, 5000), (Effects{Of(Effect::Redraw), Kill(TimerHold), Start(TimerHold, 5000)}));
  EXPECT_EQ(core.State(), NotifierHolding);

  // Hold fired, slide-out not yet under way: the slide-out timer must stop.
  core = CoreAt(HoldExpired);
  EXPECT_EQ(Announce(core, kBottomBar, 5000),
            (Effects{Of(Effect::Redraw), Kill(TimerSlideOut), Start(TimerHold, 5000)}));
  EXPECT_TRUE(core.OnTimer(TimerSlideOut).empty());  // a late, queued tick
  EXPECT_EQ(core.Position(), shown);
  EXPECT_EQ(core.OnTimer(TimerHold), (Effects{Kill(TimerHold), Start(TimerSlideOut, 8)}));
  Effects last;
  EXPECT_EQ(TickWhileMoving(core, TimerSlideOut, last).size(), 60u);
  EXPECT_EQ(last, kDismissed);
  EXPECT_TRUE(core.OnTimer(TimerHold).empty());
}

TEST(NotifierAnnounceTest, WhileSlidingOutJumpsBackAndHoldsAgain) {
  NotifierCore core = CoreAt(SlidingOut);
  EXPECT_EQ(Announce(core, kBottomBar, 1500, 1000, 1000),
            (Effects{Kill(TimerSlideOut), Start(TimerHold, 1500), Move(1132, 864), Of(Effect::Redraw)}));
  EXPECT_EQ(core.State(), NotifierSlidingOut);
  EXPECT_EQ(core.OnTimer(TimerHold), (Effects{Kill(TimerHold), Start(TimerSlideOut, 8)}));
  Effects last;
  EXPECT_EQ(TickWhileMoving(core, TimerSlideOut, last).size(), 60u);
  EXPECT_EQ(core.State(), NotifierIdle);

  // The moving coordinate follows the edge found now; the cycle keeps its own.
  core = CoreAt(SlidingOut);
  const Point before = core.Position();
  Announce(core, kRightBar);
  EXPECT_EQ(core.Position(), (Point{kRightBar.right - kSkinW, before.y}));
  EXPECT_EQ(core.Edge(), EdgeBottom);
}

TEST(NotifierAnnounceTest, RefusedUnlessTheSkinCanMoveAlongTheEdge) {
  auto accepts = [](std::int32_t cx, std::int32_t cy, const Rect& wa) {
    NotifierCore core;
    core.SetSkinSize(cx, cy);
    const bool ok = core.Announce(wa, kScreenW, kScreenH, 500, 2000, 500).has_value();
    if (!ok) {
      EXPECT_TRUE(core.AppearMs() == 0 && !core.TimerRunning(TimerSlideIn));
    }
    return ok;
  };
  EXPECT_FALSE(accepts(0, 0, kBottomBar));
  EXPECT_FALSE(accepts(kSkinW, 1, kBottomBar));
  EXPECT_FALSE(accepts(kSkinW, 1, kTopBar));
  EXPECT_TRUE(accepts(kSkinW, 1, kRightBar));
  EXPECT_FALSE(accepts(1, kSkinH, kLeftBar));
  EXPECT_TRUE(accepts(1, kSkinH, kBottomBar));
}

TEST(NotifierDismissTest, StopsWhateverRunsAndIgnoresLateTicks) {
  const std::pair<Stage, NotifierTimer> cases[] = {{Announced, TimerSlideIn},
                                                   {SlidingIn, TimerSlideIn},
                                                   {Holding, TimerHold},
                                                   {HoldExpired, TimerSlideOut},
                                                   {SlidingOut, TimerSlideOut}};
  for (auto [stage, running] : cases) {
    SCOPED_TRACE(stage);
    NotifierCore core = CoreAt(stage);
    EXPECT_EQ(core.Dismiss(), (Effects{Kill(running), Of(Effect::Collapse), Of(Effect::Hide)}));
    EXPECT_EQ(core.State(), NotifierIdle);
    for (auto id : kAllTimers) EXPECT_TRUE(core.OnTimer(id).empty());
    for (std::uint32_t id : {0u, 4u, 32u}) EXPECT_TRUE(core.OnTimer(id).empty());
    // The next announcement starts afresh from the hidden position.
    Announce(core, kBottomBar);
    EXPECT_EQ(core.OnTimer(TimerSlideIn), Effects{Move(1132, kBottomBar.bottom - 2)});
  }
}

TEST(CaptionFontTest, StyleBitsHeightAndFaceName) {
  EXPECT_EQ(LookFromStyle(0), (FontLook{400, false, false}));
  EXPECT_EQ(LookFromStyle(StyleBold), (FontLook{700, false, false}));
  EXPECT_EQ(LookFromStyle(StyleItalic | StyleUnderline), (FontLook{400, true, true}));
  EXPECT_EQ(LookFromStyle(0xFFFFFFF8u), (FontLook{400, false, false}));
  EXPECT_EQ(LookFromStyle(0xFFFFFFFFu), (FontLook{700, true, true}));

  EXPECT_EQ(PointSizeToHeight(90, 96), -12);
  EXPECT_EQ(PointSizeToHeight(90, 120), -15);
  EXPECT_EQ(PointSizeToHeight(80, 96), -11);  // 10.67
  EXPECT_EQ(PointSizeToHeight(70, 96), -9);   // 9.33
  EXPECT_EQ(PointSizeToHeight(5, 72), -1);    // one half rounds away from zero
  EXPECT_EQ(PointSizeToHeight(-90, 96), -12);
  EXPECT_EQ(PointSizeToHeight(2000000000, 720), -2000000000);  // no 32-bit overflow

  const std::string longName(40, 'a');
  EXPECT_EQ(FitFaceName("Arial"), "Arial");
  EXPECT_EQ(FitFaceName(longName), longName.substr(0, 31));
}

// A top-down BGR image of one colour; Set takes red, green, blue.
struct Image {
  PixelSize size;
  std::vector<std::uint8_t> bgr;
  Image(PixelSize s, KeyColour c) : size(s), bgr(PixelBytes(s)) {
    for (std::size_t i = 0; i < bgr.size(); i += 3) Set(i, c);
  }
  void Set(std::size_t i, KeyColour c) { bgr[i] = c.blue, bgr[i + 1] = c.green, bgr[i + 2] = c.red; }
  void Set(int x, int y, KeyColour c) { Set(3 * (std::size_t(y) * size.width + x), c); }
};
const KeyColour kKey{25, 35, 85};

TEST(SkinMaskTest, KeyArgumentsAndWidthRounding) {
  EXPECT_FALSE(KeyFromArgs(-1, 0, 0) || KeyFromArgs(0, -1, 0) || KeyFromArgs(0, 0, -1));
  EXPECT_EQ(KeyFromArgs(25, 35, 85), kKey);
  EXPECT_EQ(KeyFromArgs(0x1FF, -2, 256), (KeyColour{0xFF, 0xFE, 0x00}));  // low bytes
  EXPECT_EQ(ReadableSize(148, 120), (PixelSize{148, 120}));
  for (int w : {149, 150, 151}) EXPECT_EQ(ReadableSize(w, 7), (PixelSize{148, 7})) << w;
  EXPECT_EQ(ReadableSize(3, 5).width, 0);

  // A key colour found nowhere leaves every row whole, but only width' wide.
  const PixelSize size = ReadableSize(150, 3);
  const auto runs = OpaqueRuns(Image(size, {1, 2, 3}).bgr, size, kKey);
  EXPECT_EQ(runs, (std::vector<RowRun>{{0, 0, 148}, {1, 0, 148}, {2, 0, 148}}));
}

TEST(SkinMaskTest, MaskAndRunsCoverExactlyTheNonKeyPixels) {
  Image img({8, 4}, {200, 210, 220});
  std::set<std::pair<int, int>> keyed = {{0, 0}, {1, 0}, {7, 0}, {3, 1}, {4, 1}};
  for (int x = 0; x < 8; ++x) keyed.insert({x, 3});
  for (auto [x, y] : keyed) img.Set(x, y, kKey);
  // Near misses: one channel off by one, and red and blue swapped.
  img.Set(5, 2, {25, 35, 86});
  img.Set(6, 2, {26, 35, 85});
  img.Set(7, 2, {85, 35, 25});

  const auto mask = KeyMask(img.bgr, img.size, kKey);
  const auto runs = OpaqueRuns(img.bgr, img.size, kKey);
  ASSERT_EQ(mask.size(), 32u);
  std::set<std::pair<int, int>> covered;
  for (const RowRun& r : runs)
    for (int x = r.left; x < r.right; ++x) EXPECT_TRUE(covered.insert({x, r.y}).second);
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 8; ++x) {
      const bool isKey = keyed.count({x, y}) != 0;
      EXPECT_EQ(mask[y * 8 + x], isKey ? 1 : 0) << x << "," << y;
      EXPECT_EQ(covered.count({x, y}) == 0, isKey) << x << "," << y;
    }
  }
  // Maximal runs in reading order; the all-key row gives none.
  EXPECT_EQ(runs, (std::vector<RowRun>{{0, 2, 7}, {1, 0, 3}, {1, 5, 8}, {2, 0, 8}}));

  EXPECT_TRUE(OpaqueRuns({}, PixelSize{0, 10}, kKey).empty());
  img.bgr.pop_back();
  EXPECT_THROW(OpaqueRuns(img.bgr, img.size, kKey), std::invalid_argument);
  EXPECT_THROW(KeyMask(img.bgr, img.size, kKey), std::invalid_argument);
}

}  // namespace
