#pragma once
// The class names of the windows this folder registers, for whatever has to
// find those windows from outside.

namespace ui {

inline constexpr char kPopupWindowClass[] = "CorvaneTaskbarNotifier";
inline constexpr char kTrayWindowClass[] = "CorvaneTrayIcon";

}  // namespace ui
