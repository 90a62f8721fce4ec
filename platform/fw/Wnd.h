#pragma once
// CWnd: a C++ object attached to one HWND. Messages reach the object through
// one static window procedure, which also holds the catch around every
// handler, so no exception ever unwinds through the system's frames.
#include <string>

#include <windows.h>

namespace fw {
// The message a routed handler is running for: what passes it on to default
// processing (the next WindowProc in line, with the message's own wParam and
// lParam), and the handler's word on whether it should. It lives on the
// stack of the call that routes it, so it can say what became of the window
// while the handler ran (a menu, a box or a dialog runs a loop of its own, in
// which the owner may destroy the window or delete its object).
struct RoutedMessage {
  LRESULT (*next)(void* context) = nullptr;
  void* context = nullptr;
  bool handled = true;
  bool defaulted = false;
  LRESULT defaultAnswer = 0;
  RoutedMessage* outer = nullptr;  // the message this one arrived within, on the same window
  bool windowGone = false;         // the window was destroyed: there is nothing to default to
  bool objectGone = false;         // the object was deleted: nothing of it may be touched
};
class RoutedScope;
}  // namespace fw

class CWnd {
 public:
  CWnd() = default;
  virtual ~CWnd();
  CWnd(const CWnd&) = delete;
  CWnd& operator=(const CWnd&) = delete;

  HWND GetSafeHwnd() const { return m_hWnd; }
  operator HWND() const { return m_hWnd; }

  // Registers (once) a window class served by this framework and creates a
  // window of it attached to this object.
  BOOL CreateEx(DWORD exStyle, const char* className, const char* title, DWORD style, int x, int y, int cx, int cy,
                HWND parent, HMENU menu, UINT classStyle = 0, HCURSOR cursor = nullptr, HBRUSH background = nullptr);
  BOOL DestroyWindow();

  // Binds this object to an existing window without taking over its messages
  // (wrappers of child controls); Detach forgets it again.
  void Attach(HWND hwnd) { m_hWnd = hwnd; }
  HWND Detach();

  // The object's own message handling; unhandled messages go to DefWindowProc.
  virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
  // Default processing: the window's original procedure when subclassed.
  LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam);

  // For a handler the router (fw::Dispatch) is running. SetMsgHandled(FALSE)
  // leaves the message to default processing as well, after the handler,
  // with the wParam and lParam it arrived with. DefaultProcessing() runs it
  // now and gives its answer, for a handler that works after it or needs
  // what it says; it runs once whichever is asked. Neither runs once the
  // window is destroyed; a handler that may see its object deleted (by
  // whatever runs in a loop it enters) says SetMsgHandled first and touches
  // nothing of the object after the loop.
  void SetMsgHandled(BOOL handled);
  LRESULT DefaultProcessing();

  // Thin conveniences used across the program.
  HWND GetDlgItemHwnd(int id) const { return ::GetDlgItem(m_hWnd, id); }
  std::string GetWindowText() const;
  void SetWindowText(const std::string& text) { ::SetWindowTextA(m_hWnd, text.c_str()); }
  BOOL ShowWindow(int cmd) { return ::ShowWindow(m_hWnd, cmd); }
  BOOL IsWindowVisible() const { return ::IsWindowVisible(m_hWnd); }
  LRESULT SendMessage(UINT m, WPARAM w = 0, LPARAM l = 0) const { return ::SendMessageA(m_hWnd, m, w, l); }
  BOOL PostMessage(UINT m, WPARAM w = 0, LPARAM l = 0) const { return ::PostMessageA(m_hWnd, m, w, l); }
  UINT_PTR SetTimer(UINT_PTR id, UINT ms) { return ::SetTimer(m_hWnd, id, ms, nullptr); }
  BOOL KillTimer(UINT_PTR id) { return ::KillTimer(m_hWnd, id); }
  void Invalidate(BOOL erase = TRUE) { ::InvalidateRect(m_hWnd, nullptr, erase); }
  void GetClientRect(RECT* rc) const { ::GetClientRect(m_hWnd, rc); }
  void GetWindowRect(RECT* rc) const { ::GetWindowRect(m_hWnd, rc); }
  BOOL SetWindowPos(HWND after, int x, int y, int cx, int cy, UINT flags) {
    return ::SetWindowPos(m_hWnd, after, x, y, cx, cy, flags);
  }
  BOOL RedrawWindow(const RECT* rc, HRGN rgn, UINT flags) { return ::RedrawWindow(m_hWnd, rc, rgn, flags); }
  HMENU GetSystemMenu(BOOL revert) const { return ::GetSystemMenu(m_hWnd, revert); }
  void SetIcon(HICON icon, BOOL big) {
    SendMessage(WM_SETICON, big ? ICON_BIG : ICON_SMALL, reinterpret_cast<LPARAM>(icon));
  }
  BOOL IsIconic() const { return ::IsIconic(m_hWnd); }

  // The object attached to a window of this framework, or null.
  static CWnd* FromHandlePermanent(HWND hwnd);

  HWND m_hWnd = nullptr;

 protected:
  // Takes over the messages of an existing window (dialogs, once created).
  void SubclassWindow(HWND hwnd);
  virtual void PostNcDestroy() {}

  friend LRESULT CALLBACK FrameworkWndProc(HWND, UINT, WPARAM, LPARAM);
  friend INT_PTR CALLBACK FrameworkDlgProc(HWND, UINT, WPARAM, LPARAM);
  friend class fw::RoutedScope;

 private:
  // Every routed message still running for this window learns it is gone.
  void MarkRoutedMessages(bool objectGone);

  WNDPROC m_pfnSuper = nullptr;
  fw::RoutedMessage* m_routed = nullptr;
};

LRESULT CALLBACK FrameworkWndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

namespace fw {
// Runs one handler call inside the catch that reports what it throws.
// The result of a handler that threw is 0 (-1 for WM_CREATE, so the window
// is not created half-built).
LRESULT CallHandlerSafely(CWnd* wnd, UINT message, WPARAM wParam, LPARAM lParam);
// A window's whole text.
std::string WindowText(HWND hwnd);
}  // namespace fw
