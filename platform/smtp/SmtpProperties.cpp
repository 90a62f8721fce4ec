#include "smtp/SmtpProperties.h"

#include "base/Text.h"

namespace smtp {

namespace {

bool HasType(const SmtpValue& value, PropertyType type) {
  switch (type) {
    case PropertyType::Text:
      return std::holds_alternative<std::wstring>(value);
    case PropertyType::Integer:
      return std::holds_alternative<std::int32_t>(value);
    case PropertyType::Boolean:
      return std::holds_alternative<bool>(value);
  }
  return false;
}

}  // namespace

PropertyTable::PropertyTable() {
  for (std::size_t i = 0; i < kProperties.size(); ++i) {
    const PropertyInfo& p = kProperties[i];
    switch (p.type) {
      case PropertyType::Text:
        m_values[i] = std::wstring(p.initialText);
        break;
      case PropertyType::Integer:
        m_values[i] = p.initialNumber;
        break;
      case PropertyType::Boolean:
        m_values[i] = p.initialNumber != 0;
        break;
    }
  }
}

int PropertyTable::IndexOf(std::int32_t dispid) {
  for (std::size_t i = 0; i < kProperties.size(); ++i) {
    if (kProperties[i].dispid == dispid) return static_cast<int>(i);
  }
  return -1;
}

HRESULT PropertyTable::Get(std::int32_t dispid, SmtpValue& value) const {
  const int index = IndexOf(dispid);
  if (index < 0) return DISP_E_MEMBERNOTFOUND;
  value = m_values[index];
  return S_OK;
}

HRESULT PropertyTable::Put(std::int32_t dispid, const SmtpValue& value) {
  const int index = IndexOf(dispid);
  if (index < 0) return DISP_E_MEMBERNOTFOUND;
  if (!HasType(value, kProperties[index].type)) return DISP_E_TYPEMISMATCH;
  m_values[index] = value;
  return S_OK;
}

std::string PropertyTable::Text(std::int32_t dispid) const {
  return win::WideToAnsi(std::get<std::wstring>(m_values[IndexOf(dispid)]));
}

}  // namespace smtp
