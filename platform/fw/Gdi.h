#pragma once
// The few graphics wrappers the program's windows use.
#include <string>

#include <windows.h>

#include "fw/Handles.h"

class CFont {
 public:
  BOOL CreateFontIndirect(const LOGFONTA* font) {
    m_font.reset(::CreateFontIndirectA(font));
    return m_font ? TRUE : FALSE;
  }
  BOOL GetLogFont(LOGFONTA* font) const {
    return m_font && GetObjectA(m_font.get(), sizeof(LOGFONTA), font) == sizeof(LOGFONTA);
  }
  void DeleteObject() { m_font.reset(); }
  HFONT GetSafeHandle() const { return m_font.get(); }

 private:
  fw::OwnedFont m_font;
};

class CBitmap {
 public:
  // From the program's own resources.
  BOOL LoadBitmap(UINT id);
  BOOL GetBitmap(BITMAP* info) const { return m_bitmap && GetObjectA(m_bitmap.get(), sizeof(BITMAP), info) != 0; }
  void Attach(HBITMAP bitmap) { m_bitmap.reset(bitmap); }
  void DeleteObject() { m_bitmap.reset(); }
  HBITMAP GetSafeHandle() const { return m_bitmap.get(); }

 private:
  fw::OwnedBitmap m_bitmap;
};

// BeginPaint for one WM_PAINT, EndPaint when it goes.
class CPaintDC {
 public:
  explicit CPaintDC(HWND hwnd) : m_hWnd(hwnd) { m_hDC = BeginPaint(hwnd, &m_ps); }
  ~CPaintDC() { EndPaint(m_hWnd, &m_ps); }
  CPaintDC(const CPaintDC&) = delete;
  CPaintDC& operator=(const CPaintDC&) = delete;

  HDC m_hDC;
  PAINTSTRUCT m_ps{};

 private:
  HWND m_hWnd;
};

namespace fw {

// The paint of a minimised window: its icon, centred on the background the
// system draws for it. False, painting nothing, when the window is not
// minimised.
bool PaintMinimisedIcon(HWND window, HICON icon);

}  // namespace fw
