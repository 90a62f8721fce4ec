// The taskbar popup without its window: which edge the taskbar is on, where
// the popup hides and shows, how fast it slides and what every timer tick and
// every announcement does. The window layer feeds in what the system reports
// (work area, screen size, timer ids) and carries out the effects handed
// back, so everything that decides lives here and is tested natively. The
// caption font's look and the skin's key-colour mask have cores of their own
// beside it (CaptionFont.h, SkinMask.h).
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace ui {

// These values go straight to SetTimer/KillTimer and into the popup's fields,
// so they are fixed numbers, not just distinct names.
enum NotifierState : std::int32_t {
  NotifierIdle = 0,
  NotifierSlidingIn = 1,
  NotifierHolding = 2,
  NotifierSlidingOut = 3,
};

enum NotifierTimer : std::uint32_t {
  TimerSlideIn = 1,
  TimerHold = 2,
  TimerSlideOut = 3,
};

enum TaskbarEdge : std::int32_t {
  EdgeTop = 1,
  EdgeLeft = 2,
  EdgeRight = 3,
  EdgeBottom = 4,
};

// Same layout and meaning as the system's RECT: right and bottom exclusive.
struct Rect {
  std::int32_t left = 0, top = 0, right = 0, bottom = 0;
  bool operator==(const Rect&) const = default;
};

struct Point {
  std::int32_t x = 0, y = 0;
  bool operator==(const Point&) const = default;
};

// The taskbar sits where the work area falls short of the screen. Sizes are
// compared unsigned, as the system's own numbers are, so a nonsensical work
// area (right < left) never reads as "narrower than the screen".
TaskbarEdge EdgeOfTaskbar(const Rect& workArea, std::int32_t cxScreen, std::int32_t cyScreen);

// One slide cycle's fixed points for a skin of cx by cy moving `step` pixels
// per tick. `steps` truncates, so an odd moving dimension overshoots the shown
// position by one pixel on the way in yet still lands exactly on the hidden
// position on the way out.
struct Cycle {
  TaskbarEdge edge = EdgeBottom;
  Point hidden;
  Point shown;
  std::int32_t steps = 0;
};
Cycle CycleFor(TaskbarEdge edge, const Rect& workArea, std::int32_t cx, std::int32_t cy, std::int32_t step);

// One thing the window layer must do, in the order handed back.
struct Effect {
  enum Kind : std::uint8_t {
    Show,        // ShowWindow(SW_SHOW)
    Hide,        // ShowWindow(SW_HIDE)
    StartTimer,  // SetTimer(timer, ms)
    KillTimer,   // KillTimer(timer)
    MoveTo,      // SetWindowPos(x, y, cx, cy), no z-order change, no activation
    Collapse,    // MoveWindow(0, 0, 0, 0, repaint): the parked, invisible size
    Redraw,      // RedrawWindow(invalidate | erase | update now)
  };
  Kind kind = Redraw;
  NotifierTimer timer{};
  std::uint32_t ms = 0;
  std::int32_t x = 0, y = 0, cx = 0, cy = 0;

  bool operator==(const Effect&) const = default;
};
using Effects = std::vector<Effect>;

// The popup's animation. Only one of the three timers runs at any time, and
// the core keeps track of which, so a late tick from a timer already killed
// (its WM_TIMER may still be queued) changes nothing.
class NotifierCore {
 public:
  static constexpr std::int32_t kStep = 2;

  // The skin's size is the window's size while shown; a failed skin load
  // leaves it as it was, so the window layer only calls this on success.
  void SetSkinSize(std::int32_t cx, std::int32_t cy);

  // Starts, refreshes or revives a cycle. nullopt means refused: the skin is
  // missing or too small to move in 2-pixel steps along the taskbar's axis
  // (there would be no steps to divide the times by). On a refusal nothing
  // has changed, and the caller should leave its caption alone too.
  std::optional<Effects> Announce(const Rect& workArea, std::int32_t cxScreen, std::int32_t cyScreen,
                                  std::uint32_t msAppear, std::uint32_t msStay, std::uint32_t msHide);

  // One WM_TIMER. Ids that are not ours, or not running, do nothing.
  Effects OnTimer(std::uint32_t id);

  // Stops whatever runs, parks the window at zero size and hides it.
  Effects Dismiss();

  NotifierState State() const { return m_state; }
  Point Position() const { return m_now; }
  Point Hidden() const { return m_hidden; }
  std::int32_t Edge() const { return m_edge; }
  std::int32_t SkinWidth() const { return m_cxSkin; }
  std::int32_t SkinHeight() const { return m_cySkin; }
  std::uint32_t AppearMs() const { return m_msAppear; }
  std::uint32_t StayMs() const { return m_msStay; }
  std::uint32_t HideMs() const { return m_msHide; }
  std::uint32_t StepInMs() const { return m_msStepIn; }
  std::uint32_t StepOutMs() const { return m_msStepOut; }
  bool TimerRunning(NotifierTimer id) const;

 private:
  void Start(Effects& fx, NotifierTimer id, std::uint32_t ms);
  void Kill(Effects& fx, NotifierTimer id);
  void Place(Effects& fx) const;
  void DismissInto(Effects& fx);
  Effects SlideInTick();
  Effects HoldTick();
  Effects SlideOutTick();

  std::int32_t m_cxSkin = 0, m_cySkin = 0;
  NotifierState m_state = NotifierIdle;
  std::uint32_t m_msAppear = 0, m_msStay = 0, m_msHide = 0;
  std::uint32_t m_msStepIn = 0, m_msStepOut = 0;
  Point m_hidden;
  Point m_now;
  std::int32_t m_edge = 0;      // 0 until the first cycle picks an edge
  std::uint32_t m_running = 0;  // bit (1 << id) per running timer
};

}  // namespace ui
