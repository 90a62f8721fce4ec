#include "settings/Registry.h"

#include <new>
#include <utility>

#include "settings/RegistryText.h"

namespace {

bool IsAcceptedRoot(HKEY root) {
  return root == HKEY_CLASSES_ROOT || root == HKEY_CURRENT_USER || root == HKEY_LOCAL_MACHINE || root == HKEY_USERS ||
         root == HKEY_CURRENT_CONFIG;
}

}  // namespace

CRegistry::CRegistry() : m_valueBuffer(new char[kValueBufferSize]) {}

CRegistry::~CRegistry() = default;

int CRegistry::OpenKey(HKEY root, const std::string& path, int mode) {
  CloseKey();
  if (!IsAcceptedRoot(root) || path.empty()) {
    m_lastError = m_openError = ERROR_INVALID_PARAMETER;
    return 0;
  }
  m_root = root;
  m_keyPath = path.substr(0, kValueBufferSize - 1);

  HKEY key = nullptr;
  m_lastError = RegOpenKeyExA(m_root, m_keyPath.c_str(), 0, KEY_ALL_ACCESS, &key);
  if (m_lastError == ERROR_SUCCESS) {
    m_key.reset(key);
    return mode == 1 ? 1 : 0;
  }
  m_openError = m_lastError;
  if (mode == 1) return 0;
  m_lastError = RegCreateKeyExA(m_root, m_keyPath.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                                &key, nullptr);
  if (m_lastError != ERROR_SUCCESS) {
    m_openError = m_lastError;
    return 0;
  }
  m_key.reset(key);
  return 1;
}

bool CRegistry::Usable(const std::string& name) {
  if (!m_key) {
    m_lastError = m_openError;
    return false;
  }
  if (name.empty()) {
    m_lastError = ERROR_INVALID_PARAMETER;
    return false;
  }
  return true;
}

int CRegistry::QueryValue(const std::string& name) {
  m_valueSize = 0;
  if (!Usable(name)) return 0;
  DWORD size = kValueBufferSize;
  // The type is not examined: whatever bytes the value holds are its text.
  m_lastError = RegQueryValueExA(m_key.get(), name.c_str(), nullptr, nullptr,
                                 reinterpret_cast<BYTE*>(m_valueBuffer.get()), &size);
  if (m_lastError != ERROR_SUCCESS) return 0;
  m_valueSize = size;
  return 1;
}

bool CRegistry::HasValue(const std::string& name) const {
  if (name.empty() || !m_key) return false;
  const LONG result = RegQueryValueExA(m_key.get(), name.c_str(), nullptr, nullptr, nullptr, nullptr);
  return result == ERROR_SUCCESS || result == ERROR_MORE_DATA;
}

DWORD CRegistry::ValueType(const std::string& name) const {
  DWORD type = REG_NONE;
  if (name.empty() || !m_key) return type;
  const LONG result = RegQueryValueExA(m_key.get(), name.c_str(), nullptr, &type, nullptr, nullptr);
  return result == ERROR_SUCCESS || result == ERROR_MORE_DATA ? type : REG_NONE;
}

std::vector<std::string> CRegistry::ValueNames() const {
  std::vector<std::string> names;
  if (!m_key) return names;
  // Value names are at most 16383 characters.
  std::vector<char> name(16384);
  for (DWORD index = 0;; ++index) {
    DWORD length = static_cast<DWORD>(name.size());
    if (RegEnumValueA(m_key.get(), index, name.data(), &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
      return names;
    names.emplace_back(name.data(), length);
  }
}

int CRegistry::ReadValue(const std::string& name, std::string& holder) {
  if (!QueryValue(name)) return 0;
  try {
    holder = settings::TextFromValueBytes(m_valueBuffer.get(), m_valueSize);
  } catch (const std::bad_alloc&) {
    return 0;
  }
  return 1;
}

int CRegistry::WriteValue(const std::string& name, const std::string& text) {
  if (!m_key) {
    m_lastError = m_openError;
    return 0;
  }
  if (text.empty()) {
    m_lastError = ERROR_INVALID_PARAMETER;
    return 0;
  }
  // The whole text plus its terminator: zero bytes inside it are kept.
  m_lastError = RegSetValueExA(m_key.get(), name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                               static_cast<DWORD>(text.size() + 1));
  return m_lastError == ERROR_SUCCESS ? 1 : 0;
}

int CRegistry::ReadBinary(const std::string& name, std::vector<unsigned char>& bytes, DWORD longest) {
  if (!Usable(name)) return 0;
  std::vector<unsigned char> data(longest);
  DWORD size = longest, type = REG_NONE;
  m_lastError = RegQueryValueExA(m_key.get(), name.c_str(), nullptr, &type, data.data(), &size);
  if (m_lastError == ERROR_SUCCESS && type != REG_BINARY) m_lastError = ERROR_INVALID_DATATYPE;
  if (m_lastError != ERROR_SUCCESS) return 0;
  data.resize(size);
  bytes = std::move(data);
  return 1;
}

int CRegistry::WriteBinary(const std::string& name, const std::vector<unsigned char>& bytes, DWORD longest) {
  if (!m_key) {
    m_lastError = m_openError;
    return 0;
  }
  if (bytes.size() > longest) {
    m_lastError = ERROR_FILE_TOO_LARGE;
    return 0;
  }
  m_lastError =
      RegSetValueExA(m_key.get(), name.c_str(), 0, REG_BINARY, bytes.data(), static_cast<DWORD>(bytes.size()));
  return m_lastError == ERROR_SUCCESS ? 1 : 0;
}

int CRegistry::DeleteValue(const std::string& name) {
  if (!Usable(name)) return 0;
  m_lastError = RegDeleteValueA(m_key.get(), name.c_str());
  if (m_lastError == ERROR_FILE_NOT_FOUND) m_lastError = ERROR_SUCCESS;
  return m_lastError == ERROR_SUCCESS ? 1 : 0;
}

void CRegistry::CloseKey() {
  m_key.reset();
  m_openError = ERROR_INVALID_HANDLE;
}
