#pragma once
// The ports a mail control takes for TLS from the first byte, which no
// property reaches: tests whose servers listen on free ports move them there.
#include <stdexcept>
#include <string_view>

#include <windows.h>

#include "SmtpControl.h"

// Those of the control window `control`; a window of another class is a test's mistake.
inline smtp::SmtpControl::ImplicitTlsPorts& ImplicitTlsPortsOf(HWND control) {
  char name[64] = {};
  GetClassNameA(control, name, sizeof name);
  if (std::string_view(name) != smtp::kSmtpControlClass || !smtp::SmtpControl::Of(control)) {
    throw std::logic_error("not a mail control window");
  }
  return smtp::SmtpControl::Of(control)->ImplicitTls();
}
