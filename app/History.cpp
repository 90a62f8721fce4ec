#include "app/History.h"

#include <algorithm>
#include <utility>

namespace app {

namespace {

// Caps that keep one stored value small whatever a server said; the
// outcomes the program writes are far shorter.
constexpr std::size_t kLongestTime = 64;
constexpr std::size_t kLongestAddress = 64;
constexpr std::size_t kLongestChannel = 128;
constexpr std::size_t kLongestOutcome = 200;
constexpr std::size_t kMostChannels = 16;  // the mail and every web target, with room

constexpr char kLayout[] = "1";  // the first field of every stored text
constexpr char kSeparator = '\t';
constexpr std::string_view kValuePrefix = "Change";
constexpr std::size_t kNumberDigits = 9;

bool IsControl(char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; }

// One line of plain text: a control byte (a tab, a line break from a
// server's words) would break the row and the stored layout alike.
std::string Clean(std::string_view text, std::size_t longest) {
  std::string clean(text.substr(0, longest));
  std::replace_if(clean.begin(), clean.end(), IsControl, ' ');
  return clean;
}

bool IsSent(const std::string& outcome) { return outcome.rfind("sent", 0) == 0; }

std::vector<std::string_view> Fields(std::string_view text) {
  std::vector<std::string_view> fields;
  for (;;) {
    const std::size_t at = text.find(kSeparator);
    fields.push_back(text.substr(0, at));
    if (at == std::string_view::npos) return fields;
    text.remove_prefix(at + 1);
  }
}

bool Fits(std::string_view field, std::size_t longest) {
  return !field.empty() && field.size() <= longest && std::none_of(field.begin(), field.end(), IsControl);
}

}  // namespace

History::History(std::vector<HistoryEntry> stored, std::uint32_t highestStored)
    : m_entries(std::move(stored)), m_highest(highestStored) {
  std::sort(m_entries.begin(), m_entries.end(),
            [](const HistoryEntry& a, const HistoryEntry& b) { return a.number > b.number; });
  if (m_entries.size() > kMostHistoryEntries) m_entries.resize(kMostHistoryEntries);
  if (!m_entries.empty()) m_highest = std::max(m_highest, m_entries.front().number);
}

bool History::Seen(const std::string& address, const std::string& localTime) {
  const std::string clean = Clean(address, kLongestAddress);
  if (clean.empty()) return false;
  if (!m_entries.empty() && m_entries.front().address == clean) return false;
  HistoryEntry entry;
  entry.number = ++m_highest;
  entry.time = Clean(localTime, kLongestTime);
  if (entry.time.empty()) entry.time = "?";  // a stored entry always has its fields
  entry.address = clean;
  m_entries.insert(m_entries.begin(), std::move(entry));
  if (m_entries.size() > kMostHistoryEntries) m_entries.pop_back();
  return true;
}

const HistoryEntry* History::Outcome(const std::string& address, const std::string& channel,
                                     const std::string& outcome) {
  const std::string name = Clean(channel, kLongestChannel), word = Clean(outcome, kLongestOutcome);
  if (name.empty() || word.empty()) return nullptr;
  const std::string clean = Clean(address, kLongestAddress);
  const auto entry =
      std::find_if(m_entries.begin(), m_entries.end(), [&](const HistoryEntry& e) { return e.address == clean; });
  if (entry == m_entries.end()) return nullptr;
  auto& outcomes = entry->outcomes;
  const auto known =
      std::find_if(outcomes.begin(), outcomes.end(), [&](const ChannelOutcome& o) { return o.channel == name; });
  if (known != outcomes.end()) {
    // Once through, the address stays through: a later call's failure is news of another call.
    if (known->outcome == word || (IsSent(known->outcome) && !IsSent(word))) return nullptr;
    known->outcome = word;
    return &*entry;
  }
  if (outcomes.size() >= kMostChannels) return nullptr;
  outcomes.insert(name == kMailChannelName ? outcomes.begin() : outcomes.end(), ChannelOutcome{name, word});
  return &*entry;
}

std::string EntryLine(const HistoryEntry& entry) {
  std::string line = entry.time + "  " + entry.address;
  for (const ChannelOutcome& o : entry.outcomes) line += "  |  " + o.channel + ": " + o.outcome;
  return line;
}

std::string HistoryText(const std::vector<HistoryEntry>& entries) {
  std::string text;
  for (const HistoryEntry& entry : entries) text += EntryLine(entry) + "\r\n";
  return text;
}

std::string SerializeEntry(const HistoryEntry& entry) {
  std::string text = std::string(kLayout) + kSeparator + entry.time + kSeparator + entry.address;
  for (const ChannelOutcome& o : entry.outcomes) text += kSeparator + o.channel + kSeparator + o.outcome;
  return text;
}

std::optional<HistoryEntry> ParseEntry(std::uint32_t number, std::string_view text) {
  if (text.size() > kLongestEntryText) return std::nullopt;
  const std::vector<std::string_view> fields = Fields(text);
  // The layout, the time, the address, then channel and outcome in pairs.
  if (fields.size() < 3 || fields.size() % 2 == 0 || fields[0] != kLayout) return std::nullopt;
  if (!Fits(fields[1], kLongestTime) || !Fits(fields[2], kLongestAddress)) return std::nullopt;
  if ((fields.size() - 3) / 2 > kMostChannels) return std::nullopt;
  HistoryEntry entry;
  entry.number = number;
  entry.time = fields[1];
  entry.address = fields[2];
  for (std::size_t i = 3; i < fields.size(); i += 2) {
    if (!Fits(fields[i], kLongestChannel) || !Fits(fields[i + 1], kLongestOutcome)) return std::nullopt;
    entry.outcomes.push_back({std::string(fields[i]), std::string(fields[i + 1])});
  }
  return entry;
}

std::string HistoryValueName(std::uint32_t number) {
  std::string digits = std::to_string(number);
  if (digits.size() < kNumberDigits) digits.insert(0, kNumberDigits - digits.size(), '0');
  return std::string(kValuePrefix) + digits;
}

std::optional<std::uint32_t> HistoryValueNumber(std::string_view name) {
  if (name.size() != kValuePrefix.size() + kNumberDigits || name.substr(0, kValuePrefix.size()) != kValuePrefix)
    return std::nullopt;
  std::uint32_t number = 0;
  for (const char c : name.substr(kValuePrefix.size())) {
    if (c < '0' || c > '9') return std::nullopt;
    number = number * 10 + static_cast<std::uint32_t>(c - '0');
  }
  return number;
}

}  // namespace app
