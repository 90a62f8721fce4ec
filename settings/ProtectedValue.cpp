#include "settings/ProtectedValue.h"

#include <memory>

#include <windows.h>
#include <wincrypt.h>

#include "base/SystemError.h"
#include "settings/Registry.h"
#include "settings/SettingsLayout.h"

namespace settings {

namespace {

// Our own entropy: another program of the same user cannot unprotect a
// value by calling the system with no entropy, only by knowing ours. The
// value's name is part of it, so the mail password cannot be made of the
// web address's bytes.
std::string EntropyFor(const std::string& name) { return "Corvane protected value, form 2: " + name; }

// What earlier versions used for every value alike. Still read for the
// values they wrote, never written, and never accepted for any other name.
constexpr char kSharedEntropy[] = "Corvane mail password, protected form 1";
bool MayBeSharedForm(const std::string& name) {
  return name == kProtectedPassword || name == kWebUrl || name == kWebBody;
}

DATA_BLOB Blob(const void* data, size_t size) {
  return DATA_BLOB{static_cast<DWORD>(size), static_cast<BYTE*>(const_cast<void*>(data))};
}

struct LocalFreer {
  void operator()(BYTE* data) const { LocalFree(data); }
};
using SystemBytes = std::unique_ptr<BYTE, LocalFreer>;

bool Unprotect(const std::vector<unsigned char>& blob, const std::string& entropyText, std::string& plain) {
  DATA_BLOB in = Blob(blob.data(), blob.size());
  DATA_BLOB entropy = Blob(entropyText.data(), entropyText.size());
  DATA_BLOB out{};
  if (!CryptUnprotectData(&in, nullptr, &entropy, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN, &out)) return false;
  const SystemBytes owner(out.pbData);
  // The plain text is wiped before the system's copy goes back.
  plain.assign(reinterpret_cast<const char*>(out.pbData), out.cbData);
  SecureZeroMemory(out.pbData, out.cbData);
  return true;
}

}  // namespace

std::vector<unsigned char> ProtectValue(const std::string& name, const std::string& plain) {
  const std::string entropyText = EntropyFor(name);
  DATA_BLOB in = Blob(plain.data(), plain.size());
  DATA_BLOB entropy = Blob(entropyText.data(), entropyText.size());
  DATA_BLOB out{};
  if (!CryptProtectData(&in, L"Corvane", &entropy, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN, &out)) return {};
  const SystemBytes owner(out.pbData);
  return std::vector<unsigned char>(out.pbData, out.pbData + out.cbData);
}

ProtectedRead UnprotectValue(const std::string& name, const std::vector<unsigned char>& blob) {
  ProtectedRead read;
  if (Unprotect(blob, EntropyFor(name), read.plain)) {
    read.state = ProtectedRead::State::Readable;
  } else if (MayBeSharedForm(name) && Unprotect(blob, kSharedEntropy, read.plain)) {
    read.state = ProtectedRead::State::Readable;
    read.sharedForm = true;
  } else {
    read.state = ProtectedRead::State::Unreadable;
  }
  return read;
}

ProtectedRead ReadProtectedValue(CRegistry& registry, const std::string& name, unsigned longest) {
  if (!registry.HasValue(name)) return {};
  std::vector<unsigned char> blob;
  // There, but not as bytes we can take: as unreadable as a damaged blob.
  if (!registry.ReadBinary(name, blob, longest)) return {ProtectedRead::State::Unreadable, {}, false};
  return UnprotectValue(name, blob);
}

bool WriteProtectedValue(CRegistry& registry, const std::string& name, const std::string& plain, std::string& failure,
                         unsigned longest) {
  if (plain.empty()) {
    if (ReadProtectedValue(registry, name, longest).state == ProtectedRead::State::Unreadable) return true;
    if (registry.DeleteValue(name)) return true;
    failure = name + ": " + win::SystemErrorText(static_cast<DWORD>(registry.LastError()), "Unknown error");
    return false;
  }
  const std::vector<unsigned char> blob = ProtectValue(name, plain);
  if (blob.empty()) {
    failure = name + ": the system could not protect it";
    return false;
  }
  if (registry.WriteBinary(name, blob, longest)) return true;
  failure = name + ": " + win::SystemErrorText(static_cast<DWORD>(registry.LastError()), "Unknown error");
  return false;
}

}  // namespace settings
