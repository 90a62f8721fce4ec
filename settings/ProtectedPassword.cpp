#include "ProtectedPassword.h"

#include <memory>

#include <windows.h>
#include <wincrypt.h>

namespace settings {

namespace {

// Our own entropy: another program of the same user cannot unprotect the
// value by calling the system with no entropy, only by knowing this one.
constexpr char kEntropy[] = "Corvane mail password, protected form 1";

DATA_BLOB Blob(const void* data, size_t size) {
  return DATA_BLOB{static_cast<DWORD>(size), static_cast<BYTE*>(const_cast<void*>(data))};
}

struct LocalFreer {
  void operator()(BYTE* data) const { LocalFree(data); }
};
using SystemBytes = std::unique_ptr<BYTE, LocalFreer>;

}  // namespace

std::vector<unsigned char> ProtectPassword(const std::string& plain) {
  DATA_BLOB in = Blob(plain.data(), plain.size());
  DATA_BLOB entropy = Blob(kEntropy, sizeof kEntropy - 1);
  DATA_BLOB out{};
  if (!CryptProtectData(&in, L"Corvane", &entropy, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN, &out)) return {};
  const SystemBytes owner(out.pbData);
  return std::vector<unsigned char>(out.pbData, out.pbData + out.cbData);
}

bool UnprotectPassword(const std::vector<unsigned char>& blob, std::string& plain) {
  DATA_BLOB in = Blob(blob.data(), blob.size());
  DATA_BLOB entropy = Blob(kEntropy, sizeof kEntropy - 1);
  DATA_BLOB out{};
  if (!CryptUnprotectData(&in, nullptr, &entropy, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN, &out)) return false;
  const SystemBytes owner(out.pbData);
  // The plain text is wiped before the system's copy goes back.
  plain.assign(reinterpret_cast<const char*>(out.pbData), out.cbData);
  SecureZeroMemory(out.pbData, out.cbData);
  return true;
}

}  // namespace settings
