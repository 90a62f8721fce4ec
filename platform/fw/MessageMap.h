#pragma once
// One routing vocabulary for every window class: a short table names each
// message with its handler, and each entry's maker says the handler's typed
// signature. One rule says what "handled" means: a message in the table is
// answered by its handler, with the answer the message documents, unless the
// handler says SetMsgHandled(FALSE); then, and for every message the table
// does not name, the message goes on to default processing (the base class's
// WindowProc) as it arrived. A handler that needs default processing first
// asks for it with DefaultProcessing(); nothing rebuilds a message.
#include <windows.h>

#include <cstddef>
#include <type_traits>

#include "fw/Wnd.h"

namespace fw {

// A point packed into an LPARAM: signed, since a point left of or above the
// window is negative.
constexpr POINT PointFrom(LPARAM l) { return POINT{static_cast<short>(LOWORD(l)), static_cast<short>(HIWORD(l))}; }

// For a command entry: any id or any notification code.
constexpr int kAnyCommand = -1;

template <class T>
struct Route {
  UINT message;
  LRESULT (*handle)(T& window, WPARAM wParam, LPARAM lParam);
  // A command entry takes only its id's commands (the low word of wParam),
  // and of those only its notification code's (the high word) when it names one.
  int commandId = kAnyCommand;
  int commandCode = kAnyCommand;

  constexpr bool Takes(UINT m, WPARAM wParam) const {
    return m == message && (commandId == kAnyCommand || commandId == LOWORD(wParam)) &&
           (commandCode == kAnyCommand || commandCode == HIWORD(wParam));
  }
};

// Makes a routed message the window's current one while its handler runs,
// nested messages included. A window whose object was deleted meanwhile is
// left alone.
class RoutedScope {
 public:
  RoutedScope(CWnd& window, RoutedMessage& routed) : m_window(window), m_routed(routed) {
    routed.outer = window.m_routed;
    window.m_routed = &routed;
  }
  ~RoutedScope() {
    if (!m_routed.objectGone) m_window.m_routed = m_routed.outer;
  }
  RoutedScope(const RoutedScope&) = delete;
  RoutedScope& operator=(const RoutedScope&) = delete;

 private:
  CWnd& m_window;
  RoutedMessage& m_routed;
};

// The answer to `message`: its entry's handler's, or default processing's,
// which `byDefault` gives for the message as it arrived. A handler may
// destroy its window or delete its object (the owner does, in a loop the
// handler entered): its answer then stands, and nothing of the window is
// touched after it returns.
template <class T, std::size_t N, class Default>
LRESULT Dispatch(T& window, const Route<T> (&routes)[N], UINT message, WPARAM wParam, LPARAM lParam,
                 Default byDefault) {
  for (const Route<T>& route : routes) {
    if (!route.Takes(message, wParam)) continue;
    RoutedMessage routed;
    routed.next = [](void* context) -> LRESULT { return (*static_cast<Default*>(context))(); };
    routed.context = &byDefault;
    LRESULT answer = 0;
    {
      RoutedScope scope(window, routed);
      answer = route.handle(window, wParam, lParam);
    }
    if (routed.handled || routed.windowGone || routed.objectGone) return answer;
    return routed.defaulted ? routed.defaultAnswer : byDefault();
  }
  return byDefault();
}

// The entries. Each comment gives the handler's signature.

// int OnCreate(const CREATESTRUCTA* cs): -1 stops the creation.
template <class T, int (T::*Handler)(const CREATESTRUCTA*)>
constexpr Route<T> OnCreate() {
  return {WM_CREATE,
          [](T& w, WPARAM, LPARAM l) -> LRESULT { return (w.*Handler)(reinterpret_cast<const CREATESTRUCTA*>(l)); }};
}

// BOOL OnInitDialog(): FALSE when the handler set the focus itself.
template <class T, BOOL (T::*Handler)()>
constexpr Route<T> OnInitDialog() {
  return {WM_INITDIALOG, [](T& w, WPARAM, LPARAM) -> LRESULT { return (w.*Handler)(); }};
}

// void OnCommand(UINT id, UINT code, HWND control): every command the
// entries before it do not take.
template <class T, void (T::*Handler)(UINT, UINT, HWND)>
constexpr Route<T> OnCommand() {
  return {WM_COMMAND, [](T& w, WPARAM p, LPARAM l) -> LRESULT {
            (w.*Handler)(LOWORD(p), HIWORD(p), reinterpret_cast<HWND>(l));
            return 0;
          }};
}

// void OnX(): the command of one control or menu item, by its id, whatever
// its notification code (a button's click and the same id chosen from a
// menu or an accelerator alike), or only the one code given (a list's
// double-click, LBN_DBLCLK).
template <class T, void (T::*Handler)()>
constexpr Route<T> OnCommandId(UINT id, int code = kAnyCommand) {
  return {WM_COMMAND,
          [](T& w, WPARAM, LPARAM) -> LRESULT {
            (w.*Handler)();
            return 0;
          },
          static_cast<int>(id), code};
}

// void OnSysCommand(UINT command, POINT cursor)
template <class T, void (T::*Handler)(UINT, POINT)>
constexpr Route<T> OnSysCommand() {
  return {WM_SYSCOMMAND, [](T& w, WPARAM p, LPARAM l) -> LRESULT {
            (w.*Handler)(static_cast<UINT>(p), PointFrom(l));
            return 0;
          }};
}

// void OnTimer(UINT_PTR id)
template <class T, void (T::*Handler)(UINT_PTR)>
constexpr Route<T> OnTimer() {
  return {WM_TIMER, [](T& w, WPARAM p, LPARAM) -> LRESULT {
            (w.*Handler)(static_cast<UINT_PTR>(p));
            return 0;
          }};
}

// void OnPowerBroadcast(UINT event): the message is always granted.
template <class T, void (T::*Handler)(UINT)>
constexpr Route<T> OnPowerBroadcast() {
  return {WM_POWERBROADCAST, [](T& w, WPARAM p, LPARAM) -> LRESULT {
            (w.*Handler)(static_cast<UINT>(p));
            return TRUE;
          }};
}

// void OnWindowPosChanging(WINDOWPOS* pos)
template <class T, void (T::*Handler)(WINDOWPOS*)>
constexpr Route<T> OnWindowPosChanging() {
  return {WM_WINDOWPOSCHANGING, [](T& w, WPARAM, LPARAM l) -> LRESULT {
            (w.*Handler)(reinterpret_cast<WINDOWPOS*>(l));
            return 0;
          }};
}

// HICON OnQueryDragIcon()
template <class T, HICON (T::*Handler)()>
constexpr Route<T> OnQueryDragIcon() {
  return {WM_QUERYDRAGICON, [](T& w, WPARAM, LPARAM) -> LRESULT { return reinterpret_cast<LRESULT>((w.*Handler)()); }};
}

// BOOL OnEraseBkgnd(HDC dc): TRUE when the background is drawn.
template <class T, BOOL (T::*Handler)(HDC)>
constexpr Route<T> OnEraseBkgnd() {
  return {WM_ERASEBKGND, [](T& w, WPARAM p, LPARAM) -> LRESULT { return (w.*Handler)(reinterpret_cast<HDC>(p)); }};
}

// BOOL OnSetCursor(HWND under, UINT hitTest, UINT mouseMessage): TRUE when the cursor is set.
template <class T, BOOL (T::*Handler)(HWND, UINT, UINT)>
constexpr Route<T> OnSetCursor() {
  return {WM_SETCURSOR, [](T& w, WPARAM p, LPARAM l) -> LRESULT {
            return (w.*Handler)(reinterpret_cast<HWND>(p), LOWORD(l), HIWORD(l));
          }};
}

// void OnSize(UINT type, SIZE client)
template <class T, void (T::*Handler)(UINT, SIZE)>
constexpr Route<T> OnSize() {
  return {WM_SIZE, [](T& w, WPARAM p, LPARAM l) -> LRESULT {
            (w.*Handler)(static_cast<UINT>(p), SIZE{LOWORD(l), HIWORD(l)});
            return 0;
          }};
}

// void OnMouseButton(UINT keys, POINT point), for WM_LBUTTONDOWN, WM_LBUTTONUP,
// WM_MOUSEMOVE and their kin.
template <class T, void (T::*Handler)(UINT, POINT)>
constexpr Route<T> OnMouse(UINT message) {
  return {message, [](T& w, WPARAM p, LPARAM l) -> LRESULT {
            (w.*Handler)(static_cast<UINT>(p), PointFrom(l));
            return 0;
          }};
}

// void OnNotice(): a message that carries nothing (WM_PAINT, WM_MOUSEHOVER,
// WM_MOUSELEAVE, the program's own notices and registered messages).
template <class T, void (T::*Handler)()>
constexpr Route<T> OnNotice(UINT message) {
  return {message, [](T& w, WPARAM, LPARAM) -> LRESULT {
            (w.*Handler)();
            return 0;
          }};
}

// void OnTrayNotify(UINT mouseMessage), for a notification-area icon's callback message.
template <class T, void (T::*Handler)(UINT)>
constexpr Route<T> OnTrayNotify(UINT message) {
  return {message, [](T& w, WPARAM, LPARAM l) -> LRESULT {
            (w.*Handler)(LOWORD(l));
            return 0;
          }};
}

}  // namespace fw
