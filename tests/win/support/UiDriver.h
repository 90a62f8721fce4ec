#pragma once
// Drives the program's real modal dialogs from a test: a script runs inside
// the dialog's own modal loop once it has opened, and message boxes are
// recorded and answered instead of waiting for a person.
#include <functional>
#include <string>
#include <vector>

#include <windows.h>

#include "fw/MessageBox.h"
#include "fw/Wnd.h"

namespace ui_driver {

// Queues a script for the next dialog that opens on this thread. Scripts run
// in the order they were queued, one dialog each; nested dialogs take the
// next script. Scripts left unused when the object goes are dropped.
class DialogScripts {
 public:
  DialogScripts();
  ~DialogScripts();
  void Then(std::function<void(HWND dialog)> script);
  // For the next dialog to open, ahead of every script already queued.
  void First(std::function<void(HWND dialog)> script);
  int Pending() const;
};

// Records every message box while it lives and answers each with IDOK (or
// what the answer function returns).
class MessageBoxes {
 public:
  MessageBoxes();
  ~MessageBoxes();
  std::vector<MessageBoxRecord> records;
  std::vector<std::string> Texts() const;
  std::function<int(const MessageBoxRecord&)> answer;

 private:
  fw::MessageBoxObserver m_previous;
};

std::string Text(HWND dialog, int id);
void SetText(HWND dialog, int id, const std::string& text);
// Presses a button as a user would: the command reaches the dialog.
void Click(HWND dialog, int id);
// Lets the message loop run for a while (timers fire, posted messages arrive).
void Pump(DWORD ms);
// Pumps until the condition holds or the time runs out; returns the condition.
bool PumpUntil(const std::function<bool()>& condition, DWORD timeoutMs);
// Takes the next `message` posted to `window` off the queue, waiting up to
// the time given; false when none came.
bool NextPost(HWND window, UINT message, MSG& msg, DWORD timeoutMs = 10000);
// A window that only receives messages, for results posted by workers.
HWND MessageOnlyWindow();

}  // namespace ui_driver
