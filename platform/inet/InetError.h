#pragma once
// A failed fetch, carrying the text the user will see.
#include <exception>
#include <string>

#include <windows.h>

namespace inet {

class InetError : public std::exception {
 public:
  explicit InetError(std::wstring description) : m_description(std::move(description)) {}
  const char* what() const noexcept override { return "page fetch failed"; }
  const std::wstring& Description() const { return m_description; }

 private:
  std::wstring m_description;
};

// Words a user can act on for a WinINet (or Win32) error code, without the URL.
std::string DescribeInetError(DWORD code);

}  // namespace inet
