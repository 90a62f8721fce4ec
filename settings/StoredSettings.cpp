#include "settings/StoredSettings.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <set>
#include <vector>

#include "base/SystemError.h"
#include "fw/Exceptions.h"
#include "fw/MessageBox.h"
#include "settings/NumberText.h"
#include "settings/ProtectedValue.h"
#include "settings/Registry.h"
#include "settings/Scramble.h"
#include "settings/SettingsRules.h"
#include "settings/UnreadableNotice.h"
#include "settings/WebTargetList.h"

namespace settings {

namespace {

void AddFailure(std::string& failures, const std::string& failure) {
  if (!failures.empty()) failures += "\n";
  failures += failure;
}

void AddWriteFailure(std::string& failures, const char* name, LONG code) {
  AddFailure(failures, std::string(name) + ": " + win::SystemErrorText(static_cast<DWORD>(code), "Unknown error"));
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

namespace {

// What the store holds of the web targets, in whichever form it holds them.
struct StoredWebTargets {
  WebList list;
  // A list or count is stored that cannot be read: what it holds is not known.
  bool unreadable = false;
};

// The per-target form's count; nothing when it is stored but is not a count
// (not text, or not digits), so it is never taken for no targets.
std::optional<int> ReadRowCount(CRegistry& registry) {
  std::string text;
  if (registry.ValueType(kWebTargetCount) != REG_SZ || !registry.ReadValue(kWebTargetCount, text)) return std::nullopt;
  return RowFormCount(text);
}

void ReadMethod(CRegistry& registry, const std::string& name, std::string& method) {
  registry.ReadValue(name, method);
  if (!IsWebMethod(method)) method = kWebGet;
}

StoredWebTargets ReadStoredWebTargets(CRegistry& registry, Unreadable* unreadable) {
  StoredWebTargets stored;
  auto report = [&](const char* name) {
    stored.unreadable = true;
    if (unreadable) unreadable->push_back(name);
  };
  if (registry.HasValue(kWebTargetList)) {
    ProtectedRead read = ReadProtectedValue(registry, kWebTargetList, kLongestWebList);
    std::optional<WebList> list;
    if (read.state == ProtectedRead::State::Readable) list = DecodeWebList(read.plain);
    if (list)
      stored.list = std::move(*list);
    else
      report(kWebTargetList);
    return stored;
  }
  if (registry.HasValue(kWebTargetCount)) {
    const std::optional<int> count = ReadRowCount(registry);
    if (!count) {
      report(kWebTargetCount);
      return stored;
    }
    for (int number = 1; number <= *count; ++number) {
      WebSettings& target = stored.list.targets.emplace_back();
      target.id = static_cast<std::uint32_t>(number);
      ReadProtected(registry, WebTargetValue(number, kWebTargetUrl).c_str(), target.url, unreadable);
      ReadProtected(registry, WebTargetValue(number, kWebTargetHeaders).c_str(), target.headers, unreadable);
      ReadProtected(registry, WebTargetValue(number, kWebTargetBody).c_str(), target.body, unreadable);
      ReadMethod(registry, WebTargetValue(number, kWebTargetMethod), target.method);
    }
    stored.list.nextId = static_cast<std::uint32_t>(*count) + 1;
    return stored;
  }
  // Neither list: the first release's single target, if it had one, leads it.
  WebSettings first;
  ReadProtected(registry, kWebUrl, first.url, unreadable);
  ReadProtected(registry, kWebBody, first.body, unreadable);
  if (first.url.empty()) return stored;
  ReadMethod(registry, kWebMethod, first.method);
  first.id = 1;
  stored.list.targets.push_back(std::move(first));
  stored.list.nextId = 2;
  return stored;
}

bool IsUnreadable(CRegistry& registry, const std::string& name) {
  return ReadProtectedValue(registry, name).state == ProtectedRead::State::Unreadable;
}

// Once the list stands: the per-target form and the first release's values
// go. One that cannot be read stays only while the list holds its target
// unchanged; a count that cannot be read leaves its whole form, since which
// values belong to it is not known. A value that cannot be removed is no
// failure of the save: the list is read before it, and the next save tries
// again.
void RemoveEarlierForms(CRegistry& registry, const std::vector<WebSettings>& saved) {
  // No count: what is left is what an earlier save kept.
  std::optional<int> rowsRead = kMostWebTargets;
  const bool hadCount = registry.HasValue(kWebTargetCount);
  if (hadCount) rowsRead = ReadRowCount(registry);
  if (rowsRead) {
    // A row that keeps an unreadable value keeps its address beside it, so
    // the next save can tell whether the target still has that address.
    std::vector<std::string> unkept;
    std::set<int> keepingRows;
    for (const std::string& name : registry.ValueNames()) {
      const int number = RowFormNumber(name);
      if (number == 0) continue;
      const std::string url = WebTargetValue(number, kWebTargetUrl);
      if (name != WebTargetValue(number, kWebTargetMethod) && IsUnreadable(registry, name) &&
          KeepsUnreadableRow(number, *rowsRead, ReadProtectedValue(registry, url).plain, saved))
        keepingRows.insert(number);
      else
        unkept.push_back(name);
    }
    for (const std::string& name : unkept) {
      const int number = RowFormNumber(name);
      if (!keepingRows.count(number) || name != WebTargetValue(number, kWebTargetUrl)) registry.DeleteValue(name);
    }
    if (hadCount) registry.DeleteValue(kWebTargetCount);
  }
  // The first release's target was read only with neither count nor list;
  // without a readable address it was none, and nothing can have changed it.
  const ProtectedRead firstUrl = ReadProtectedValue(registry, kWebUrl);
  const bool firstWasRead = !hadCount && firstUrl.state == ProtectedRead::State::Readable;
  for (const char* name : {kWebUrl, kWebBody}) {
    if (IsUnreadable(registry, name) && (!firstWasRead || KeepsUnreadableRow(1, 1, firstUrl.plain, saved))) continue;
    registry.DeleteValue(name);
  }
  registry.DeleteValue(kWebMethod);
}

}  // namespace

std::vector<WebSettings> ReadWebTargets(CRegistry& registry, Unreadable* unreadable) {
  return ReadStoredWebTargets(registry, unreadable).list.targets;
}

std::string WriteWebTargets(CRegistry& registry, const std::vector<WebSettings>& targets) {
  const StoredWebTargets before = ReadStoredWebTargets(registry, nullptr);
  // What could not be read is not replaced by nothing: the user could not
  // have removed targets that were never shown.
  if (targets.empty() && before.unreadable) return {};
  WebList list;
  // After a list that cannot be read, ids start again past those given here.
  list.nextId = before.list.nextId;
  list.targets.assign(targets.begin(), targets.begin() + static_cast<std::ptrdiff_t>(
                                                             std::min<std::size_t>(targets.size(), kMostWebTargets)));
  AssignWebIds(list);
  // One value, one write: the list lands whole or the earlier one stays.
  std::string failures;
  if (!WriteProtectedValue(registry, kWebTargetList, EncodeWebList(list), failures, kLongestWebList)) return failures;
  RemoveEarlierForms(registry, list.targets);
  return {};
}

void WarnUnreadable(const Unreadable& valueNames) {
  static UnreadableNotice notice;
  const std::string text = notice.Take(valueNames);
  if (!text.empty()) AfxMessageBox(text, MB_OK | MB_ICONWARNING);
}

void UnreadableLater::Add(HWND window, UINT message, const Unreadable& valueNames) {
  if (valueNames.empty()) return;
  const bool posted = !m_waiting.empty();
  m_waiting.insert(m_waiting.end(), valueNames.begin(), valueNames.end());
  if (!posted) PostMessageA(window, message, 0, 0);
}

void UnreadableLater::Tell() {
  const Unreadable names = std::move(m_waiting);
  m_waiting.clear();
  WarnUnreadable(names);
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

std::string ReadIpv6(CRegistry& registry) {
  std::string text;
  if (registry.ValueType(kIpv6) != REG_SZ || !registry.ReadValue(kIpv6, text)) return {};
  return text;
}

MailSettings LoadMailSettings(Unreadable& unreadable) {
  CRegistry registry;
  OpenStore(registry);
  MailSettings mail;
  ReadMailSettings(registry, mail, &unreadable);
  return mail;
}

std::vector<WebSettings> LoadWebTargets(Unreadable& unreadable) {
  CRegistry registry;
  OpenStore(registry);
  return ReadWebTargets(registry, &unreadable);
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
    result.ipv6 = Ipv6OnFromText(ReadIpv6(registry));
  }
  registry.CloseKey();
  return result;
}

}  // namespace settings
