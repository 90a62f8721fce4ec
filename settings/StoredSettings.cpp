#include "StoredSettings.h"

#include <vector>

#include "Exceptions.h"
#include "NumberText.h"
#include "ProtectedPassword.h"
#include "Registry.h"
#include "Scramble.h"
#include "SystemError.h"

namespace settings {

namespace {

void AddFailure(std::string& failures, const std::string& failure) {
  if (!failures.empty()) failures += "\n";
  failures += failure;
}

void AddWriteFailure(std::string& failures, const char* name, LONG code) {
  AddFailure(failures, std::string(name) + ": " + fw::SystemErrorText(static_cast<DWORD>(code), "Unknown error"));
}

void ReadProtected(CRegistry& registry, const char* name, std::string& plain) {
  std::vector<unsigned char> blob;
  if (!registry.ReadBinary(name, blob) || !UnprotectPassword(blob, plain)) plain.clear();
}

void ReadPassword(CRegistry& registry, std::string& password) {
  std::string unprotected;
  ReadProtected(registry, kProtectedPassword, unprotected);
  if (!unprotected.empty()) {
    password = std::move(unprotected);
    return;
  }
  std::string scrambled;
  if (!registry.ReadValue(kPassword, scrambled)) return;
  // The marker is no password; unscrambled it would be four bytes of noise.
  password = scrambled == kNotSet ? std::string() : settings::UnscrambleText(scrambled);
}

void WriteProtected(CRegistry& registry, const char* name, const std::string& plain, std::string& failures) {
  if (plain.empty()) {
    if (!registry.DeleteValue(name)) AddWriteFailure(failures, name, registry.LastError());
    return;
  }
  const std::vector<unsigned char> blob = ProtectPassword(plain);
  if (blob.empty()) return AddFailure(failures, std::string(name) + ": the system could not protect it");
  if (!registry.WriteBinary(name, blob)) AddWriteFailure(failures, name, registry.LastError());
}

void WritePassword(CRegistry& registry, const std::string& password, std::string& failures) {
  const std::size_t before = failures.size();
  WriteProtected(registry, kProtectedPassword, password, failures);
  // Only once the protected form is in place may the old one go.
  if (failures.size() == before) WriteSetting(registry, kPassword, {}, failures);
}

}  // namespace

void WriteSetting(CRegistry& registry, const char* name, const std::string& text, std::string& failures) {
  if (!registry.WriteValue(name, text.empty() ? std::string(kNotSet) : text))
    AddWriteFailure(failures, name, registry.LastError());
}

void ReadMailSettings(CRegistry& registry, MailSettings& mail) {
  registry.ReadValue(kServer, mail.server);
  registry.ReadValue(kUsername, mail.username);
  ReadPassword(registry, mail.password);
  registry.ReadValue(kAuth, mail.auth);
  registry.ReadValue(kTo, mail.to);
  registry.ReadValue(kFrom, mail.from);
}

std::string WriteMailSettings(CRegistry& registry, const MailSettings& mail) {
  std::string failures;
  WriteSetting(registry, kServer, mail.server, failures);
  WriteSetting(registry, kUsername, mail.username, failures);
  WritePassword(registry, mail.password, failures);
  WriteSetting(registry, kAuth, mail.auth, failures);
  WriteSetting(registry, kTo, mail.to, failures);
  WriteSetting(registry, kFrom, mail.from, failures);
  return failures;
}

void ReadWebSettings(CRegistry& registry, WebSettings& web) {
  ReadProtected(registry, kWebUrl, web.url);
  ReadProtected(registry, kWebBody, web.body);
  if (!registry.ReadValue(kWebMethod, web.method)) web.method = kWebGet;
}

std::string WriteWebSettings(CRegistry& registry, const WebSettings& web) {
  std::string failures;
  WriteProtected(registry, kWebUrl, web.url, failures);
  WriteSetting(registry, kWebMethod, web.method, failures);
  WriteProtected(registry, kWebBody, web.body, failures);
  return failures;
}

void OpenStore(CRegistry& registry) { registry.OpenKey(kRoot, kKeyPath, 0); }

std::string ReadLink(CRegistry& registry) {
  std::string link;
  registry.ReadValue(kLink, link);
  return LinkFromStored(link);
}

std::string ReadTimer(CRegistry& registry) {
  std::string timer;
  registry.ReadValue(kTimer, timer);
  return timer;
}

StartupSettings LoadStartupSettings() {
  StartupSettings result;
  CRegistry registry;
  OpenStore(registry);
  // Only a missing Version means a first run. One that exists but cannot be
  // read (longer than a value may be) must not have every setting the user
  // saved overwritten by the defaults.
  if (!registry.HasValue(kVersion)) {
    result.firstRun = true;
    registry.WriteValue(kVersion, kDefaultVersion);
    for (const char* name : {kServer, kUsername, kPassword, kTo, kFrom}) registry.WriteValue(name, kNotSet);
    registry.DeleteValue(kProtectedPassword);  // one left behind would be read before the marker
    registry.WriteValue(kAuth, kDefaultAuth);
    registry.WriteValue(kLink, kDefaultLink);
    registry.WriteValue(kTimer, std::to_string(settings::kDefaultIntervalMs));
    result.link = kDefaultLink;
    result.intervalMs = settings::kDefaultIntervalMs;
  } else {
    ReadMailSettings(registry, result.mail);
    result.link = ReadLink(registry);
    result.intervalMs = settings::IntervalFromText(ReadTimer(registry));
  }
  registry.CloseKey();
  return result;
}

}  // namespace settings
