// The skinned dialog under Wine: real dialogs from a template, painted into
// memory and read back pixel by pixel.
#include <gtest/gtest.h>

#include <functional>

#include "fw/Handles.h"
#include "ui/SkinnableDialog.h"
#include "UiDriver.h"

namespace {

constexpr UINT kFaceTemplate = 201;
constexpr UINT kMainSkin = 137;
constexpr UINT kMissingBitmap = 999;
constexpr COLORREF kKeyColour = RGB(25, 35, 85);

constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kGreen = RGB(0, 255, 0);
constexpr COLORREF kBlue = RGB(0, 0, 255);
constexpr COLORREF kYellow = RGB(255, 255, 0);

class FaceDialog : public CSkinnableDialog {
 public:
  FaceDialog() : CSkinnableDialog(kFaceTemplate) {}
  std::function<void(FaceDialog&)> onInit;

 protected:
  BOOL OnInitDialog() override {
    CSkinnableDialog::OnInitDialog();
    if (onInit) onInit(*this);
    return TRUE;
  }
};

// Runs the dialog with `body` inside its modal loop, then closes it (even
// when an assertion left the body early). The dialog manager shows the
// dialog only once its loop is idle, which may be after the script starts;
// a hidden window keeps no update region, so it is shown first.
void WithDialog(FaceDialog& dialog, const std::function<void(HWND)>& body) {
  ui_driver::DialogScripts scripts;
  scripts.Then([&](HWND hwnd) {
    ShowWindow(hwnd, SW_SHOW);
    body(hwnd);
    EndDialog(hwnd, IDCANCEL);
  });
  dialog.DoModal();
}

// A top-down 32-bit bitmap of four square quadrants, `half` pixels each:
// red, green / blue, yellow. The caller passes ownership on.
HBITMAP QuadrantBitmap(int half) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = 2 * half;
  info.bmiHeader.biHeight = -2 * half;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  auto* pixels = static_cast<DWORD*>(bits);
  for (int y = 0; y < 2 * half; ++y) {
    for (int x = 0; x < 2 * half; ++x) {
      const COLORREF c = y < half ? (x < half ? kRed : kGreen) : (x < half ? kBlue : kYellow);
      pixels[y * 2 * half + x] = (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c);  // BGRX
    }
  }
  return bitmap;
}

// What the dialog's WM_ERASEBKGND draws, captured in a memory bitmap of the
// client area's size.
class Erased {
 public:
  explicit Erased(HWND hwnd) {
    RECT rc{};
    GetClientRect(hwnd, &rc);
    HDC screen = GetDC(nullptr);
    m_dc.reset(CreateCompatibleDC(screen));
    m_bitmap.reset(CreateCompatibleBitmap(screen, rc.right, rc.bottom));
    ReleaseDC(nullptr, screen);
    fw::ScopedSelect select(m_dc.get(), m_bitmap.get());
    const RECT all{0, 0, rc.right, rc.bottom};
    HBRUSH sentinel = CreateSolidBrush(RGB(255, 0, 255));
    FillRect(m_dc.get(), &all, sentinel);
    DeleteObject(sentinel);
    SendMessageA(hwnd, WM_ERASEBKGND, reinterpret_cast<WPARAM>(m_dc.get()), 0);
  }
  COLORREF At(int x, int y) const {
    fw::ScopedSelect select(m_dc.get(), m_bitmap.get());
    return GetPixel(m_dc.get(), x, y);
  }

 private:
  fw::OwnedDC m_dc;
  fw::OwnedBitmap m_bitmap;
};

RECT WindowRect(HWND hwnd) {
  RECT rc{};
  GetWindowRect(hwnd, &rc);
  return rc;
}

SIZE BitmapSize(HBITMAP bitmap) {
  BITMAP info{};
  GetObjectA(bitmap, sizeof info, &info);
  return {info.bmWidth, info.bmHeight};
}

fw::OwnedBitmap LoadMainSkin() {
  return fw::OwnedBitmap(static_cast<HBITMAP>(
      LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(kMainSkin), IMAGE_BITMAP, 0, 0, LR_DEFAULTCOLOR)));
}

// --- The main window's face ------------------------------------------------

TEST(MainFace, FitsTheSkinInPlaceAndKeysOutItsSurround) {
  fw::OwnedBitmap skin = LoadMainSkin();
  ASSERT_TRUE(skin);
  const SIZE skinSize = BitmapSize(skin.get());

  FaceDialog dialog;
  RECT before{};
  dialog.onInit = [&](FaceDialog& d) {
    before = WindowRect(d.GetSafeHwnd());
    d.EnableFaceDrag(TRUE);
    EXPECT_TRUE(d.SetSkinBitmap(kMainSkin));
    d.SetSkinMode(CSkinnableDialog::SkinFitWindow);
    EXPECT_TRUE(d.SetColorKey(kKeyColour, TRUE));
  };
  WithDialog(dialog, [&](HWND hwnd) {
    const RECT after = WindowRect(hwnd);
    EXPECT_NE(before.right - before.left, skinSize.cx) << "the template must differ from the skin";
    EXPECT_EQ(skinSize.cx, after.right - after.left);
    EXPECT_EQ(skinSize.cy, after.bottom - after.top);
    EXPECT_EQ(before.left, after.left);
    EXPECT_EQ(before.top, after.top);

    EXPECT_TRUE(GetWindowLongA(hwnd, GWL_EXSTYLE) & WS_EX_LAYERED);
    COLORREF key = 0;
    BYTE alpha = 0;
    DWORD flags = 0;
    ASSERT_TRUE(GetLayeredWindowAttributes(hwnd, &key, &alpha, &flags));
    EXPECT_EQ(kKeyColour, key);
    EXPECT_EQ(static_cast<DWORD>(LWA_COLORKEY), flags & (LWA_COLORKEY | LWA_ALPHA));

    // The face as drawn: the key colour fills the corners, not the disc.
    const Erased face(hwnd);
    EXPECT_EQ(kKeyColour, face.At(0, 0));
    EXPECT_EQ(kKeyColour, face.At(skinSize.cx - 1, skinSize.cy - 1));
    EXPECT_NE(kKeyColour, face.At(skinSize.cx / 2, skinSize.cy / 2));
  });
}

TEST(MainFace, GeneratedSkinHasTheKeyInItsCornersOnly) {
  fw::OwnedBitmap skin = LoadMainSkin();
  ASSERT_TRUE(skin);
  const SIZE size = BitmapSize(skin.get());
  fw::OwnedDC dc(CreateCompatibleDC(nullptr));
  fw::ScopedSelect select(dc.get(), skin.get());
  EXPECT_EQ(kKeyColour, GetPixel(dc.get(), 0, 0));
  EXPECT_EQ(kKeyColour, GetPixel(dc.get(), size.cx - 1, 0));
  EXPECT_EQ(kKeyColour, GetPixel(dc.get(), 0, size.cy - 1));
  EXPECT_EQ(kKeyColour, GetPixel(dc.get(), size.cx - 1, size.cy - 1));
  EXPECT_NE(kKeyColour, GetPixel(dc.get(), size.cx / 2, size.cy / 2));
}

// --- Colour key --------------------------------------------------------------

TEST(ColourKey, SwitchingItOffMakesTheWindowOpaqueAgain) {
  FaceDialog dialog;
  WithDialog(dialog, [&](HWND hwnd) {
    EXPECT_FALSE(GetWindowLongA(hwnd, GWL_EXSTYLE) & WS_EX_LAYERED);
    EXPECT_TRUE(dialog.SetColorKey(kKeyColour, TRUE));
    EXPECT_TRUE(GetWindowLongA(hwnd, GWL_EXSTYLE) & WS_EX_LAYERED);
    EXPECT_TRUE(dialog.SetColorKey(kKeyColour, FALSE));
    EXPECT_FALSE(GetWindowLongA(hwnd, GWL_EXSTYLE) & WS_EX_LAYERED);
  });
}

// --- Dragging by the face --------------------------------------------------

// Presses the face at (x, y) and takes the caption press it posted, if any,
// before the system's move loop could see it.
bool PressPostsCaptionPress(HWND hwnd, int x, int y, MSG* posted) {
  SendMessageA(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
  return PeekMessageA(posted, hwnd, WM_NCLBUTTONDOWN, WM_NCLBUTTONDOWN, PM_REMOVE) != FALSE;
}

TEST(FaceDrag, PressActsOnTheCaptionOnlyWhileEnabled) {
  FaceDialog dialog;
  WithDialog(dialog, [&](HWND hwnd) {
    MSG posted{};
    ASSERT_TRUE(PressPostsCaptionPress(hwnd, 12, 34, &posted)) << "face drag is on from the start";
    EXPECT_EQ(static_cast<WPARAM>(HTCAPTION), posted.wParam);
    EXPECT_EQ(12, static_cast<short>(LOWORD(posted.lParam)));
    EXPECT_EQ(34, static_cast<short>(HIWORD(posted.lParam)));

    dialog.EnableFaceDrag(FALSE);
    EXPECT_FALSE(PressPostsCaptionPress(hwnd, 5, 6, &posted));
    dialog.EnableFaceDrag(TRUE);
    EXPECT_TRUE(PressPostsCaptionPress(hwnd, 7, 8, &posted));
  });
}

// --- Painting ----------------------------------------------------------------

// Runs `body` with the dialog's client area at 10 by 6 pixels and the
// dialog's own background colour (what is left where no skin is drawn).
void WithSmallFace(FaceDialog& dialog, const std::function<void(HWND, COLORREF)>& body) {
  WithDialog(dialog, [&](HWND hwnd) {
    SetWindowPos(hwnd, nullptr, 0, 0, 10, 6, SWP_NOMOVE | SWP_NOZORDER);
    RECT client{};
    GetClientRect(hwnd, &client);
    ASSERT_EQ(10, client.right);
    ASSERT_EQ(6, client.bottom);
    const COLORREF background = Erased(hwnd).At(0, 0);
    ASSERT_NE(RGB(255, 0, 255), background) << "default erasing must run first";
    body(hwnd, background);
  });
}

TEST(SkinModes, PlainDrawsOnceAtTheCorner) {
  FaceDialog dialog;
  WithSmallFace(dialog, [&](HWND hwnd, COLORREF background) {
    ASSERT_TRUE(dialog.SetSkinBitmap(QuadrantBitmap(2)));
    for (int mode : {CSkinnableDialog::SkinPlain, CSkinnableDialog::SkinFitWindow}) {
      SCOPED_TRACE(mode);
      dialog.SetSkinMode(mode);
      SetWindowPos(hwnd, nullptr, 0, 0, 10, 6, SWP_NOMOVE | SWP_NOZORDER);  // undo the fit
      const Erased face(hwnd);
      EXPECT_EQ(kRed, face.At(0, 0));
      EXPECT_EQ(kGreen, face.At(3, 0));
      EXPECT_EQ(kBlue, face.At(0, 3));
      EXPECT_EQ(kYellow, face.At(3, 3));
      EXPECT_EQ(background, face.At(4, 0));
      EXPECT_EQ(background, face.At(9, 5));
    }
  });
}

TEST(SkinModes, TileRepeatsAcrossAndDownIncludingPartialTiles) {
  FaceDialog dialog;
  WithSmallFace(dialog, [&](HWND hwnd, COLORREF) {
    ASSERT_TRUE(dialog.SetSkinBitmap(QuadrantBitmap(2)));
    dialog.SetSkinMode(CSkinnableDialog::SkinTile);
    const Erased face(hwnd);
    EXPECT_EQ(kRed, face.At(4, 0));  // second tile of the first row
    EXPECT_EQ(kGreen, face.At(7, 1));
    EXPECT_EQ(kRed, face.At(8, 0));    // the cut-off third tile
    EXPECT_EQ(kGreen, face.At(2, 4));  // second row, cut off at the bottom
    EXPECT_EQ(kRed, face.At(9, 5));
    EXPECT_EQ(kBlue, face.At(4, 3));
  });
}

TEST(SkinModes, TileSmallerThanTheSkinIsOneCopyAtTheCorner) {
  FaceDialog dialog;
  WithSmallFace(dialog, [&](HWND hwnd, COLORREF) {
    ASSERT_TRUE(dialog.SetSkinBitmap(QuadrantBitmap(6)));  // 12 by 12 over 10 by 6
    dialog.SetSkinMode(CSkinnableDialog::SkinTile);
    const Erased face(hwnd);
    EXPECT_EQ(kRed, face.At(0, 0));
    EXPECT_EQ(kRed, face.At(5, 5));
    EXPECT_EQ(kGreen, face.At(6, 0));
    EXPECT_EQ(kGreen, face.At(9, 5));
  });
}

TEST(SkinModes, CenterPlacesASmallSkinInTheMiddle) {
  FaceDialog dialog;
  WithSmallFace(dialog, [&](HWND hwnd, COLORREF background) {
    ASSERT_TRUE(dialog.SetSkinBitmap(QuadrantBitmap(2)));
    dialog.SetSkinMode(CSkinnableDialog::SkinCenter);
    const Erased face(hwnd);  // 4 by 4 at (3, 1)
    EXPECT_EQ(kRed, face.At(3, 1));
    EXPECT_EQ(kGreen, face.At(6, 1));
    EXPECT_EQ(kBlue, face.At(3, 4));
    EXPECT_EQ(kYellow, face.At(6, 4));
    EXPECT_EQ(background, face.At(2, 1));
    EXPECT_EQ(background, face.At(7, 4));
    EXPECT_EQ(background, face.At(3, 0));
    EXPECT_EQ(background, face.At(6, 5));
  });
}

TEST(SkinModes, CenterClipsALargerSkinAroundItsMiddle) {
  FaceDialog dialog;
  WithSmallFace(dialog, [&](HWND hwnd, COLORREF) {
    ASSERT_TRUE(dialog.SetSkinBitmap(QuadrantBitmap(7)));  // 14 by 14 at (-2, -4)
    dialog.SetSkinMode(CSkinnableDialog::SkinCenter);
    const Erased face(hwnd);
    EXPECT_EQ(kRed, face.At(0, 0));
    EXPECT_EQ(kRed, face.At(4, 2));
    EXPECT_EQ(kGreen, face.At(5, 2));
    EXPECT_EQ(kBlue, face.At(4, 3));
    EXPECT_EQ(kYellow, face.At(9, 5));  // the far side is not cut off at the client size
  });
}

TEST(SkinModes, StretchScalesTheWholeSkin) {
  FaceDialog dialog;
  WithSmallFace(dialog, [&](HWND hwnd, COLORREF) {
    ASSERT_TRUE(dialog.SetSkinBitmap(QuadrantBitmap(2)));
    dialog.SetSkinMode(CSkinnableDialog::SkinStretch);
    const Erased face(hwnd);
    EXPECT_EQ(kRed, face.At(0, 0));
    EXPECT_EQ(kRed, face.At(4, 2));
    EXPECT_EQ(kGreen, face.At(5, 0));
    EXPECT_EQ(kGreen, face.At(9, 2));
    EXPECT_EQ(kBlue, face.At(0, 3));
    EXPECT_EQ(kYellow, face.At(9, 5));
  });
}

TEST(SkinModes, UnknownModeAndNoSkinLeaveTheBackground) {
  FaceDialog dialog;
  WithSmallFace(dialog, [&](HWND hwnd, COLORREF background) {
    ASSERT_TRUE(dialog.SetSkinBitmap(QuadrantBitmap(2)));
    dialog.SetSkinMode(5);
    EXPECT_EQ(background, Erased(hwnd).At(0, 0));
    dialog.SetSkinMode(CSkinnableDialog::SkinPlain);
    EXPECT_EQ(kRed, Erased(hwnd).At(0, 0));
    EXPECT_TRUE(dialog.SetSkinBitmap(static_cast<HBITMAP>(nullptr)));
    EXPECT_EQ(background, Erased(hwnd).At(0, 0));
  });
}

// --- Size ----------------------------------------------------------------------

TEST(FitWindow, WithoutASkinNothingIsResizedNowOrLater) {
  FaceDialog dialog;
  WithDialog(dialog, [&](HWND hwnd) {
    const RECT before = WindowRect(hwnd);
    dialog.SetSkinMode(CSkinnableDialog::SkinFitWindow);
    ASSERT_TRUE(dialog.SetSkinBitmap(QuadrantBitmap(3)));
    const RECT after = WindowRect(hwnd);
    EXPECT_EQ(before.right - before.left, after.right - after.left);
    EXPECT_EQ(before.bottom - before.top, after.bottom - after.top);
    // Choosing the mode again with the skin present does fit.
    dialog.SetSkinMode(CSkinnableDialog::SkinFitWindow);
    EXPECT_EQ(6, WindowRect(hwnd).right - WindowRect(hwnd).left);
  });
}

// Whether a shrink leaves all of the client area waiting to be repainted.
bool ShrinkInvalidatesAll(HWND hwnd) {
  RECT rc = WindowRect(hwnd);
  ValidateRect(hwnd, nullptr);
  SetWindowPos(hwnd, nullptr, 0, 0, rc.right - rc.left - 8, rc.bottom - rc.top - 8, SWP_NOMOVE | SWP_NOZORDER);
  RECT client{}, update{};
  GetClientRect(hwnd, &client);
  GetUpdateRect(hwnd, &update, FALSE);
  return EqualRect(&client, &update);
}

TEST(Resize, WithASkinRepaintsTheWholeClientArea) {
  FaceDialog dialog;
  WithDialog(dialog, [&](HWND hwnd) {
    EXPECT_FALSE(ShrinkInvalidatesAll(hwnd)) << "without a skin the system's own repainting is enough";
    ASSERT_TRUE(dialog.SetSkinBitmap(QuadrantBitmap(2)));
    EXPECT_TRUE(ShrinkInvalidatesAll(hwnd));
  });
}

// --- Owning the skin -----------------------------------------------------------

TEST(SkinBitmap, MissingResourceRemovesTheSkinAndStillSucceeds) {
  const int bitmapsAtStart = win::LiveHandles(win::HandleKind::Bitmap);
  FaceDialog dialog;
  WithSmallFace(dialog, [&](HWND hwnd, COLORREF background) {
    ASSERT_TRUE(dialog.SetSkinBitmap(kMainSkin));
    EXPECT_EQ(bitmapsAtStart + 1, win::LiveHandles(win::HandleKind::Bitmap));
    EXPECT_TRUE(dialog.SetSkinBitmap(kMissingBitmap));
    EXPECT_EQ(bitmapsAtStart, win::LiveHandles(win::HandleKind::Bitmap));
    EXPECT_EQ(background, Erased(hwnd).At(0, 0));
  });
}

TEST(SkinBitmap, UnreadableHandleIsRefusedAndNothingLeaks) {
  const int bitmapsAtStart = win::LiveHandles(win::HandleKind::Bitmap);
  FaceDialog dialog;
  WithSmallFace(dialog, [&](HWND hwnd, COLORREF background) {
    ASSERT_TRUE(dialog.SetSkinBitmap(QuadrantBitmap(2)));
    HBITMAP stale = QuadrantBitmap(2);
    DeleteObject(stale);
    EXPECT_FALSE(dialog.SetSkinBitmap(stale));
    EXPECT_EQ(background, Erased(hwnd).At(0, 0)) << "the old skin is gone as well";
    EXPECT_EQ(bitmapsAtStart, win::LiveHandles(win::HandleKind::Bitmap));
  });
}

TEST(SkinBitmap, DestructionDeletesTheSkin) {
  const int bitmapsAtStart = win::LiveHandles(win::HandleKind::Bitmap);
  {
    FaceDialog dialog;
    WithDialog(dialog, [&](HWND) {
      ASSERT_TRUE(dialog.SetSkinBitmap(QuadrantBitmap(2)));
      ASSERT_TRUE(dialog.SetSkinBitmap(kMainSkin));  // replacing deletes the first
      EXPECT_EQ(bitmapsAtStart + 1, win::LiveHandles(win::HandleKind::Bitmap));
    });
    EXPECT_EQ(bitmapsAtStart + 1, win::LiveHandles(win::HandleKind::Bitmap)) << "the object still owns it";
  }
  EXPECT_EQ(bitmapsAtStart, win::LiveHandles(win::HandleKind::Bitmap));
}

}  // namespace
