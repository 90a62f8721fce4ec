#include "ui/TrayIcon.h"

#include <algorithm>
#include <iterator>

#include "fw/Handles.h"
#include "fw/MessageMap.h"
#include "fw/WinApp.h"
#include "ui/WindowClassNames.h"

namespace {

// The single-byte record with the balloon fields. MinGW's sizeof is the newest
// layout (508 bytes); shells that predate it refuse a size they do not know.
static_assert(NOTIFYICONDATAA_V2_SIZE == 488, "the notification record must carry the balloon fields");

HWND ParentHwnd(const CWnd* parent) { return parent ? parent->GetSafeHwnd() : nullptr; }

}  // namespace

CTrayIcon::CTrayIcon(CWnd* parent, HICON icon, const std::string& tooltip, UINT id)
    : m_pParent(parent),
      m_uCallbackMsg(RegisterWindowMessageA("MY_MSG")),
      m_taskbarCreatedMsg(RegisterWindowMessageA("TaskbarCreated")) {
  // Never shown: it only receives the icon's mouse messages.
  CreateEx(0, ui::kTrayWindowClass, "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr);

  m_iconData.cbSize = NOTIFYICONDATAA_V2_SIZE;
  m_iconData.hWnd = m_hWnd;
  m_iconData.uID = id;
  m_iconData.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  m_iconData.uCallbackMessage = m_uCallbackMsg;
  m_iconData.hIcon = icon;
  SetTooltip(tooltip);
  Add();
}

bool CTrayIcon::Add() {
  m_added = Shell_NotifyIconA(NIM_ADD, &m_iconData) != FALSE;
  return m_added;
}

void CTrayIcon::SetTooltip(const std::string& tooltip) {
  // A longer tooltip is cut rather than refused: the icon matters more than
  // the end of its text.
  std::fill(std::begin(m_iconData.szTip), std::end(m_iconData.szTip), '\0');
  tooltip.copy(m_iconData.szTip, kMaxTipLength);
  if (m_added) Shell_NotifyIconA(NIM_MODIFY, &m_iconData);
}

CTrayIcon::~CTrayIcon() {
  m_iconData.uFlags = 0;  // the icon is found by hWnd and uID alone
  Shell_NotifyIconA(NIM_DELETE, &m_iconData);
  DestroyWindow();
}

LRESULT CTrayIcon::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  const fw::Route<CTrayIcon> routes[] = {
      fw::OnTrayNotify<CTrayIcon, &CTrayIcon::OnIconNotify>(m_uCallbackMsg),
      fw::OnNotice<CTrayIcon, &CTrayIcon::OnTaskbarCreated>(m_taskbarCreatedMsg),
  };
  return fw::Dispatch(*this, routes, message, wParam, lParam,
                      [&] { return CWnd::WindowProc(message, wParam, lParam); });
}

// Only the icon's own callback carries a mouse message; the rest of what it
// reports (moves, single clicks, balloons) needs nothing. Said before the
// menu: its loop may hand over to a second start or exit, and either deletes
// this object before the menu returns.
void CTrayIcon::OnIconNotify(UINT mouseMessage) {
  SetMsgHandled(FALSE);
  if (mouseMessage == WM_LBUTTONDBLCLK)
    OnIconDoubleClick();
  else if (mouseMessage == WM_RBUTTONUP)
    OnIconRightButtonUp();
}

// Posted, so the parent may delete this object once the call has returned.
void CTrayIcon::OnIconDoubleClick() { ::PostMessageA(ParentHwnd(m_pParent), WM_SYSCOMMAND, SC_RESTORE, 0); }

void CTrayIcon::OnIconRightButtonUp() {
  HWND parent = ParentHwnd(m_pParent);
  fw::OwnedMenu menu(LoadMenuA(AfxGetInstanceHandle(), MAKEINTRESOURCEA(LOWORD(m_iconData.uID))));
  HMENU popup = menu ? GetSubMenu(menu.get(), 0) : nullptr;
  if (!popup) return;  // nothing to offer; a click on the icon is not worth an error
  POINT cursor{};
  GetCursorPos(&cursor);
  // A popup menu only closes on a click elsewhere when its owner is the
  // foreground window, and only goes away cleanly when the owner receives a
  // message after it (WM_NULL below).
  SetForegroundWindow(parent);
  // Nothing of this object is used from here on: it may be gone.
  TrackPopupMenu(popup, TPM_RIGHTBUTTON, cursor.x, cursor.y, 0, parent, nullptr);
  ::PostMessageA(parent, WM_NULL, 0, 0);
}

// A program hidden in the notification area would otherwise become
// unreachable once the shell restarts.
void CTrayIcon::OnTaskbarCreated() {
  Add();
  SetMsgHandled(FALSE);
}
