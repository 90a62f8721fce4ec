#include "app/ConnectivityWatch.h"

#include <ws2tcpip.h>
#include <iphlpapi.h>
#include <netioapi.h>

namespace app {

namespace {

void Notify(PVOID context) {
  // Only a post: the window may be busy in a check, and this thread must not
  // wait for it or touch its state.
  auto* target = static_cast<ConnectivityWatch::Target*>(context);
  target->noticed = true;
  PostMessageA(target->hwnd, target->message, 0, 0);
}

void CALLBACK OnInterfaceChange(PVOID context, PMIB_IPINTERFACE_ROW, MIB_NOTIFICATION_TYPE) { Notify(context); }

void CALLBACK OnAddressChange(PVOID context, PMIB_UNICASTIPADDRESS_ROW, MIB_NOTIFICATION_TYPE) { Notify(context); }

}  // namespace

ConnectivityWatch::ConnectivityWatch(HWND target, UINT message, bool ipv6Addresses) : m_target{target, message, {}} {
  if (NotifyIpInterfaceChange(AF_UNSPEC, OnInterfaceChange, &m_target, FALSE, &m_registration) != NO_ERROR)
    m_registration = nullptr;
  if (ipv6Addresses &&
      NotifyUnicastIpAddressChange(AF_INET6, OnAddressChange, &m_target, FALSE, &m_addressRegistration) != NO_ERROR)
    m_addressRegistration = nullptr;
}

ConnectivityWatch::~ConnectivityWatch() {
  // Waits for a callback in progress, so none runs after this object is gone.
  if (m_addressRegistration) CancelMibChangeNotify2(m_addressRegistration);
  if (m_registration) CancelMibChangeNotify2(m_registration);
}

}  // namespace app
