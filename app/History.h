#pragma once
// The history of address changes: every address that differs from the last
// one recorded, with the local time it was first seen and what each channel
// made of it. It outlives restarts through its stored form, so a restart that
// finds the same address records nothing. Free of any window or registry.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace app {

// The mail's name among the channels; a web target goes by
// channels::TargetName (method, scheme and host), as its list shows it.
inline constexpr char kMailChannelName[] = "Mail";

// Only the last this many changes are kept, the oldest dropped first.
inline constexpr std::size_t kMostHistoryEntries = 100;

// How the time a change was first seen reads well in the list
// (channels::FormatLocal takes it).
inline constexpr char kHistoryTimeFormat[] = "%Y-%m-%d %H:%M";

struct ChannelOutcome {
  std::string channel;  // kMailChannelName or a target's name
  std::string outcome;  // "sent 14:03", "failed: <why>", "stopped"
  bool operator==(const ChannelOutcome&) const = default;
};

struct HistoryEntry {
  // Counts up with each change and never repeats in one store: it orders the
  // entries and names the stored value.
  std::uint32_t number = 0;
  std::string time;
  std::string address;
  std::vector<ChannelOutcome> outcomes;  // the mail first, the others as they first reported
  bool operator==(const HistoryEntry&) const = default;
};

class History {
 public:
  // `stored` in any order; kept newest first, the newest kMostHistoryEntries
  // of them. `highestStored` is the highest number the store holds, readable
  // or not, so a new change never takes the name of a value left unread.
  explicit History(std::vector<HistoryEntry> stored = {}, std::uint32_t highestStored = 0);

  // Records `address` as a change when it differs from the newest entry's
  // (the first address ever seen is one); true when it did. An empty address
  // is no address.
  bool Seen(const std::string& address, const std::string& localTime);

  // What `channel` made of `address`, on that address's newest entry: the
  // latest word replaces the earlier, except that nothing replaces a "sent".
  // The entry when it changed (valid until the next Seen), else nullptr.
  const HistoryEntry* Outcome(const std::string& address, const std::string& channel, const std::string& outcome);

  // Newest first.
  const std::vector<HistoryEntry>& Entries() const { return m_entries; }

 private:
  std::vector<HistoryEntry> m_entries;
  std::uint32_t m_highest = 0;
};

// One entry as one line, for the list's row and the clipboard:
// "2026-12-08 14:03  203.0.113.7  |  Mail: sent 14:03  |  GET  https://a.example: failed: timed out".
std::string EntryLine(const HistoryEntry& entry);

// Every entry's line in order, each ended by CR LF.
std::string HistoryText(const std::vector<HistoryEntry>& entries);

// The entry's stored text (without its number, which names the value): plain
// text, tab-separated, nothing in it but what the list shows.
std::string SerializeEntry(const HistoryEntry& entry);

// The entry a stored text holds, numbered `number`; nullopt for a text this
// version cannot read (another layout, a missing field, control bytes, too long).
std::optional<HistoryEntry> ParseEntry(std::uint32_t number, std::string_view text);

// The longest stored text ParseEntry takes: far more than the caps on each
// field allow, so only a damaged value comes near it.
inline constexpr std::size_t kLongestEntryText = 16 * 1024;

// The stored value's name for entry `number`: "Change000000042", so the names
// sort as the entries do.
std::string HistoryValueName(std::uint32_t number);

// The number a value name gives, nullopt for any other name.
std::optional<std::uint32_t> HistoryValueNumber(std::string_view name);

// Whether the value numbered `number` is outlived once entry `newest` is
// stored: it is older than the last kMostHistoryEntries.
inline bool Outlived(std::uint32_t number, std::uint32_t newest) {
  return newest >= kMostHistoryEntries && number <= newest - kMostHistoryEntries;
}

}  // namespace app
