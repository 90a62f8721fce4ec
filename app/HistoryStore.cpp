#include "app/HistoryStore.h"

#include <algorithm>

#include <windows.h>

#include "fw/Handles.h"
#include "settings/StoredSettings.h"

namespace app {

namespace {

fw::OwnedKey OpenHistoryKey(REGSAM access, bool create) {
  HKEY key = nullptr;
  const std::string path = HistoryKeyPath();
  const LONG result = create ? RegCreateKeyExA(settings::kRoot, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                               access, nullptr, &key, nullptr)
                             : RegOpenKeyExA(settings::kRoot, path.c_str(), 0, access, &key);
  return fw::OwnedKey(result == ERROR_SUCCESS ? key : nullptr);
}

std::vector<std::string> ValueNames(HKEY key) {
  std::vector<std::string> names;
  char name[256];
  for (DWORD index = 0;; ++index) {
    DWORD length = sizeof name;
    const LONG result = RegEnumValueA(key, index, name, &length, nullptr, nullptr, nullptr, nullptr);
    if (result == ERROR_MORE_DATA) continue;  // no name of ours is that long
    if (result != ERROR_SUCCESS) return names;
    names.emplace_back(name, length);
  }
}

// The value's text when it is a string of a readable length, else nothing.
bool ReadText(HKEY key, const std::string& name, std::string& text) {
  std::string buffer(kLongestEntryText + 1, '\0');
  DWORD type = REG_NONE, size = static_cast<DWORD>(buffer.size());
  if (RegQueryValueExA(key, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &size) !=
          ERROR_SUCCESS ||
      type != REG_SZ)
    return false;
  buffer.resize(size);
  if (!buffer.empty() && buffer.back() == '\0') buffer.pop_back();
  text = std::move(buffer);
  return true;
}

}  // namespace

std::string HistoryKeyPath() { return std::string(settings::kKeyPath) + "\\" + kHistorySubkey; }

std::vector<HistoryEntry> LoadHistory(std::uint32_t* highestStored) {
  std::vector<HistoryEntry> entries;
  std::uint32_t highest = 0;
  if (const fw::OwnedKey key = OpenHistoryKey(KEY_READ, false)) {
    for (const std::string& name : ValueNames(key.get())) {
      const auto number = HistoryValueNumber(name);
      if (!number) continue;
      highest = std::max(highest, *number);
      std::string text;
      if (!ReadText(key.get(), name, text)) continue;
      if (auto entry = ParseEntry(*number, text)) entries.push_back(std::move(*entry));
    }
  }
  if (highestStored) *highestStored = highest;
  return History(std::move(entries)).Entries();
}

bool StoreHistoryEntry(const HistoryEntry& entry) {
  const fw::OwnedKey key = OpenHistoryKey(KEY_READ | KEY_SET_VALUE, true);
  if (!key) return false;
  const std::string text = SerializeEntry(entry);
  if (RegSetValueExA(key.get(), HistoryValueName(entry.number).c_str(), 0, REG_SZ,
                     reinterpret_cast<const BYTE*>(text.c_str()), static_cast<DWORD>(text.size() + 1)) != ERROR_SUCCESS)
    return false;
  // One that cannot be removed now is outlived again at the next write.
  for (const std::string& name : ValueNames(key.get()))
    if (const auto number = HistoryValueNumber(name); number && Outlived(*number, entry.number))
      RegDeleteValueA(key.get(), name.c_str());
  return true;
}

StoredHistory::StoredHistory() {
  std::uint32_t highest = 0;
  std::vector<HistoryEntry> stored = LoadHistory(&highest);
  m_history = History(std::move(stored), highest);
}

bool StoredHistory::Seen(const std::string& address, const std::string& localTime) {
  if (!m_history.Seen(address, localTime)) return false;
  StoreHistoryEntry(m_history.Entries().front());
  return true;
}

void StoredHistory::Outcome(const std::string& address, const std::string& channel, const std::string& outcome) {
  if (const HistoryEntry* entry = m_history.Outcome(address, channel, outcome)) StoreHistoryEntry(*entry);
}

}  // namespace app
