#pragma once
// The owners of the window and drawing handles, on top of the counted owner
// the network layer shares.
#include <utility>

#include <windows.h>

#include "base/OwnedHandle.h"

namespace fw {

using OwnedKey = win::Owned<HKEY, win::HandleKind::Key, &RegCloseKey>;
using OwnedFont = win::Owned<HFONT, win::HandleKind::Font, &DeleteObject>;
using OwnedBitmap = win::Owned<HBITMAP, win::HandleKind::Bitmap, &DeleteObject>;
using OwnedRegion = win::Owned<HRGN, win::HandleKind::Region, &DeleteObject>;
using OwnedMenu = win::Owned<HMENU, win::HandleKind::Menu, &DestroyMenu>;
using OwnedDC = win::Owned<HDC, win::HandleKind::DC, &DeleteDC>;

// Selects an object into a DC for one scope and puts the previous one back.
class ScopedSelect {
 public:
  ScopedSelect(HDC dc, HGDIOBJ object) : m_dc(dc), m_previous(SelectObject(dc, object)) {}
  ~ScopedSelect() { SelectObject(m_dc, m_previous); }
  ScopedSelect(const ScopedSelect&) = delete;
  ScopedSelect& operator=(const ScopedSelect&) = delete;

 private:
  HDC m_dc;
  HGDIOBJ m_previous;
};

// A window's (or the screen's) device context for one scope. These come from
// GetDC/GetWindowDC and go back with ReleaseDC, unlike the DeleteDC-owned
// memory contexts of OwnedDC.
class BorrowedDC {
 public:
  explicit BorrowedDC(HWND hwnd, bool wholeWindow = false)
      : m_window(hwnd), m_dc(wholeWindow ? GetWindowDC(hwnd) : GetDC(hwnd)) {}
  ~BorrowedDC() {
    if (m_dc) ReleaseDC(m_window, m_dc);
  }
  BorrowedDC(const BorrowedDC&) = delete;
  BorrowedDC& operator=(const BorrowedDC&) = delete;
  HDC get() const { return m_dc; }

 private:
  HWND m_window;
  HDC m_dc;
};

// Runs an action when the scope ends, however it ends: for undoing a step
// that has no handle of its own to own (a flag, a timer to restart).
template <typename Action>
class ScopeExit {
 public:
  explicit ScopeExit(Action action) : m_action(std::move(action)) {}
  ~ScopeExit() { m_action(); }
  ScopeExit(const ScopeExit&) = delete;
  ScopeExit& operator=(const ScopeExit&) = delete;

 private:
  Action m_action;
};

}  // namespace fw
