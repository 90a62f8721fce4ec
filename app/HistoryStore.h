#pragma once
// The history's home: a subkey of the program's key holding one plain-text
// value a change (app/History.h gives the text and the value's name). A
// value that cannot be read is skipped and left alone, and a change is
// written before anything it outlives is removed, so a failed write leaves
// the earlier history exactly as it was.
#include <cstdint>
#include <string>
#include <vector>

#include "app/CheckPorts.h"
#include "app/History.h"

namespace app {

// Below settings::kKeyPath, in settings::kRoot.
inline constexpr char kHistorySubkey[] = "History";
std::string HistoryKeyPath();

// Every stored change that can be read, newest first, at most
// kMostHistoryEntries; `highestStored` (when given) gets the highest number
// any value is named with, readable or not. Nothing stored reads as empty.
std::vector<HistoryEntry> LoadHistory(std::uint32_t* highestStored = nullptr);

// Writes the entry's value (new or replacing its earlier text); only once it
// stands are the values it outlives removed. False when it could not be written.
bool StoreHistoryEntry(const HistoryEntry& entry);

// The history the program keeps: read from the store once, with every change
// and every outcome written through as it comes. A write that fails keeps
// the change in memory; the entry's next outcome writes it again.
class StoredHistory : public CheckHistory {
 public:
  StoredHistory();

  void AddressSeen(const std::string& address, const std::string& localTime) override { Seen(address, localTime); }
  void ChannelOutcome(const std::string& address, const std::string& channel, const std::string& outcome) override {
    Outcome(address, channel, outcome);
  }

  // As History::Seen; true when a change was recorded, stored or not.
  bool Seen(const std::string& address, const std::string& localTime);
  void Outcome(const std::string& address, const std::string& channel, const std::string& outcome);
  const std::vector<HistoryEntry>& Entries() const { return m_history.Entries(); }

 private:
  History m_history;
};

}  // namespace app
