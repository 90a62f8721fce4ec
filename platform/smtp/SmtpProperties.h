#pragma once
// The mail control's property table: the 29 properties by name, DISPID and
// type with the value every new control starts from, and one control's
// current values.
#include <array>
#include <cstdint>
#include <string>
#include <utility>

#include <windows.h>

#include "smtp/SmtpCall.h"

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
    {"_extentx", dispid::kExtentX, PropertyType::Integer, nullptr, 0},
    {"_extenty", dispid::kExtentY, PropertyType::Integer, nullptr, 0},
    {"authenticationtype", dispid::kAuthenticationType, PropertyType::Integer, nullptr, 0},
    {"bcc", dispid::kBcc, PropertyType::Text, L"", 0},
    {"cc", dispid::kCc, PropertyType::Text, L"", 0},
    {"charset", dispid::kCharset, PropertyType::Text, L"us-ascii", 0},
    {"clienthostname", dispid::kClientHostName, PropertyType::Text, L"", 0},
    {"contenttransferencoding", dispid::kContentTransferEncoding, PropertyType::Text, L"7bit", 0},
    {"contenttype", dispid::kContentType, PropertyType::Text, L"text/plain", 0},
    {"expiresafter", dispid::kExpiresAfter, PropertyType::Text, L"", 0},
    {"importance", dispid::kImportance, PropertyType::Integer, nullptr, 0},
    {"lastsmtpcommand", dispid::kLastSmtpCommand, PropertyType::Text, L"", 0},
    {"mailfrom", dispid::kMailFrom, PropertyType::Text, L"", 0},
    {"messagehtml", dispid::kMessageHtml, PropertyType::Text, L"", 0},
    {"messagesubject", dispid::kMessageSubject, PropertyType::Text, L"", 0},
    {"messagetext", dispid::kMessageText, PropertyType::Text, L"", 0},
    {"notification", dispid::kNotification, PropertyType::Integer, nullptr, 0},
    {"password", dispid::kPassword, PropertyType::Text, L"", 0},
    {"popserver", dispid::kPopServer, PropertyType::Text, L"", 0},
    {"port", dispid::kPort, PropertyType::Integer, nullptr, 25},
    {"raiseerror", dispid::kRaiseError, PropertyType::Boolean, nullptr, 0},
    {"replyto", dispid::kReplyTo, PropertyType::Text, L"", 0},
    {"sendto", dispid::kSendTo, PropertyType::Text, L"", 0},
    {"sensitivity", dispid::kSensitivity, PropertyType::Integer, nullptr, 0},
    {"server", dispid::kServer, PropertyType::Text, L"", 0},
    {"status", dispid::kStatus, PropertyType::Text, L"", 0},
    {"timeout", dispid::kTimeout, PropertyType::Integer, nullptr, 10000},  // milliseconds
    {"timestamp", dispid::kTimestamp, PropertyType::Text, L"", 0},
    {"username", dispid::kUsername, PropertyType::Text, L"", 0},
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
