#include "ui/NotifierCore.h"

namespace ui {

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

Cycle CycleFor(TaskbarEdge edge, const Rect& wa, std::int32_t cx, std::int32_t cy, std::int32_t step) {
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
  m_cxSkin = cx;
  m_cySkin = cy;
}

bool NotifierCore::TimerRunning(NotifierTimer id) const { return (m_running & (1u << id)) != 0; }

void NotifierCore::Start(Effects& fx, NotifierTimer id, std::uint32_t ms) {
  // SetTimer on a running id restarts it, so starting twice is still one timer.
  m_running |= 1u << id;
  fx.push_back({.kind = Effect::StartTimer, .timer = id, .ms = ms});
}

void NotifierCore::Kill(Effects& fx, NotifierTimer id) {
  if (!TimerRunning(id)) return;
  m_running &= ~(1u << id);
  fx.push_back({.kind = Effect::KillTimer, .timer = id});
}

void NotifierCore::Place(Effects& fx) const {
  fx.push_back({.kind = Effect::MoveTo, .x = m_now.x, .y = m_now.y, .cx = m_cxSkin, .cy = m_cySkin});
}

std::optional<Effects> NotifierCore::Announce(const Rect& wa, std::int32_t cxScreen, std::int32_t cyScreen,
                                              std::uint32_t msAppear, std::uint32_t msStay, std::uint32_t msHide) {
  const Cycle cycle = CycleFor(EdgeOfTaskbar(wa, cxScreen, cyScreen), wa, m_cxSkin, m_cySkin, kStep);
  // No steps means no skin (or a sliver of one): nothing could slide, and
  // the intervals would divide by zero.
  if (cycle.steps < 1) return std::nullopt;

  m_msAppear = msAppear;
  m_msStay = msStay;
  m_msHide = msHide;

  Effects fx;
  switch (m_state) {
    case NotifierIdle:
      // The window shows where it was parked (zero size); the first tick puts
      // it at the hidden position, so nothing flashes on screen here.
      fx.push_back({.kind = Effect::Show});
      m_edge = cycle.edge;
      m_hidden = cycle.hidden;
      m_msStepIn = msAppear / static_cast<std::uint32_t>(cycle.steps);
      m_msStepOut = msHide / static_cast<std::uint32_t>(cycle.steps);
      m_now = m_hidden;
      Start(fx, TimerSlideIn, m_msStepIn);
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
      Start(fx, TimerHold, m_msStay);
      break;
    case NotifierSlidingOut:
      // Jump back to fully shown and hold again; the state reads "sliding
      // out" once more from the first tick after the new hold.
      Kill(fx, TimerSlideOut);
      Start(fx, TimerHold, m_msStay);
      if (cycle.edge == EdgeLeft || cycle.edge == EdgeRight) {
        m_now.x = cycle.shown.x;
      } else {
        m_now.y = cycle.shown.y;
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
  m_state = NotifierSlidingIn;
  const std::int32_t s = kStep;
  bool moved = true;
  switch (m_edge) {
    case EdgeTop:
      if (m_now.y - m_hidden.y < m_cySkin)
        m_now.y += s;
      else
        moved = false;
      break;
    case EdgeLeft:
      if (m_now.x - m_hidden.x < m_cxSkin)
        m_now.x += s;
      else
        moved = false;
      break;
    case EdgeRight:
      if (m_now.x > m_hidden.x - m_cxSkin)
        m_now.x -= s;
      else
        moved = false;
      break;
    case EdgeBottom:
      if (m_now.y > m_hidden.y - m_cySkin)
        m_now.y -= s;
      else
        moved = false;
      break;
    default:
      break;
  }
  if (!moved) {
    Kill(fx, TimerSlideIn);
    Start(fx, TimerHold, m_msStay);
    m_state = NotifierHolding;
  }
  // Placed even on the finishing tick, where the position has not changed.
  Place(fx);
  return fx;
}

Effects NotifierCore::HoldTick() {
  // The state stays "holding" until the first slide-out tick.
  Effects fx;
  Kill(fx, TimerHold);
  Start(fx, TimerSlideOut, m_msStepOut);
  return fx;
}

Effects NotifierCore::SlideOutTick() {
  Effects fx;
  m_state = NotifierSlidingOut;
  const std::int32_t s = kStep;
  bool moved = true;
  switch (m_edge) {
    case EdgeTop:
      if (m_now.y > m_hidden.y)
        m_now.y -= s;
      else
        moved = false;
      break;
    case EdgeLeft:
      if (m_now.x > m_hidden.x)
        m_now.x -= s;
      else
        moved = false;
      break;
    case EdgeRight:
      if (m_now.x < m_hidden.x)
        m_now.x += s;
      else
        moved = false;
      break;
    case EdgeBottom:
      if (m_now.y < m_hidden.y)
        m_now.y += s;
      else
        moved = false;
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
  m_state = NotifierIdle;
}

Effects NotifierCore::Dismiss() {
  Effects fx;
  DismissInto(fx);
  return fx;
}

}  // namespace ui
