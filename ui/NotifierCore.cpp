#include "NotifierCore.h"

#include <cstdlib>
#include <stdexcept>

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

// --- Animation ----------------------------------------------------------------

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

// --- Caption font ---------------------------------------------------------------

FontLook LookFromStyle(std::uint32_t bits) {
  return {.weight = (bits & StyleBold) ? 700 : 400,
          .italic = (bits & StyleItalic) != 0,
          .underline = (bits & StyleUnderline) != 0};
}

std::int32_t PointSizeToHeight(std::int32_t tenthsOfPoint, std::int32_t ppi) {
  // 64-bit product, then round half away from zero as MulDiv does.
  const std::int64_t product = static_cast<std::int64_t>(ppi) * tenthsOfPoint;
  const std::int64_t magnitude = (std::llabs(product) + 360) / 720;
  return -static_cast<std::int32_t>(magnitude);
}

std::string FitFaceName(std::string_view face) {
  constexpr std::size_t kMaxFace = 31;
  return std::string(face.substr(0, kMaxFace));
}

// --- Skin key-colour mask -----------------------------------------------------------

std::optional<KeyColour> KeyFromArgs(std::int16_t red, std::int16_t green, std::int16_t blue) {
  if (red == -1 || green == -1 || blue == -1) return std::nullopt;
  return KeyColour{static_cast<std::uint8_t>(red), static_cast<std::uint8_t>(green),
                   static_cast<std::uint8_t>(blue)};
}

PixelSize ReadableSize(std::int32_t bitmapWidth, std::int32_t bitmapHeight) {
  return {static_cast<std::uint16_t>(bitmapWidth - bitmapWidth % 4),
          static_cast<std::uint16_t>(bitmapHeight)};
}

std::size_t PixelBytes(PixelSize size) {
  return std::size_t{size.width} * size.height * 3;
}

namespace {

void RequireWholeImage(std::span<const std::uint8_t> bgr, PixelSize size) {
  if (bgr.size() < PixelBytes(size)) {
    throw std::invalid_argument("pixel buffer shorter than its stated size");
  }
}

bool IsKey(const std::uint8_t* px, KeyColour key) {
  return px[0] == key.blue && px[1] == key.green && px[2] == key.red;
}

}  // namespace

std::vector<std::uint8_t> KeyMask(std::span<const std::uint8_t> bgr, PixelSize size,
                                  KeyColour key) {
  RequireWholeImage(bgr, size);
  const std::size_t count = std::size_t{size.width} * size.height;
  std::vector<std::uint8_t> mask(count);
  for (std::size_t i = 0; i < count; ++i) mask[i] = IsKey(&bgr[3 * i], key) ? 1 : 0;
  return mask;
}

std::vector<RowRun> OpaqueRuns(std::span<const std::uint8_t> bgr, PixelSize size, KeyColour key) {
  RequireWholeImage(bgr, size);
  std::vector<RowRun> runs;
  const std::uint8_t* row = bgr.data();
  for (std::int32_t y = 0; y < size.height; ++y, row += std::size_t{size.width} * 3) {
    std::int32_t x = 0;
    while (x < size.width) {
      while (x < size.width && IsKey(row + 3 * x, key)) ++x;
      const std::int32_t left = x;
      while (x < size.width && !IsKey(row + 3 * x, key)) ++x;
      if (x > left) runs.push_back({y, left, x});
    }
  }
  return runs;
}

}  // namespace corvane::notifier
