#pragma once
// Every message box of the program goes through here, so that all carry the
// program's title and a test can watch them without a person at the screen.
#include <functional>
#include <string>

#include <windows.h>

struct MessageBoxRecord {
  std::string text;
  std::string title;
  UINT type;  // MB_* flags as passed to MessageBox
};

// Shows a box owned by the program's active window; returns the button pressed.
int AfxMessageBox(const std::string& text, UINT type = MB_OK);

namespace fw {

// The executable's file name without its extension.
std::string AppTitle();

// While an observer is installed it is told of each box instead of the user,
// and its result is taken as the button pressed. Returns the previous observer.
using MessageBoxObserver = std::function<int(const MessageBoxRecord&)>;
MessageBoxObserver SetMessageBoxObserver(MessageBoxObserver observer);

}  // namespace fw
