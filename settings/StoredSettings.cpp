#include "StoredSettings.h"

#include <algorithm>
#include <vector>

#include "Exceptions.h"
#include "MessageBox.h"
#include "NumberText.h"
#include "ProtectedValue.h"
#include "Registry.h"
#include "Scramble.h"
#include "SystemError.h"
#include "UnreadableNotice.h"

namespace settings {

namespace {

void AddFailure(std::string& failures, const std::string& failure) {
  if (!failures.empty()) failures += "\n";
  failures += failure;
}

void AddWriteFailure(std::string& failures, const char* name, LONG code) {
  AddFailure(failures, std::string(name) + ": " + fw::SystemErrorText(static_cast<DWORD>(code), "Unknown error"));
}

void ReadProtected(CRegistry& registry, const char* name, std::string& plain, Unreadable* unreadable) {
  ProtectedRead read = ReadProtectedValue(registry, name);
  plain = std::move(read.plain);
  if (read.state == ProtectedRead::State::Unreadable && unreadable) unreadable->push_back(name);
}

void ReadPassword(CRegistry& registry, std::string& password, Unreadable* unreadable) {
  std::string unprotected;
  ReadProtected(registry, kProtectedPassword, unprotected, unreadable);
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
  std::string failure;
  if (!WriteProtectedValue(registry, name, plain, failure)) AddFailure(failures, failure);
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

void ReadMailSettings(CRegistry& registry, MailSettings& mail, Unreadable* unreadable) {
  registry.ReadValue(kServer, mail.server);
  registry.ReadValue(kUsername, mail.username);
  ReadPassword(registry, mail.password, unreadable);
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

std::vector<WebSettings> ReadWebTargets(CRegistry& registry, Unreadable* unreadable) {
  std::vector<WebSettings> targets;
  std::string countText;
  if (registry.ReadValue(kWebTargetCount, countText)) {
    const int count = std::clamp(LeadingInt(countText), 0, kMostWebTargets);
    for (int number = 1; number <= count; ++number) {
      WebSettings& target = targets.emplace_back();
      ReadProtected(registry, WebTargetValue(number, kWebTargetUrl).c_str(), target.url, unreadable);
      ReadProtected(registry, WebTargetValue(number, kWebTargetHeaders).c_str(), target.headers, unreadable);
      ReadProtected(registry, WebTargetValue(number, kWebTargetBody).c_str(), target.body, unreadable);
      registry.ReadValue(WebTargetValue(number, kWebTargetMethod), target.method);
      if (!IsWebMethod(target.method)) target.method = kWebGet;
    }
    return targets;
  }
  // No list yet: the first release's single target, if it had one, leads it.
  WebSettings first;
  ReadProtected(registry, kWebUrl, first.url, unreadable);
  ReadProtected(registry, kWebBody, first.body, unreadable);
  if (first.url.empty()) return targets;
  registry.ReadValue(kWebMethod, first.method);
  if (!IsWebMethod(first.method)) first.method = kWebGet;
  targets.push_back(std::move(first));
  return targets;
}

std::string WriteWebTargets(CRegistry& registry, const std::vector<WebSettings>& targets) {
  std::string failures;
  const int count = static_cast<int>(std::min<std::size_t>(targets.size(), kMostWebTargets));
  for (int number = 1; number <= kMostWebTargets; ++number) {
    const WebSettings* target = number <= count ? &targets[static_cast<std::size_t>(number - 1)] : nullptr;
    const std::string method = WebTargetValue(number, kWebTargetMethod);
    if (!target) {
      if (!registry.DeleteValue(method)) AddWriteFailure(failures, method.c_str(), registry.LastError());
    } else if (!registry.WriteValue(method, target->method)) {
      AddWriteFailure(failures, method.c_str(), registry.LastError());
    }
    WriteProtected(registry, WebTargetValue(number, kWebTargetUrl).c_str(), target ? target->url : "", failures);
    WriteProtected(registry, WebTargetValue(number, kWebTargetHeaders).c_str(), target ? target->headers : "",
                   failures);
    WriteProtected(registry, WebTargetValue(number, kWebTargetBody).c_str(), target ? target->body : "", failures);
  }
  // The count last: a list that could not be written whole is not taken for one.
  if (!failures.empty()) return failures;
  if (!registry.WriteValue(kWebTargetCount, std::to_string(count)))
    AddWriteFailure(failures, kWebTargetCount, registry.LastError());
  // Only once the list stands may the first release's target go.
  if (!failures.empty()) return failures;
  // One this account cannot read stays for the account that can, as any
  // protected value does.
  WriteProtected(registry, kWebUrl, {}, failures);
  WriteProtected(registry, kWebBody, {}, failures);
  if (!registry.DeleteValue(kWebMethod)) AddWriteFailure(failures, kWebMethod, registry.LastError());
  return failures;
}

void WarnUnreadable(const Unreadable& valueNames) {
  static UnreadableNotice notice;
  const std::string text = notice.Take(valueNames);
  if (!text.empty()) AfxMessageBox(text, MB_OK | MB_ICONWARNING);
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
    ReadMailSettings(registry, result.mail, &result.unreadable);
    // Read again at each check; here only to tell the user at once of a
    // value that cannot be read.
    ReadWebTargets(registry, &result.unreadable);
    result.link = ReadLink(registry);
    result.intervalMs = settings::IntervalFromText(ReadTimer(registry));
  }
  registry.CloseKey();
  return result;
}

}  // namespace settings
