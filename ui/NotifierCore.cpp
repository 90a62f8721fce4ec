#include "NotifierCore.h"

namespace corvane::notifier {

TaskbarEdge EdgeOfTaskbar(const Rect& wa, std::int32_t cxScreen, std::int32_t cyScreen) {
  // Differences taken in unsigned arithmetic so they wrap exactly as the
  // system's unsigned view of them would, whatever the signed values hold.
  const auto workWidth = static_cast<std::uint32_t>(wa.right) - static_cast<std::uint32_t>(wa.left);
  const auto workHeight = static_cast<std::uint32_t>(wa.bottom) - static_cast<std::uint32_t>(wa.top);
  if (workWidth < static_cast<std::uint32_t>(cxScreen)) return wa.left == 0 ? EdgeRight : EdgeLeft;
  if (workHeight < static_cast<std::uint32_t>(cyScreen) && wa.top != 0) return EdgeTop;
  // A work area as large as the screen (auto-hidden taskbar) lands here too.
  return EdgeBottom;
}

Cycle CycleFor(TaskbarEdge edge, const Rect& wa, std::int32_t cx, std::int32_t cy,
               std::int32_t step) {
  Cycle c;
  c.edge = edge;
  switch (edge) {
    case EdgeTop:
      c.hidden = {wa.right - cx, wa.top - cy};
      c.shown = {wa.right - cx, wa.top};
      c.steps = cy / step;
      break;
    case EdgeLeft:
      c.hidden = {wa.left - cx, wa.bottom - cy};
      c.shown = {wa.left, wa.bottom - cy};
      c.steps = cx / step;
      break;
    case EdgeRight:
      c.hidden = {wa.right, wa.bottom - cy};
      c.shown = {wa.right - cx, wa.bottom - cy};
      c.steps = cx / step;
      break;
    case EdgeBottom:
    default:
      c.edge = EdgeBottom;
      c.hidden = {wa.right - cx, wa.bottom};
      c.shown = {wa.right - cx, wa.bottom - cy};
      c.steps = cy / step;
      break;
  }
  return c;
}

void NotifierCore::SetSkinSize(std::int32_t cx, std::int32_t cy) {
  cxSkin_ = cx;
  cySkin_ = cy;
}

bool NotifierCore::TimerRunning(NotifierTimer id) const {
  return (running_ & (1u << id)) != 0;
}

void NotifierCore::Start(Effects& fx, NotifierTimer id, std::uint32_t ms) {
  // SetTimer on a running id restarts it, so starting twice is still one timer.
  running_ |= 1u << id;
  fx.push_back({.kind = Effect::StartTimer, .timer = id, .ms = ms});
}

void NotifierCore::Kill(Effects& fx, NotifierTimer id) {
  if (!TimerRunning(id)) return;
  running_ &= ~(1u << id);
  fx.push_back({.kind = Effect::KillTimer, .timer = id});
}

void NotifierCore::Place(Effects& fx) const {
  fx.push_back({.kind = Effect::MoveTo, .x = now_.x, .y = now_.y, .cx = cxSkin_, .cy = cySkin_});
}

std::optional<Effects> NotifierCore::Announce(const Rect& wa, std::int32_t cxScreen,
                                              std::int32_t cyScreen, std::uint32_t msAppear,
                                              std::uint32_t msStay, std::uint32_t msHide) {
  const Cycle cycle = CycleFor(EdgeOfTaskbar(wa, cxScreen, cyScreen), wa, cxSkin_, cySkin_, kStep);
  // No steps means no skin (or a sliver of one): nothing could slide, and
  // the intervals would divide by zero.
  if (cycle.steps < 1) return std::nullopt;

  msAppear_ = msAppear;
  msStay_ = msStay;
  msHide_ = msHide;

  Effects fx;
  switch (state_) {
    case NotifierIdle:
      // The window shows where it was parked (zero size); the first tick puts
      // it at the hidden position, so nothing flashes on screen here.
      fx.push_back({.kind = Effect::Show});
      edge_ = cycle.edge;
      hidden_ = cycle.hidden;
      msStepIn_ = msAppear / static_cast<std::uint32_t>(cycle.steps);
      msStepOut_ = msHide / static_cast<std::uint32_t>(cycle.steps);
      now_ = hidden_;
      Start(fx, TimerSlideIn, msStepIn_);
      break;
    case NotifierSlidingIn:
      // The slide keeps the pace it started with; the new hold time is read
      // when the hold begins.
      fx.push_back({.kind = Effect::Redraw});
      break;
    case NotifierHolding:
      fx.push_back({.kind = Effect::Redraw});
      Kill(fx, TimerHold);
      // The hold may have just expired with the slide-out not yet under way;
      // left running, that timer would slide the new caption away at once and
      // the restarted hold would later dismiss an already hidden popup.
      Kill(fx, TimerSlideOut);
      Start(fx, TimerHold, msStay_);
      break;
    case NotifierSlidingOut:
      // Jump back to fully shown and hold again; the state reads "sliding
      // out" once more from the first tick after the new hold.
      Kill(fx, TimerSlideOut);
      Start(fx, TimerHold, msStay_);
      if (cycle.edge == EdgeLeft || cycle.edge == EdgeRight) {
        now_.x = cycle.shown.x;
      } else {
        now_.y = cycle.shown.y;
      }
      Place(fx);
      fx.push_back({.kind = Effect::Redraw});
      break;
  }
  return fx;
}

Effects NotifierCore::OnTimer(std::uint32_t id) {
  switch (id) {
    case TimerSlideIn:
      if (TimerRunning(TimerSlideIn)) return SlideInTick();
      break;
    case TimerHold:
      if (TimerRunning(TimerHold)) return HoldTick();
      break;
    case TimerSlideOut:
      if (TimerRunning(TimerSlideOut)) return SlideOutTick();
      break;
    default:
      break;
  }
  return {};
}

Effects NotifierCore::SlideInTick() {
  Effects fx;
  state_ = NotifierSlidingIn;
  const std::int32_t s = kStep;
  bool moved = true;
  switch (edge_) {
    case EdgeTop:
      if (now_.y - hidden_.y < cySkin_) now_.y += s; else moved = false;
      break;
    case EdgeLeft:
      if (now_.x - hidden_.x < cxSkin_) now_.x += s; else moved = false;
      break;
    case EdgeRight:
      if (now_.x > hidden_.x - cxSkin_) now_.x -= s; else moved = false;
      break;
    case EdgeBottom:
      if (now_.y > hidden_.y - cySkin_) now_.y -= s; else moved = false;
      break;
    default:
      break;
  }
  if (!moved) {
    Kill(fx, TimerSlideIn);
    Start(fx, TimerHold, msStay_);
    state_ = NotifierHolding;
  }
  // Placed even on the finishing tick, where the position has not changed.
  Place(fx);
  return fx;
}

Effects NotifierCore::HoldTick() {
  // The state stays "holding" until the first slide-out tick.
  Effects fx;
  Kill(fx, TimerHold);
  Start(fx, TimerSlideOut, msStepOut_);
  return fx;
}

Effects NotifierCore::SlideOutTick() {
  Effects fx;
  state_ = NotifierSlidingOut;
  const std::int32_t s = kStep;
  bool moved = true;
  switch (edge_) {
    case EdgeTop:
      if (now_.y > hidden_.y) now_.y -= s; else moved = false;
      break;
    case EdgeLeft:
      if (now_.x > hidden_.x) now_.x -= s; else moved = false;
      break;
    case EdgeRight:
      if (now_.x < hidden_.x) now_.x += s; else moved = false;
      break;
    case EdgeBottom:
      if (now_.y < hidden_.y) now_.y += s; else moved = false;
      break;
    default:
      moved = false;
      break;
  }
  if (moved) {
    Place(fx);
  } else {
    DismissInto(fx);
  }
  return fx;
}

void NotifierCore::DismissInto(Effects& fx) {
  // Every running timer, not only the state's own: after an announcement the
  // timer that runs need not be the one the state is named after.
  Kill(fx, TimerSlideIn);
  Kill(fx, TimerHold);
  Kill(fx, TimerSlideOut);
  fx.push_back({.kind = Effect::Collapse});
  fx.push_back({.kind = Effect::Hide});
  state_ = NotifierIdle;
}

Effects NotifierCore::Dismiss() {
  Effects fx;
  DismissInto(fx);
  return fx;
}

}  // namespace corvane::notifier
