#pragma once
// The control's window class name, kept where resource scripts can include it
// too: dialog templates place the control by this name.
#define CORVANE_INET_CONTROL_CLASS "CorvaneInetControl"
