#pragma once
// The main window's two ways of being there: shown, or hidden with only its
// icon in the notification area. At log-on the shell may start after the
// program; the icon is then offered again for half a minute, and if the
// shell never takes it the window comes back, so the program is never left
// with neither window nor icon.
#include <memory>
#include <string>

#include <windows.h>

#include "ui/TrayIcon.h"

namespace app {

class TrayPresence {
 public:
  // `retryTimer` is a timer id of `window`'s that this class may use.
  TrayPresence(CWnd& window, HICON icon, UINT menuId, UINT_PTR retryTimer)
      : m_window(window), m_icon(icon), m_menuId(menuId), m_retryTimer(retryTimer) {}

  // True while nothing but a restore may show the window: the dialog
  // manager shows a modal dialog by itself once it first goes idle.
  bool Hidden() const { return m_hidden; }
  void StayHidden() { m_hidden = true; }  // before the window shows at all
  void MayShow() { m_hidden = false; }    // a restore on its way may show the window itself

  void Hide(const std::string& tip);
  void Restore();  // the icon goes, the window shows
  void Leave();    // the icon goes with the program
  void SetTip(const std::string& tip);
  // The retry timer fired: true when the shell never took the icon and the
  // window must come back.
  bool RetryFailed();

 private:
  CWnd& m_window;
  HICON m_icon;
  UINT m_menuId;
  UINT_PTR m_retryTimer;
  std::unique_ptr<CTrayIcon> m_tray;
  bool m_hidden = false;
  int m_attempts = 0;
};

}  // namespace app
