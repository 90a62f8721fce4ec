#pragma once
// Any property of a mail control read or written through its wrapper, as the
// program never does: tests set the port and time-out of their own servers
// and read back what a control holds. Failures throw as the wrapper's own
// calls do.
#include <cstdint>
#include <string>
#include <utility>

#include "channels/C_SMTP.h"
#include "smtp/SmtpProperties.h"

class SmtpPropertyAccess {
 public:
  static void Set(C_SMTP& smtp, std::int32_t dispid, smtp::SmtpValue value) {
    smtp.Invoke(dispid, smtp::SmtpCallKind::PropertyPut, std::move(value));
  }
  static smtp::SmtpValue Get(C_SMTP& smtp, std::int32_t dispid) {
    return smtp.Invoke(dispid, smtp::SmtpCallKind::PropertyGet);
  }
};

inline void SetSmtpProperty(C_SMTP& smtp, std::int32_t dispid, smtp::SmtpValue value) {
  SmtpPropertyAccess::Set(smtp, dispid, std::move(value));
}
inline smtp::SmtpValue GetSmtpProperty(C_SMTP& smtp, std::int32_t dispid) {
  return SmtpPropertyAccess::Get(smtp, dispid);
}

// The DISPID of a property by its name ("server", "_extentx", ...), or 0.
inline std::int32_t SmtpPropertyDispid(const std::string& name) {
  for (const smtp::PropertyInfo& p : smtp::kProperties) {
    if (name == p.name) return p.dispid;
  }
  return 0;
}
