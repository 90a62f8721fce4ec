#pragma once
// The untyped machinery under BackgroundCall.h; include that instead.
#include <functional>
#include <typeinfo>

#include <windows.h>

namespace fw::background {

using Destroy = void (*)(void* result);

// Runs `work` once on a new thread, which it must not let an exception leave.
bool StartThread(std::function<void()> work);

// On the worker: registers `result` (may be null) as waiting for `window`
// and posts it; a failed post frees it here.
void Deliver(HWND window, UINT message, WPARAM tag, void* result, const std::type_info& type, Destroy destroy);

// On the window's thread: the waiting result at `lParam` for `window` of
// `type`, no longer registered, or null.
void* Take(HWND window, LPARAM lParam, const std::type_info& type);

}  // namespace fw::background
