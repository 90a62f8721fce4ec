#pragma once
// Work that must not hold up a window (a page fetch, a mail, a web call) runs
// on a thread of its own, started from the window's thread, which returns at
// once. The result comes back as a message posted to a window handle, so it
// is handled on the window's thread like any other message:
//   wParam  the tag the caller gave (which call this was),
//   lParam  the address of the result on the heap, which the receiver takes
//           over with TakeBackgroundResult<Result>; 0 when the job could not
//           make one (it threw, or memory ran out).
//
// What keeps it safe:
// - The job gets copies of what it needs and never sees a window object; the
//   worker only posts to a handle. A post to a window that is gone fails, and
//   the worker frees the result itself.
// - A result is handed out only to the window it was posted to, as the type
//   it was made as, and once: any program can post any message to our
//   windows, so a stray or forged lParam is never followed.
// - A window that closes with results still queued for it drops them
//   (DropBackgroundResults, as it is destroyed); whatever such a window left
//   is freed, at the latest, when the next call starts.
// - Workers are never joined: one may wait on a slow server for its whole
//   bound. They touch only their own copies and objects that are never
//   destroyed, so the process may end under them; EndProcessIfBackgroundCalls
//   makes sure it ends before static destructors run while one is working.
#include <memory>
#include <typeinfo>
#include <utility>

#include <windows.h>

#include "fw/BackgroundCallDetail.h"

namespace fw {

// Starts `job` (callable as Result(), run once, on the new thread) and
// returns at once. False when no thread could be started: then nothing will
// be posted.
template <class Result, class Job>
bool StartBackgroundCall(HWND window, UINT message, WPARAM tag, Job job) {
  return background::StartThread([window, message, tag, job = std::move(job)]() mutable {
    Result* result = nullptr;
    try {
      result = new Result(job());
    } catch (...) {
      // Nothing may leave the thread; the receiver learns of it from the
      // missing result.
      result = nullptr;
    }
    background::Deliver(window, message, tag, result, typeid(Result),
                        [](void* made) { delete static_cast<Result*>(made); });
  });
}

// The result `lParam` names, when it is a result of this type still waiting
// for `window`; null otherwise (a message not of ours, one already taken, or
// a job that made no result).
template <class Result>
std::unique_ptr<Result> TakeBackgroundResult(HWND window, LPARAM lParam) {
  return std::unique_ptr<Result>(static_cast<Result*>(background::Take(window, lParam, typeid(Result))));
}

// Frees every result still waiting for `window`; a window that receives
// results calls it as it is destroyed (WM_NCDESTROY).
void DropBackgroundResults(HWND window);

// Calls still working, and results posted but not yet taken or dropped:
// what tests and the program's end look at.
int RunningBackgroundCalls();
int WaitingBackgroundResults();

// For the program's very end, after its windows are gone. A worker still
// waiting on a server would otherwise go on running while the runtime
// destroys the static objects it may use (returning from WinMain runs them
// before the process ends); ExitProcess stops every other thread first.
// Returns only when no call is running.
void EndProcessIfBackgroundCalls(UINT exitCode);

}  // namespace fw
