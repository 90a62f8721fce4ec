// The taskbar popup as a real window under Wine: whole slide cycles read back
// from the window's own moves at every taskbar edge, announcements in the
// middle of a cycle, hover and click, the skin's window region against a
// pixel-by-pixel build, the caption fonts, and the handles given back.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <random>
#include <vector>

#include "fw/Handles.h"
#include "ui/SkinRegion.h"
#include "ui/TaskbarNotifier.h"
#include "UiDriver.h"

namespace {

using namespace ui;
using ui_driver::Pump;
using ui_driver::PumpUntil;

constexpr UINT kPopupSkin = 136;  // 148 x 120, no key colour in it
constexpr UINT kMainSkin = 137;   // 330 x 328, key field RGB(25, 35, 85)
constexpr UINT kMissingSkin = 4242;
constexpr int kSkinW = 148, kSkinH = 120;

// Records what the popup sends its owner.
class OwnerWindow : public CWnd {
 public:
  OwnerWindow() { CreateEx(0, "CorvaneNotifierTestOwner", "owner", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr); }
  struct Message {
    WPARAM wParam;
    LPARAM lParam;
  };
  std::vector<Message> clicks;

 protected:
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
    if (message == WM_POPUP_CLICKED) clicks.push_back({wParam, lParam});
    return CWnd::WindowProc(message, wParam, lParam);
  }
};

// The real popup, watched from outside: every place the system put the
// window, so a test sees each step, not only the moments it happens to look.
class WatchedNotifier : public CTaskbarNotifier {
 public:
  std::vector<RECT> moves;  // screen rectangles, consecutive repeats dropped

 protected:
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
    const LRESULT result = CTaskbarNotifier::WindowProc(message, wParam, lParam);
    if (message == WM_WINDOWPOSCHANGED) {
      RECT rc;
      GetWindowRect(&rc);
      if (moves.empty() || !EqualRect(&moves.back(), &rc)) moves.push_back(rc);
    }
    return result;
  }
};

RECT WorkArea() {
  RECT rc{};
  SystemParametersInfoA(SPI_GETWORKAREA, 0, &rc, 0);
  return rc;
}

// Pretends the taskbar takes a strip of the screen for one test.
class TaskbarAt {
 public:
  explicit TaskbarAt(RECT workArea) : m_saved(WorkArea()) { SystemParametersInfoA(SPI_SETWORKAREA, 0, &workArea, 0); }
  ~TaskbarAt() { SystemParametersInfoA(SPI_SETWORKAREA, 0, &m_saved, 0); }

 private:
  RECT m_saved;
};

RECT Screen() { return {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)}; }

RECT At(POINT p) { return {p.x, p.y, p.x + kSkinW, p.y + kSkinH}; }

RECT WindowRect(HWND hwnd) {
  RECT rc{};
  GetWindowRect(hwnd, &rc);
  return rc;
}

::testing::AssertionResult SameRect(const RECT& expected, const RECT& actual) {
  if (EqualRect(&expected, &actual)) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "expected (" << expected.left << "," << expected.top << ")-("
                                       << expected.right << "," << expected.bottom << "), got (" << actual.left << ","
                                       << actual.top << ")-(" << actual.right << "," << actual.bottom << ")";
}

struct Popup {
  OwnerWindow owner;
  WatchedNotifier notifier;
  Popup() {
    EXPECT_TRUE(notifier.CreatePopup(&owner));
    EXPECT_TRUE(notifier.LoadSkin(kPopupSkin));
    notifier.SetCaptionFont("Arial", 90, StyleBold, StyleBold);
  }
  bool WaitFor(int state, DWORD ms = 5000) {
    return PumpUntil([&] { return notifier.State() == state; }, ms);
  }
};

// The path a cycle must take: from the hidden position towards the shown one
// in 2-pixel steps until the shown one is reached, and back again.
std::vector<RECT> ExpectedPath(POINT hidden, POINT shown) {
  std::vector<RECT> path;
  const int dx = shown.x > hidden.x ? 2 : shown.x < hidden.x ? -2 : 0;
  const int dy = shown.y > hidden.y ? 2 : shown.y < hidden.y ? -2 : 0;
  const int steps = (std::abs(shown.x - hidden.x) + std::abs(shown.y - hidden.y)) / 2;
  for (int i = 1; i <= steps; ++i) path.push_back(At({hidden.x + i * dx, hidden.y + i * dy}));
  for (int i = steps - 1; i >= 0; --i) path.push_back(At({hidden.x + i * dx, hidden.y + i * dy}));
  return path;
}

// Runs one short cycle with the given work area and checks every move.
void RunCycle(RECT wa, POINT hidden, POINT shown) {
  Popup p;
  p.notifier.moves = {WindowRect(p.notifier)};  // parked: where the path starts and ends
  p.notifier.Announce("203.0.113.9", 100, 200, 100);
  EXPECT_TRUE(p.notifier.IsWindowVisible());
  EXPECT_EQ(NotifierIdle, p.notifier.State()) << "nothing moves before the first tick";

  ASSERT_TRUE(p.WaitFor(NotifierHolding));
  EXPECT_TRUE(SameRect(At(shown), WindowRect(p.notifier)));
  const DWORD holdStart = GetTickCount();
  const RECT shownRect = At(shown);
  ASSERT_TRUE(PumpUntil([&] { return !EqualRect(&p.notifier.moves.back(), &shownRect); }, 3000));
  EXPECT_GE(GetTickCount() - holdStart, 180u) << "the hold lasts the hold time";

  ASSERT_TRUE(p.WaitFor(NotifierIdle));
  EXPECT_FALSE(p.notifier.IsWindowVisible());
  EXPECT_TRUE(SameRect({0, 0, 0, 0}, WindowRect(p.notifier)));

  std::vector<RECT> moves = p.notifier.moves;
  ASSERT_GE(moves.size(), 2u);
  EXPECT_TRUE(SameRect({0, 0, 0, 0}, moves.front()));
  EXPECT_TRUE(SameRect({0, 0, 0, 0}, moves.back())) << "parked at zero size when done";
  moves.erase(moves.begin());
  moves.pop_back();
  const std::vector<RECT> expected = ExpectedPath(hidden, shown);
  ASSERT_EQ(expected.size(), moves.size())
      << "work area " << wa.left << "," << wa.top << "," << wa.right << "," << wa.bottom;
  for (size_t i = 0; i < expected.size(); ++i) EXPECT_TRUE(SameRect(expected[i], moves[i])) << "move " << i;
}

TEST(NotifierCycle, RisesFromTheBottomOfTheWorkAreaHoldsAndSinksBack) {
  const RECT wa = WorkArea();
  RunCycle(wa, {wa.right - kSkinW, wa.bottom}, {wa.right - kSkinW, wa.bottom - kSkinH});
}

TEST(NotifierCycle, FollowsTheTaskbarToEveryEdge) {
  const RECT s = Screen();
  {
    SCOPED_TRACE("taskbar on the right");
    const RECT wa{0, 0, s.right - 60, s.bottom};
    TaskbarAt bar(wa);
    ASSERT_TRUE(SameRect(wa, WorkArea())) << "the work area cannot be set here";
    RunCycle(wa, {wa.right, wa.bottom - kSkinH}, {wa.right - kSkinW, wa.bottom - kSkinH});
  }
  {
    SCOPED_TRACE("taskbar on the left");
    const RECT wa{60, 0, s.right, s.bottom};
    TaskbarAt bar(wa);
    RunCycle(wa, {wa.left - kSkinW, wa.bottom - kSkinH}, {wa.left, wa.bottom - kSkinH});
  }
  {
    SCOPED_TRACE("taskbar on top");
    const RECT wa{0, 40, s.right, s.bottom};
    TaskbarAt bar(wa);
    RunCycle(wa, {wa.right - kSkinW, wa.top - kSkinH}, {wa.right - kSkinW, wa.top});
  }
  {
    SCOPED_TRACE("taskbar at the bottom");
    const RECT wa{0, 0, s.right, s.bottom - 40};
    TaskbarAt bar(wa);
    RunCycle(wa, {wa.right - kSkinW, wa.bottom}, {wa.right - kSkinW, wa.bottom - kSkinH});
  }
}

TEST(NotifierCycle, AnnouncingWhileSlidingOutJumpsBackAndHoldsAgain) {
  const RECT wa = WorkArea();
  const POINT shown{wa.right - kSkinW, wa.bottom - kSkinH};
  Popup p;
  p.notifier.Announce("first", 50, 50, 1000);
  ASSERT_TRUE(PumpUntil(
      [&] { return p.notifier.State() == NotifierSlidingOut && WindowRect(p.notifier).top > shown.y + 10; }, 5000));

  p.notifier.Announce("second", 50, 400, 100);
  EXPECT_EQ("second", p.notifier.Text());
  EXPECT_TRUE(SameRect(At(shown), WindowRect(p.notifier))) << "back at the shown position at once";
  Pump(250);
  EXPECT_TRUE(SameRect(At(shown), WindowRect(p.notifier))) << "held there for the new hold time";
  ASSERT_TRUE(p.WaitFor(NotifierIdle, 8000));
  EXPECT_FALSE(p.notifier.IsWindowVisible());
}

TEST(NotifierCycle, AnnouncingWhileHoldingChangesTheCaptionAndRestartsTheHold) {
  const RECT wa = WorkArea();
  const POINT shown{wa.right - kSkinW, wa.bottom - kSkinH};
  Popup p;
  p.notifier.Announce("first", 50, 300, 50);
  ASSERT_TRUE(p.WaitFor(NotifierHolding));
  Pump(200);
  p.notifier.Announce("second", 50, 300, 50);
  EXPECT_EQ("second", p.notifier.Text());
  Pump(200);  // 400 ms into the first hold, 200 into the second
  EXPECT_TRUE(SameRect(At(shown), WindowRect(p.notifier)));
  ASSERT_TRUE(p.WaitFor(NotifierIdle));
}

TEST(NotifierRefusals, NoSkinNoAnnouncement) {
  OwnerWindow owner;
  CTaskbarNotifier notifier;
  ASSERT_TRUE(notifier.CreatePopup(&owner));
  notifier.Announce("nobody sees this", 50, 50, 50);
  Pump(150);
  EXPECT_FALSE(notifier.IsWindowVisible());
  EXPECT_EQ(NotifierIdle, notifier.State());
  EXPECT_EQ("", notifier.Text());
  EXPECT_TRUE(SameRect({0, 0, 0, 0}, WindowRect(notifier)));
}

// --- Creation, mouse and caption ----------------------------------------------------

TEST(NotifierWindow, IsAHiddenOwnedPopupAtZeroSize) {
  OwnerWindow owner;
  CTaskbarNotifier notifier;
  ASSERT_TRUE(notifier.CreatePopup(&owner));
  EXPECT_STREQ("CTaskbarNotifier", notifier.GetRuntimeClassName());
  EXPECT_EQ(owner.GetSafeHwnd(), GetWindow(notifier, GW_OWNER));
  const LONG style = GetWindowLongA(notifier, GWL_STYLE);
  EXPECT_TRUE(style & WS_POPUP);
  EXPECT_FALSE(style & (WS_VISIBLE | WS_CAPTION | WS_BORDER));
  EXPECT_EQ(0, GetWindowLongA(notifier, GWL_EXSTYLE) & (WS_EX_TOPMOST | WS_EX_TOOLWINDOW | WS_EX_APPWINDOW));
  EXPECT_EQ("", notifier.GetWindowText());
  EXPECT_TRUE(SameRect({0, 0, 0, 0}, WindowRect(notifier)));
  EXPECT_EQ(LoadCursorA(nullptr, IDC_HAND), notifier.HandCursor());
  EXPECT_EQ(COLORREF(RGB(133, 146, 181)), notifier.NormalColor());
  EXPECT_EQ(COLORREF(RGB(10, 36, 106)), notifier.HoverColor());
}

// Pixels of exactly `colour` inside the popup's client area.
int PixelsOf(HWND hwnd, COLORREF colour) {
  RECT rc;
  GetClientRect(hwnd, &rc);
  HDC dc = GetDC(hwnd);
  int count = 0;
  for (int y = rc.top; y < rc.bottom; ++y)
    for (int x = rc.left; x < rc.right; ++x) count += GetPixel(dc, x, y) == colour;
  ReleaseDC(hwnd, dc);
  return count;
}

TEST(NotifierMouse, HoverRecoloursTheCaptionShowsAHandAndClicksReachTheOwner) {
  constexpr COLORREF kNormal = RGB(255, 0, 0), kHover = RGB(0, 255, 0);
  Popup p;
  p.notifier.SetCaptionFont("Arial", 240, StyleBold, StyleBold);
  p.notifier.SetCaptionColors(kNormal, kHover);
  p.notifier.Announce("HHH", 50, 600, 50);
  ASSERT_TRUE(p.WaitFor(NotifierHolding));
  UpdateWindow(p.notifier);

  const int normalBefore = PixelsOf(p.notifier, kNormal);
  EXPECT_GT(normalBefore, 50) << "the caption is drawn in the normal colour";
  EXPECT_EQ(0, PixelsOf(p.notifier, kHover));

  EXPECT_EQ(0, p.notifier.SendMessage(WM_MOUSEHOVER));
  EXPECT_TRUE(p.notifier.IsHover());
  EXPECT_EQ(0, PixelsOf(p.notifier, kNormal));
  EXPECT_EQ(normalBefore, PixelsOf(p.notifier, kHover)) << "same font, other colour";

  EXPECT_EQ(TRUE,
            p.notifier.SendMessage(WM_SETCURSOR, (WPARAM)p.notifier.GetSafeHwnd(), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE)));
  EXPECT_EQ(LoadCursorA(nullptr, IDC_HAND), GetCursor());
  SetCursor(LoadCursorA(nullptr, IDC_ARROW));
  p.notifier.SendMessage(WM_SETCURSOR, (WPARAM)p.notifier.GetSafeHwnd(), MAKELPARAM(HTBORDER, WM_MOUSEMOVE));
  EXPECT_NE(LoadCursorA(nullptr, IDC_HAND), GetCursor()) << "only the client area shows the hand";

  p.notifier.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 10));
  p.notifier.SendMessage(WM_LBUTTONUP, 0, MAKELPARAM(10, 10));
  Pump(30);
  ASSERT_EQ(1u, p.owner.clicks.size());
  EXPECT_EQ(0u, p.owner.clicks[0].wParam);
  EXPECT_EQ(0, p.owner.clicks[0].lParam);
  EXPECT_TRUE(p.notifier.IsWindowVisible()) << "a click does not close the popup";

  EXPECT_EQ(0, p.notifier.SendMessage(WM_MOUSELEAVE));
  EXPECT_FALSE(p.notifier.IsHover());
  EXPECT_EQ(normalBefore, PixelsOf(p.notifier, kNormal));
  EXPECT_EQ(0, PixelsOf(p.notifier, kHover));

  // Hovered again, the cycle still runs to its end.
  p.notifier.SendMessage(WM_MOUSEHOVER);
  ASSERT_TRUE(p.WaitFor(NotifierIdle));
  EXPECT_FALSE(p.notifier.IsWindowVisible());
  EXPECT_EQ(1u, p.owner.clicks.size());
}

TEST(NotifierCaption, FontsShareFaceAndSizeAndDifferInLook) {
  OwnerWindow owner;
  CTaskbarNotifier notifier;
  ASSERT_TRUE(notifier.CreatePopup(&owner));
  notifier.SetCaptionFont("Arial", 90, StyleBold | 8, StyleItalic | StyleUnderline);
  LOGFONTA normal{}, hover{};
  ASSERT_TRUE(GetObjectA(notifier.NormalFont(), sizeof normal, &normal));
  ASSERT_TRUE(GetObjectA(notifier.HoverFont(), sizeof hover, &hover));

  HDC screen = GetDC(nullptr);
  const int ppi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  EXPECT_EQ(-MulDiv(90, ppi, 720), normal.lfHeight);
  EXPECT_EQ(normal.lfHeight, hover.lfHeight);
  EXPECT_STREQ("Arial", normal.lfFaceName);
  EXPECT_STREQ("Arial", hover.lfFaceName);
  EXPECT_EQ(DEFAULT_CHARSET, normal.lfCharSet);
  EXPECT_EQ(700, normal.lfWeight);
  EXPECT_FALSE(normal.lfItalic);
  EXPECT_FALSE(normal.lfUnderline);
  EXPECT_EQ(400, hover.lfWeight);
  EXPECT_TRUE(hover.lfItalic);
  EXPECT_TRUE(hover.lfUnderline);

  notifier.SetCaptionFont("An extraordinarily long typeface name beyond the field", 120, 0, 0);
  ASSERT_TRUE(GetObjectA(notifier.NormalFont(), sizeof normal, &normal));
  EXPECT_EQ(std::string("An extraordinarily long typefac"), normal.lfFaceName);
}

// --- Skin and region -------------------------------------------------------------------

// The slow way, kept here only as the yardstick: the readable rectangle, then
// one XOR per key pixel, each pixel read on its own through GetPixel.
fw::OwnedRegion PerPixelRegion(HBITMAP bitmap, COLORREF key) {
  BITMAP info{};
  GetObjectA(bitmap, sizeof info, &info);
  const int width = info.bmWidth - info.bmWidth % 4;
  fw::OwnedRegion region(CreateRectRgn(0, 0, width, info.bmHeight));
  fw::OwnedDC dc(CreateCompatibleDC(nullptr));
  fw::ScopedSelect select(dc.get(), bitmap);
  for (int y = 0; y < info.bmHeight; ++y) {
    for (int x = 0; x < width; ++x) {
      if (GetPixel(dc.get(), x, y) != key) continue;
      fw::OwnedRegion pixel(CreateRectRgn(x, y, x + 1, y + 1));
      CombineRgn(region.get(), region.get(), pixel.get(), RGN_XOR);
    }
  }
  return region;
}

// A 24-bit bitmap of the given pixels (top-down rows, tightly packed).
fw::OwnedBitmap MakeBitmap(int width, int height, const std::vector<COLORREF>& pixels) {
  BITMAPINFO format{};
  format.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  format.bmiHeader.biWidth = width;
  format.bmiHeader.biHeight = -height;
  format.bmiHeader.biPlanes = 1;
  format.bmiHeader.biBitCount = 24;
  format.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  fw::OwnedBitmap bitmap(CreateDIBSection(nullptr, &format, DIB_RGB_COLORS, &bits, nullptr, 0));
  const int stride = (width * 3 + 3) & ~3;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      auto* px = static_cast<BYTE*>(bits) + y * stride + x * 3;
      const COLORREF c = pixels[y * width + x];
      px[0] = GetBValue(c);
      px[1] = GetGValue(c);
      px[2] = GetRValue(c);
    }
  }
  GdiFlush();
  return bitmap;
}

int RegionKind(HRGN region) {
  RECT box;
  return GetRgnBox(region, &box);
}

TEST(NotifierRegion, KeyedSkinShapesTheWindowExactlyAsPixelByPixel) {
  const fw::OwnedRegion reference = [] {
    CBitmap skin;
    EXPECT_TRUE(skin.LoadBitmap(kMainSkin));
    return PerPixelRegion(skin.GetSafeHandle(), RGB(25, 35, 85));
  }();
  OwnerWindow owner;
  CTaskbarNotifier notifier;
  ASSERT_TRUE(notifier.CreatePopup(&owner));
  ASSERT_TRUE(notifier.LoadSkin(kMainSkin, 25, 35, 85));
  EXPECT_EQ(330, notifier.SkinWidth());
  EXPECT_EQ(328, notifier.SkinHeight());
  ASSERT_NE(nullptr, notifier.SkinRegion());

  fw::OwnedRegion windowRegion(CreateRectRgn(0, 0, 0, 0));
  ASSERT_EQ(COMPLEXREGION, GetWindowRgn(notifier, windowRegion.get()));
  EXPECT_TRUE(EqualRgn(reference.get(), windowRegion.get()));
  RECT box;
  GetRgnBox(windowRegion.get(), &box);
  EXPECT_LE(box.right, 328) << "the last width mod 4 columns never show";
  EXPECT_FALSE(PtInRegion(windowRegion.get(), 0, 0)) << "the key field's corner is cut away";
  EXPECT_TRUE(PtInRegion(windowRegion.get(), 165, 164)) << "the disc stays";
}

TEST(NotifierRegion, RandomKeyPatternMatchesPixelByPixel) {
  constexpr int kW = 37, kH = 23;
  constexpr COLORREF kKey = RGB(25, 35, 85);
  std::mt19937 random(7);
  std::vector<COLORREF> pixels(kW * kH);
  for (COLORREF& c : pixels) {
    // Near-key shades too, so an inexact compare would show.
    switch (random() % 5) {
      case 0:
      case 1:
        c = kKey;
        break;
      case 2:
        c = RGB(25, 35, 86);
        break;
      case 3:
        c = RGB(24, 35, 85);
        break;
      default:
        c = RGB(200, 210, 220);
        break;
    }
  }
  const fw::OwnedBitmap bitmap = MakeBitmap(kW, kH, pixels);
  const fw::OwnedRegion region = ui::RegionFromBitmap(bitmap.get(), 25, 35, 85);
  ASSERT_TRUE(region);
  for (int y = 0; y < kH; ++y) {
    for (int x = 0; x < kW; ++x) {
      const bool visible = x < kW - kW % 4 && pixels[y * kW + x] != kKey;
      EXPECT_EQ(visible, !!PtInRegion(region.get(), x, y)) << x << "," << y;
    }
  }
  EXPECT_TRUE(EqualRgn(PerPixelRegion(bitmap.get(), kKey).get(), region.get()));
}

TEST(NotifierRegion, AbsentKeyGivesTheReadableRectangleAndAllKeyNothing) {
  constexpr COLORREF kGrey = RGB(128, 128, 128);
  const fw::OwnedBitmap plain = MakeBitmap(10, 3, std::vector<COLORREF>(30, kGrey));

  const fw::OwnedRegion whole = ui::RegionFromBitmap(plain.get(), 1, 2, 3);
  ASSERT_TRUE(whole);
  const fw::OwnedRegion readable(CreateRectRgn(0, 0, 8, 3));
  EXPECT_TRUE(EqualRgn(readable.get(), whole.get())) << "10 pixels wide reads as 8";

  const fw::OwnedRegion none = ui::RegionFromBitmap(plain.get(), 128, 128, 128);
  ASSERT_TRUE(none);
  EXPECT_EQ(NULLREGION, RegionKind(none.get()));

  const fw::OwnedBitmap sliver = MakeBitmap(3, 5, std::vector<COLORREF>(15, kGrey));
  EXPECT_FALSE(ui::RegionFromBitmap(sliver.get(), 1, 2, 3)) << "nothing readable";
}

TEST(NotifierRegion, PixelsComeTopDownInBlueGreenRed) {
  std::vector<COLORREF> pixels(6 * 2);
  for (int i = 0; i < 12; ++i) pixels[i] = RGB(i, 100 + i, 200 + i);
  const fw::OwnedBitmap bitmap = MakeBitmap(6, 2, pixels);
  WORD width = 0, height = 0;
  const auto bytes = ui::ReadPixels24(bitmap.get(), width, height);
  ASSERT_TRUE(bytes);
  EXPECT_EQ(4, width);
  EXPECT_EQ(2, height);
  for (int y = 0; y < 2; ++y) {
    for (int x = 0; x < 4; ++x) {
      const BYTE* px = &bytes[3 * (y * 4 + x)];
      const COLORREF c = pixels[y * 6 + x];
      EXPECT_EQ(GetBValue(c), px[0]);
      EXPECT_EQ(GetGValue(c), px[1]);
      EXPECT_EQ(GetRValue(c), px[2]);
    }
  }
}

TEST(NotifierSkin, LoadingSetsSizeAndCaptionAndAFailureKeepsThem) {
  OwnerWindow owner;
  CTaskbarNotifier notifier;
  ASSERT_TRUE(notifier.CreatePopup(&owner));
  ASSERT_TRUE(notifier.LoadSkin(kPopupSkin));
  EXPECT_EQ(kSkinW, notifier.SkinWidth());
  EXPECT_EQ(kSkinH, notifier.SkinHeight());
  RECT caption = notifier.CaptionRect();
  EXPECT_TRUE(SameRect({0, 0, kSkinW, kSkinH}, caption));
  EXPECT_EQ(nullptr, notifier.SkinRegion()) << "no key, no region";
  fw::OwnedRegion windowRegion(CreateRectRgn(0, 0, 0, 0));
  EXPECT_EQ(ERROR, GetWindowRgn(notifier, windowRegion.get()));
  EXPECT_TRUE(SameRect({0, 0, 0, 0}, WindowRect(notifier))) << "loading does not resize the window";

  notifier.SetCaptionRect({4, 60, 144, 110});
  EXPECT_FALSE(notifier.LoadSkin(kMissingSkin));
  EXPECT_EQ(kSkinW, notifier.SkinWidth());
  EXPECT_EQ(kSkinH, notifier.SkinHeight());
  caption = notifier.CaptionRect();
  EXPECT_TRUE(SameRect({4, 60, 144, 110}, caption));

  EXPECT_TRUE(notifier.LoadSkin(kMainSkin, 25, -1, 85)) << "any -1 means no key";
  EXPECT_EQ(nullptr, notifier.SkinRegion());
  EXPECT_EQ(330, notifier.SkinWidth());
}

TEST(NotifierHandles, EverythingTakenIsGivenBack) {
  const int fonts = win::LiveHandles(win::HandleKind::Font);
  const int bitmaps = win::LiveHandles(win::HandleKind::Bitmap);
  const int regions = win::LiveHandles(win::HandleKind::Region);
  const int dcs = win::LiveHandles(win::HandleKind::DC);
  {
    Popup p;
    p.notifier.SetCaptionFont("Arial", 100, StyleBold, StyleItalic);  // replaces the first pair
    ASSERT_TRUE(p.notifier.LoadSkin(kMainSkin, 25, 35, 85));
    ASSERT_TRUE(p.notifier.LoadSkin(kPopupSkin));
    EXPECT_EQ(fonts + 2, win::LiveHandles(win::HandleKind::Font));
    EXPECT_EQ(bitmaps + 1, win::LiveHandles(win::HandleKind::Bitmap));
    EXPECT_EQ(regions, win::LiveHandles(win::HandleKind::Region)) << "the region went to the window";
    p.notifier.Announce("cycle", 20, 20, 20);
    ASSERT_TRUE(p.WaitFor(NotifierHolding));
    ASSERT_TRUE(p.WaitFor(NotifierIdle));
    EXPECT_EQ(dcs, win::LiveHandles(win::HandleKind::DC));
  }
  EXPECT_EQ(fonts, win::LiveHandles(win::HandleKind::Font));
  EXPECT_EQ(bitmaps, win::LiveHandles(win::HandleKind::Bitmap));
  EXPECT_EQ(regions, win::LiveHandles(win::HandleKind::Region));
  EXPECT_EQ(dcs, win::LiveHandles(win::HandleKind::DC));
}

}  // namespace
