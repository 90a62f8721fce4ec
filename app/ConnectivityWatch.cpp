#include "app/ConnectivityWatch.h"

#include <ws2tcpip.h>
#include <iphlpapi.h>
#include <netioapi.h>

namespace app {

namespace {

void CALLBACK OnInterfaceChange(PVOID context, PMIB_IPINTERFACE_ROW, MIB_NOTIFICATION_TYPE) {
  // Only a post: the window may be busy in a check, and this thread must not
  // wait for it or touch its state.
  auto* target = static_cast<ConnectivityWatch::Target*>(context);
  target->noticed = true;
  PostMessageA(target->hwnd, target->message, 0, 0);
}

}  // namespace

ConnectivityWatch::ConnectivityWatch(HWND target, UINT message) : m_target{target, message, {}} {
  if (NotifyIpInterfaceChange(AF_UNSPEC, OnInterfaceChange, &m_target, FALSE, &m_registration) != NO_ERROR)
    m_registration = nullptr;
}

ConnectivityWatch::~ConnectivityWatch() {
  // Waits for a callback in progress, so none runs after this object is gone.
  if (m_registration) CancelMibChangeNotify2(m_registration);
}

}  // namespace app
