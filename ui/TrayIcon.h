#pragma once
// The program's icon in the notification area for as long as this object
// lives. Mouse actions on the icon become requests to the parent window: a
// double-click asks it to restore itself, a right-click opens the popup menu
// whose commands go to the parent.
#include <string>

#include <windows.h>
#include <shellapi.h>

#include "Wnd.h"

class CTrayIcon : public CWnd {
 public:
  // The tooltip keeps at most kMaxTipLength characters; the low 16 bits of
  // the id also name the popup menu resource.
  CTrayIcon(CWnd* parent, HICON icon, const std::string& tooltip, UINT id);
  ~CTrayIcon() override;

  static constexpr size_t kMaxTipLength = sizeof(NOTIFYICONDATAA::szTip) - 1;

  // The record handed to the notification area.
  const NOTIFYICONDATAA& IconData() const { return m_iconData; }
  UINT CallbackMessage() const { return m_uCallbackMsg; }

 protected:
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

 private:
  void OnIconDoubleClick();
  void OnIconRightButtonUp();
  void OnTaskbarCreated();

  CWnd* m_pParent;
  NOTIFYICONDATAA m_iconData{};
  UINT m_uCallbackMsg;
  // Broadcast when the notification area has been (re)created, for example
  // after the shell restarted; every icon must then be added again.
  UINT m_uTaskbarCreatedMsg;
};
