#pragma once
// The program's icon in the notification area for as long as this object
// lives. Mouse actions on the icon become requests to the parent window: a
// double-click asks it to restore itself, a right-click opens the popup menu
// whose commands go to the parent.
#include <string>

#include <windows.h>
#include <shellapi.h>

#include "fw/Wnd.h"

class CTrayIcon : public CWnd {
 public:
  // The tooltip keeps at most kMaxTipLength characters; the low 16 bits of
  // the id also name the popup menu resource.
  CTrayIcon(CWnd* parent, HICON icon, const std::string& tooltip, UINT id);
  ~CTrayIcon() override;

  static constexpr size_t kMaxTipLength = sizeof(NOTIFYICONDATAA::szTip) - 1;

  // Whether the notification area holds the icon. Early at log-on the shell
  // may not be ready to take it; the owner can then try again with Add.
  bool IsAdded() const { return m_added; }
  bool Add();
  // A new tooltip (cut like the first), shown at once when the icon is there.
  void SetTooltip(const std::string& tooltip);

  // The record handed to the notification area.
  const NOTIFYICONDATAA& IconData() const { return m_iconData; }
  UINT CallbackMessage() const { return m_uCallbackMsg; }

 protected:
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

 private:
  void OnIconNotify(UINT mouseMessage);
  void OnIconDoubleClick();
  void OnIconRightButtonUp();
  void OnTaskbarCreated();

  CWnd* m_pParent;
  NOTIFYICONDATAA m_iconData{};
  UINT m_uCallbackMsg;
  bool m_added = false;
  // Broadcast when the notification area has been (re)created, for example
  // after the shell restarted; every icon must then be added again.
  UINT m_taskbarCreatedMsg;
};
