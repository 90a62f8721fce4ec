// The popup that slides out from behind the taskbar with a one-line caption
// on a bitmap skin. Every decision (edge, positions, intervals, what a timer
// tick or an announcement does) is the portable NotifierCore's; this class
// feeds it what the system reports and carries out the effects it hands back.
#pragma once

#include <cstdint>
#include <string>

#include <windows.h>

#include "fw/Gdi.h"
#include "fw/Handles.h"
#include "fw/Wnd.h"
#include "ui/CaptionFont.h"
#include "ui/NotifierCore.h"

// Posted to the owner when the popup is clicked (button released); wParam and
// lParam are 0. The owner may ignore it.
inline constexpr UINT WM_POPUP_CLICKED = WM_USER + 123;

class CTaskbarNotifier : public CWnd {
 public:
  static constexpr const char* kRuntimeClassName = "CTaskbarNotifier";

  CTaskbarNotifier() = default;
  ~CTaskbarNotifier() override;

  const char* GetRuntimeClassName() const { return kRuntimeClassName; }

  // A hidden, zero-sized WS_POPUP owned by `parent`.
  BOOL CreatePopup(CWnd* parent);
  // Loads bitmap resource `id` as the skin. Unless one of red, green, blue is
  // -1, the key-coloured pixels are cut out of the window's shape.
  BOOL LoadSkin(UINT id, short red = -1, short green = -1, short blue = -1);
  // `size` in tenths of a point; the style bits are ui::CaptionStyle.
  void SetCaptionFont(const char* face, int size, UINT normalStyle, UINT hoverStyle);
  void SetCaptionColors(COLORREF normal, COLORREF hover);
  void SetCaptionRect(RECT rect);
  // Slides in, holds and slides out again; see NotifierCore::Announce for an
  // announcement while a cycle runs. Refused (nothing changes) without a skin
  // that can move at least one step.
  void Announce(const char* text, UINT msAppear, UINT msStay, UINT msHide);
  void Dismiss();

  // Read-only views for the owner and for tests.
  int State() const { return m_core.State(); }
  int Edge() const { return m_core.Edge(); }
  BOOL IsHover() const { return m_bHover; }
  int SkinWidth() const { return m_core.SkinWidth(); }
  int SkinHeight() const { return m_core.SkinHeight(); }
  RECT CaptionRect() const { return m_rcCaption; }
  const std::string& Text() const { return m_strText; }
  COLORREF NormalColor() const { return m_crNormal; }
  COLORREF HoverColor() const { return m_crHover; }
  HFONT NormalFont() const { return m_fontNormal.GetSafeHandle(); }
  HFONT HoverFont() const { return m_fontHover.GetSafeHandle(); }
  HCURSOR HandCursor() const { return m_hHandCursor; }
  HRGN SkinRegion() const { return m_hSkinRgn; }
  POINT Position() const { return {m_core.Position().x, m_core.Position().y}; }
  POINT HiddenPosition() const { return {m_core.Hidden().x, m_core.Hidden().y}; }
  UINT StepInMs() const { return m_core.StepInMs(); }
  UINT StepOutMs() const { return m_core.StepOutMs(); }

 protected:
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

 private:
  int OnCreate(const CREATESTRUCTA* cs);
  void OnMouseMove(UINT keys, POINT point);
  void OnMouseHover();
  void OnMouseLeave();
  BOOL OnSetCursor(HWND under, UINT hitTest, UINT mouseMessage);
  void OnLButtonUp(UINT keys, POINT point);
  void OnTimer(UINT_PTR id);
  BOOL OnEraseBkgnd(HDC dc);
  void OnPaint();

  void Apply(const ui::Effects& effects);
  void RedrawNow();
  void SetHover(BOOL hover);

  CWnd* m_pParent = nullptr;
  CFont m_fontNormal;
  CFont m_fontHover;
  COLORREF m_crNormal = 0x00B59285;  // RGB(133, 146, 181)
  COLORREF m_crHover = 0x006A240A;   // RGB(10, 36, 106)
  HCURSOR m_hHandCursor = nullptr;   // shared system cursor, never destroyed
  CBitmap m_bmpSkin;
  HRGN m_hSkinRgn = nullptr;  // handed to the window, which owns it from then on
  RECT m_rcCaption{0, 0, 0, 0};
  std::string m_strText;
  BOOL m_bHover = FALSE;

  // The animation, the skin's size and the cycle's times live in the core
  // alone; the views above read them from it.
  ui::NotifierCore m_core;
};
