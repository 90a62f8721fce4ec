#pragma once
// The mail control's property table: the 29 properties by name, DISPID and
// type with the value every new control starts from, and one control's
// current values.
#include <array>
#include <cstdint>
#include <string>
#include <utility>

#include <windows.h>

#include "SmtpControl.h"

namespace smtp {

enum class PropertyType { Text, Integer, Boolean };

struct PropertyInfo {
  const char* name;
  std::int32_t dispid;
  PropertyType type;
  // The stored initial value: text for Text, number for Integer (0/1 for Boolean).
  const wchar_t* initialText;
  std::int32_t initialNumber;
};

// The extents start at 0 here; the control fills them in from its created size.
inline constexpr std::array<PropertyInfo, 29> kProperties{{
    {"_extentx", smtp_dispid::kExtentX, PropertyType::Integer, nullptr, 0},
    {"_extenty", smtp_dispid::kExtentY, PropertyType::Integer, nullptr, 0},
    {"authenticationtype", smtp_dispid::kAuthenticationType, PropertyType::Integer, nullptr, 0},
    {"bcc", smtp_dispid::kBcc, PropertyType::Text, L"", 0},
    {"cc", smtp_dispid::kCc, PropertyType::Text, L"", 0},
    {"charset", smtp_dispid::kCharset, PropertyType::Text, L"us-ascii", 0},
    {"clienthostname", smtp_dispid::kClientHostName, PropertyType::Text, L"", 0},
    {"contenttransferencoding", smtp_dispid::kContentTransferEncoding, PropertyType::Text, L"7bit", 0},
    {"contenttype", smtp_dispid::kContentType, PropertyType::Text, L"text/plain", 0},
    {"expiresafter", smtp_dispid::kExpiresAfter, PropertyType::Text, L"", 0},
    {"importance", smtp_dispid::kImportance, PropertyType::Integer, nullptr, 0},
    {"lastsmtpcommand", smtp_dispid::kLastSmtpCommand, PropertyType::Text, L"", 0},
    {"mailfrom", smtp_dispid::kMailFrom, PropertyType::Text, L"", 0},
    {"messagehtml", smtp_dispid::kMessageHtml, PropertyType::Text, L"", 0},
    {"messagesubject", smtp_dispid::kMessageSubject, PropertyType::Text, L"", 0},
    {"messagetext", smtp_dispid::kMessageText, PropertyType::Text, L"", 0},
    {"notification", smtp_dispid::kNotification, PropertyType::Integer, nullptr, 0},
    {"password", smtp_dispid::kPassword, PropertyType::Text, L"", 0},
    {"popserver", smtp_dispid::kPopServer, PropertyType::Text, L"", 0},
    {"port", smtp_dispid::kPort, PropertyType::Integer, nullptr, 25},
    {"raiseerror", smtp_dispid::kRaiseError, PropertyType::Boolean, nullptr, 0},
    {"replyto", smtp_dispid::kReplyTo, PropertyType::Text, L"", 0},
    {"sendto", smtp_dispid::kSendTo, PropertyType::Text, L"", 0},
    {"sensitivity", smtp_dispid::kSensitivity, PropertyType::Integer, nullptr, 0},
    {"server", smtp_dispid::kServer, PropertyType::Text, L"", 0},
    {"status", smtp_dispid::kStatus, PropertyType::Text, L"", 0},
    {"timeout", smtp_dispid::kTimeout, PropertyType::Integer, nullptr, 10000},  // milliseconds
    {"timestamp", smtp_dispid::kTimestamp, PropertyType::Text, L"", 0},
    {"username", smtp_dispid::kUsername, PropertyType::Text, L"", 0},
}};

// One control's values, each starting from its stored initial value.
class PropertyTable {
 public:
  PropertyTable();

  // As a dispatch call would: DISP_E_MEMBERNOTFOUND for a DISPID not in the
  // table, DISP_E_TYPEMISMATCH for a value of another type (the value stays).
  HRESULT Get(std::int32_t dispid, SmtpValue& value) const;
  HRESULT Put(std::int32_t dispid, const SmtpValue& value);

  // The control's own access, by DISPIDs of the table's and of the right type.
  void Set(std::int32_t dispid, SmtpValue value) { m_values[IndexOf(dispid)] = std::move(value); }
  std::string Text(std::int32_t dispid) const;
  std::int32_t Number(std::int32_t dispid) const { return std::get<std::int32_t>(m_values[IndexOf(dispid)]); }
  bool Flag(std::int32_t dispid) const { return std::get<bool>(m_values[IndexOf(dispid)]); }

 private:
  // The position in kProperties, or -1.
  static int IndexOf(std::int32_t dispid);

  std::array<SmtpValue, kProperties.size()> m_values;
};

}  // namespace smtp
