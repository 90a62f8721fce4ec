#pragma once
// Owners for the system handles the program creates. Each kind keeps a count
// of live owned handles in every build, so a test can prove that long runs
// give back everything they took (the system's own counters are not
// available everywhere the program runs).
#include <atomic>
#include <utility>

#include <windows.h>

namespace fw {

enum class HandleKind { Key, Font, Bitmap, Region, Menu, DC, Socket, Count };

namespace detail {
std::atomic<int>& LiveCounter(HandleKind kind);
}

// Number of handles of a kind that owners currently hold.
inline int LiveHandles(HandleKind kind) { return detail::LiveCounter(kind).load(); }

template <typename H, HandleKind Kind, auto Close, H Invalid = H{}>
class Owned {
 public:
  Owned() = default;
  explicit Owned(H handle) { reset(handle); }
  ~Owned() { reset(); }
  Owned(Owned&& other) noexcept : m_handle(std::exchange(other.m_handle, Invalid)) {}
  Owned& operator=(Owned&& other) noexcept {
    if (this != &other) {
      reset();
      m_handle = std::exchange(other.m_handle, Invalid);
    }
    return *this;
  }
  Owned(const Owned&) = delete;
  Owned& operator=(const Owned&) = delete;

  H get() const { return m_handle; }
  explicit operator bool() const { return m_handle != Invalid; }

  // Closes what is held and takes the new handle.
  void reset(H handle = Invalid) {
    if (m_handle != Invalid) {
      Close(m_handle);
      --detail::LiveCounter(Kind);
    }
    m_handle = handle;
    if (m_handle != Invalid) ++detail::LiveCounter(Kind);
  }
  // Gives the handle away (to the system, for example a window region).
  H release() {
    if (m_handle != Invalid) --detail::LiveCounter(Kind);
    return std::exchange(m_handle, Invalid);
  }

 private:
  H m_handle = Invalid;
};

using OwnedKey = Owned<HKEY, HandleKind::Key, &RegCloseKey>;
using OwnedFont = Owned<HFONT, HandleKind::Font, &DeleteObject>;
using OwnedBitmap = Owned<HBITMAP, HandleKind::Bitmap, &DeleteObject>;
using OwnedRegion = Owned<HRGN, HandleKind::Region, &DeleteObject>;
using OwnedMenu = Owned<HMENU, HandleKind::Menu, &DestroyMenu>;
using OwnedDC = Owned<HDC, HandleKind::DC, &DeleteDC>;

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
