#include "fw/Wnd.h"

#include <new>

#include "fw/BackgroundCall.h"
#include "fw/Exceptions.h"
#include "fw/WinApp.h"

namespace {

// The attachment lives in a window property, so child controls and dialogs
// keep their own GWLP_USERDATA free.
constexpr char kObjectProperty[] = "Corvane.CWnd";

void AttachObject(HWND hwnd, CWnd* wnd) {
  SetPropA(hwnd, kObjectProperty, wnd);
  wnd->m_hWnd = hwnd;
}

}  // namespace

namespace fw {

LRESULT CallHandlerSafely(CWnd* wnd, UINT message, WPARAM wParam, LPARAM lParam) {
  auto failed = [&]() -> LRESULT {
    if (message == WM_PAINT) ValidateRect(wnd->m_hWnd, nullptr);  // or it comes back at once, forever
    return message == WM_CREATE ? -1 : 0;
  };
  // A menu command (not a control's notification, not an accelerator) gets
  // the menu's generic text when the exception has none of its own.
  const HandlerOrigin origin = message != WM_COMMAND                ? HandlerOrigin::Unattended
                               : lParam == 0 && HIWORD(wParam) == 0 ? HandlerOrigin::MenuCommand
                                                                    : HandlerOrigin::Command;
  try {
    return wnd->WindowProc(message, wParam, lParam);
  } catch (const CException& e) {
    ReportHandlerException(e, origin);
  } catch (const std::bad_alloc&) {
    ReportHandlerException(CMemoryException(), origin);
  } catch (const std::exception& e) {
    ReportHandlerException(CDispatchException(e.what()), origin);
  }
  return failed();
}

}  // namespace fw

LRESULT CALLBACK FrameworkWndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  CWnd* wnd = CWnd::FromHandlePermanent(hwnd);
  if (!wnd && message == WM_NCCREATE) {
    auto* cs = reinterpret_cast<CREATESTRUCTA*>(lParam);
    wnd = static_cast<CWnd*>(cs->lpCreateParams);
    if (wnd) AttachObject(hwnd, wnd);
  }
  if (!wnd) return DefWindowProcA(hwnd, message, wParam, lParam);

  const LRESULT result = fw::CallHandlerSafely(wnd, message, wParam, lParam);
  if (message == WM_NCDESTROY) {
    wnd->MarkRoutedMessages(false);
    fw::DropBackgroundResults(hwnd);  // what workers still send it is freed, never delivered
    RemovePropA(hwnd, kObjectProperty);
    if (wnd->m_pfnSuper) SetWindowLongPtrA(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(wnd->m_pfnSuper));
    wnd->m_pfnSuper = nullptr;
    wnd->m_hWnd = nullptr;
    wnd->PostNcDestroy();
  }
  return result;
}

CWnd::~CWnd() {
  // A window outliving its object would route messages to freed memory.
  if (m_hWnd && FromHandlePermanent(m_hWnd) == this) ::DestroyWindow(m_hWnd);
  MarkRoutedMessages(true);
}

void CWnd::MarkRoutedMessages(bool objectGone) {
  for (fw::RoutedMessage* routed = m_routed; routed; routed = routed->outer) {
    routed->windowGone = true;
    routed->objectGone = routed->objectGone || objectGone;
  }
  if (objectGone) m_routed = nullptr;
}

CWnd* CWnd::FromHandlePermanent(HWND hwnd) {
  return hwnd ? static_cast<CWnd*>(GetPropA(hwnd, kObjectProperty)) : nullptr;
}

BOOL CWnd::CreateEx(DWORD exStyle, const char* className, const char* title, DWORD style, int x, int y, int cx, int cy,
                    HWND parent, HMENU menu, UINT classStyle, HCURSOR cursor, HBRUSH background) {
  HINSTANCE instance = AfxGetInstanceHandle();
  WNDCLASSA existing{};
  if (!GetClassInfoA(instance, className, &existing)) {
    WNDCLASSA wc{};
    wc.style = classStyle;
    wc.lpfnWndProc = FrameworkWndProc;
    wc.hInstance = instance;
    wc.hCursor = cursor;
    wc.hbrBackground = background;
    wc.lpszClassName = className;
    if (!RegisterClassA(&wc)) return FALSE;
  }
  HWND hwnd = CreateWindowExA(exStyle, className, title, style, x, y, cx, cy, parent, menu, instance, this);
  return hwnd != nullptr;
}

BOOL CWnd::DestroyWindow() {
  if (!m_hWnd) return FALSE;
  HWND hwnd = m_hWnd;
  const BOOL ok = ::DestroyWindow(hwnd);
  if (m_hWnd == hwnd && FromHandlePermanent(hwnd) != this) m_hWnd = nullptr;  // attached only
  return ok;
}

HWND CWnd::Detach() {
  HWND hwnd = m_hWnd;
  m_hWnd = nullptr;
  return hwnd;
}

void CWnd::SubclassWindow(HWND hwnd) {
  AttachObject(hwnd, this);
  m_pfnSuper =
      reinterpret_cast<WNDPROC>(SetWindowLongPtrA(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(FrameworkWndProc)));
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) { return DefWindowProc(message, wParam, lParam); }

void CWnd::SetMsgHandled(BOOL handled) {
  if (m_routed) m_routed->handled = handled != FALSE;
}

LRESULT CWnd::DefaultProcessing() {
  // Held apart from the object: default processing may delete it.
  fw::RoutedMessage* routed = m_routed;
  if (!routed) return 0;
  if (!routed->defaulted && !routed->windowGone) {
    routed->defaulted = true;
    routed->defaultAnswer = routed->next(routed->context);
  }
  return routed->defaultAnswer;
}

LRESULT CWnd::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  if (m_pfnSuper) return CallWindowProcA(m_pfnSuper, m_hWnd, message, wParam, lParam);
  return ::DefWindowProcA(m_hWnd, message, wParam, lParam);
}

std::string CWnd::GetWindowText() const { return fw::WindowText(m_hWnd); }

std::string fw::WindowText(HWND hwnd) {
  const int length = GetWindowTextLengthA(hwnd);
  std::string text(static_cast<size_t>(length) + 1, '\0');
  const int copied = ::GetWindowTextA(hwnd, text.data(), length + 1);
  text.resize(static_cast<size_t>(copied > 0 ? copied : 0));
  return text;
}
