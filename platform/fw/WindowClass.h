#pragma once
// Window classes: the system's dialog class, and registering our own control
// classes, which every control does the same way.
#include <windows.h>

namespace fw {

// The class the system gives every dialog box.
inline constexpr char kDialogClass[] = "#32770";

// Registers a control class for its module. True when the class is
// registered, also when it already was, so registering twice is harmless.
inline bool RegisterControlClass(const WNDCLASSA& wc) {
  return RegisterClassA(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

}  // namespace fw
