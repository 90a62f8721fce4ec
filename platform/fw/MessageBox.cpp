#include "fw/MessageBox.h"

#include <algorithm>

#include "fw/WinApp.h"

namespace fw {
namespace {

MessageBoxObserver& Observer() {
  static MessageBoxObserver observer;
  return observer;
}

// The box belongs above whatever the user is looking at: the main window, or
// the dialog it is currently showing.
HWND BoxOwner() {
  CWinApp* app = AfxGetApp();
  HWND main = app && app->m_pMainWnd ? app->m_pMainWnd->GetSafeHwnd() : nullptr;
  if (!main || !IsWindow(main)) return GetActiveWindow();
  HWND popup = GetLastActivePopup(main);
  return IsWindowVisible(popup) ? popup : nullptr;
}

}  // namespace

std::string AppTitle() {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string name = path;
  const size_t slash = name.find_last_of("\\/");
  if (slash != std::string::npos) name.erase(0, slash + 1);
  const size_t dot = name.find_last_of('.');
  if (dot != std::string::npos) name.erase(dot);
  return name;
}

MessageBoxObserver SetMessageBoxObserver(MessageBoxObserver observer) {
  MessageBoxObserver previous = std::move(Observer());
  Observer() = std::move(observer);
  return previous;
}

}  // namespace fw

int AfxMessageBox(const std::string& text, UINT type) {
  const std::string title = fw::AppTitle();
  // A box ends its text at the first NUL, and a reason may follow one (an
  // error naming a stored value that holds binary bytes): show them as blanks.
  std::string shown = text;
  std::replace(shown.begin(), shown.end(), '\0', ' ');
  if (fw::Observer()) return fw::Observer()(MessageBoxRecord{shown, title, type});
  return MessageBoxA(fw::BoxOwner(), shown.c_str(), title.c_str(), type);
}
