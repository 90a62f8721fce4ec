#include "http/UserAgent.h"

#include <windows.h>

#include <vector>

namespace http {

namespace {

// Where a service that sees trouble with our calls can reach the maker;
// dynamic-DNS services ask every client to name one, and block clients that
// misbehave without one.
constexpr char kMakerContact[] = "https://orlimar.net/corvane";

// The four numbers of the running program's FILEVERSION, or "0.0.0.0" for a
// program built without a version block.
std::string FileVersion() {
  wchar_t path[MAX_PATH] = {};
  const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  if (length == 0 || length == MAX_PATH) return "0.0.0.0";
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(path, &ignored);
  if (size == 0) return "0.0.0.0";
  std::vector<char> block(size);
  void* value = nullptr;
  UINT valueSize = 0;
  if (!GetFileVersionInfoW(path, 0, size, block.data()) || !VerQueryValueW(block.data(), L"\\", &value, &valueSize) ||
      valueSize < sizeof(VS_FIXEDFILEINFO))
    return "0.0.0.0";
  const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
  return std::to_string(HIWORD(fixed->dwFileVersionMS)) + "." + std::to_string(LOWORD(fixed->dwFileVersionMS)) + "." +
         std::to_string(HIWORD(fixed->dwFileVersionLS)) + "." + std::to_string(LOWORD(fixed->dwFileVersionLS));
}

// GetVersionEx reports what the program's manifest lets it see; the kernel's
// own call reports the system as it is.
std::string WindowsVersion() {
  using RtlGetVersionCall = LONG(WINAPI*)(OSVERSIONINFOW*);
  OSVERSIONINFOW info{};
  info.dwOSVersionInfoSize = sizeof info;
  const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  const auto call =
      ntdll ? reinterpret_cast<RtlGetVersionCall>(reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlGetVersion")))
            : nullptr;
  if (!call || call(&info) != 0) {
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    if (!GetVersionExW(&info)) return "0.0";
#pragma GCC diagnostic pop
  }
  return std::to_string(info.dwMajorVersion) + "." + std::to_string(info.dwMinorVersion);
}

}  // namespace

const std::string& SystemUserAgent() {
  static const std::string agent =
      "Orlimar Corvane/" + FileVersion() + " (Windows " + WindowsVersion() + "; +" + kMakerContact + ")";
  return agent;
}

}  // namespace http
