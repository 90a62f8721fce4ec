#pragma once
// CRegistry: one registry key, opened for the length of one operation and
// closed again, never held while the user is being asked something.
// Results are 1 for success and 0 for failure; callers may ignore them.
#include <memory>
#include <string>

#include <windows.h>

#include "Handles.h"

class CRegistry {
 public:
  // A value's text is at most 259 bytes; a read takes 260 with the terminator.
  static constexpr DWORD kValueBufferSize = 260;

  CRegistry();
  virtual ~CRegistry();
  CRegistry(const CRegistry&) = delete;
  CRegistry& operator=(const CRegistry&) = delete;

  // mode 1: open only, 1 when opened. Other modes: open, or create when that
  // fails; 1 only when this call created the key (an existing key is open
  // all the same, with 0).
  int OpenKey(HKEY root, const std::string& path, int mode);
  // Fills the value buffer; fails for an empty name, a missing value, one of
  // more than 260 bytes, or no open key.
  int QueryValue(const std::string& name);
  // True when the open key holds the value, readable or not (too long, say).
  bool HasValue(const std::string& name) const;
  // On success replaces the holder's text with the value's; on failure the
  // holder keeps what it had.
  int ReadValue(const std::string& name, std::string& holder);
  // An empty text is not written, so the stored value keeps its content.
  int WriteValue(const std::string& name, const std::string& text);
  void CloseKey();

  bool IsOpen() const { return static_cast<bool>(m_hKey); }

 private:
  std::unique_ptr<char[]> m_valueBuffer;
  DWORD m_valueSize = 0;  // bytes the last successful query returned
  fw::OwnedKey m_hKey;
  std::string m_keyPath;
  HKEY m_root = HKEY_LOCAL_MACHINE;
};
