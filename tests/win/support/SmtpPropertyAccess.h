#pragma once
// Any property of a mail control read or written through its wrapper, as the
// program never does: tests set the port and time-out of their own servers
// and read back what a control holds. Failures throw as the wrapper's own
// calls do.
#include <cstdint>
#include <string>
#include <utility>

#include "C_SMTP.h"
#include "SmtpProperties.h"

class SmtpPropertyAccess {
 public:
  static void Set(C_SMTP& smtp, std::int32_t dispid, SmtpValue value) {
    smtp.Invoke(dispid, SmtpCallKind::PropertyPut, std::move(value));
  }
  static SmtpValue Get(C_SMTP& smtp, std::int32_t dispid) { return smtp.Invoke(dispid, SmtpCallKind::PropertyGet); }
};

inline void SetSmtpProperty(C_SMTP& smtp, std::int32_t dispid, SmtpValue value) {
  SmtpPropertyAccess::Set(smtp, dispid, std::move(value));
}
inline SmtpValue GetSmtpProperty(C_SMTP& smtp, std::int32_t dispid) { return SmtpPropertyAccess::Get(smtp, dispid); }

// The DISPID of a property by its name ("server", "_extentx", ...), or 0.
inline std::int32_t SmtpPropertyDispid(const std::string& name) {
  for (const smtp::PropertyInfo& p : smtp::kProperties) {
    if (name == p.name) return p.dispid;
  }
  return 0;
}
