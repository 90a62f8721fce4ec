#pragma once
// CRegistry: one registry key, opened for the length of one operation and
// closed again, never held while the user is being asked something.
// Results are 1 for success and 0 for failure; callers may ignore them.
#include <memory>
#include <string>
#include <vector>

#include <windows.h>

#include "fw/Handles.h"

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
  // The value's type; REG_NONE when it is missing or no key is open.
  DWORD ValueType(const std::string& name) const;
  // The names of every value the open key holds.
  std::vector<std::string> ValueNames() const;
  // On success replaces the holder's text with the value's; on failure the
  // holder keeps what it had.
  int ReadValue(const std::string& name, std::string& holder);
  // An empty text is not written, so the stored value keeps its content.
  int WriteValue(const std::string& name, const std::string& text);
  // A REG_BINARY value of at most `longest` bytes; a value of another
  // type or size fails and leaves `bytes` as it was.
  int ReadBinary(const std::string& name, std::vector<unsigned char>& bytes, DWORD longest = kLongestBinary);
  // Bytes longer than `longest` are refused (ERROR_FILE_TOO_LARGE).
  int WriteBinary(const std::string& name, const std::vector<unsigned char>& bytes, DWORD longest = kLongestBinary);
  // 1 when the value is gone afterwards, whether or not it existed.
  int DeleteValue(const std::string& name);
  void CloseKey();

  // The system's code for the last failed open, query, write or removal; 0
  // after a success. A refusal of this class's own carries a code too: that
  // of the failed open when no key is open, ERROR_INVALID_PARAMETER for an
  // empty name or text, ERROR_FILE_TOO_LARGE for bytes over the limit.
  LONG LastError() const { return m_lastError; }

  static constexpr DWORD kLongestBinary = 4096;

  bool IsOpen() const { return static_cast<bool>(m_key); }

 private:
  std::unique_ptr<char[]> m_valueBuffer;
  DWORD m_valueSize = 0;  // bytes the last successful query returned
  fw::OwnedKey m_key;
  std::string m_keyPath;
  HKEY m_root = HKEY_LOCAL_MACHINE;
  LONG m_lastError = ERROR_INVALID_HANDLE;  // nothing opened yet
  LONG m_openError = ERROR_INVALID_HANDLE;  // why no key is open

  // False, with the reason in m_lastError, when no key is open or the name is empty.
  bool Usable(const std::string& name);
};
