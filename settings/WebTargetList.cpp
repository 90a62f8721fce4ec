#include "settings/WebTargetList.h"

#include <algorithm>
#include <iterator>
#include <set>

namespace settings {

namespace {

// The first line names the form, so a later one can be told from this. The
// first form had no choice of when a target is called: each of its targets
// reads as called on a change. The second adds that choice as the third word
// of each target's line.
constexpr std::string_view kFirstForm = "Corvane web targets 1\n";
constexpr std::string_view kForm = "Corvane web targets 2\n";
static_assert(kFirstForm.size() == kForm.size());
// In the order of WebWhen.
constexpr std::string_view kWhenWords[] = {"change", "heartbeat", "failing"};
constexpr std::string_view kRowPrefix = "WebTarget";

// Decimal digits only, no leading zero, within `most`.
std::optional<std::uint32_t> Number(std::string_view text, std::uint32_t most) {
  if (text.empty() || text.size() > 10 || (text.size() > 1 && text[0] == '0')) return std::nullopt;
  std::uint64_t value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<std::uint64_t>(c - '0');
  }
  if (value > most) return std::nullopt;
  return static_cast<std::uint32_t>(value);
}

// Splits off the text up to the next line end, which is dropped.
std::optional<std::string_view> Line(std::string_view& rest) {
  const std::size_t end = rest.find('\n');
  if (end == std::string_view::npos) return std::nullopt;
  const std::string_view line = rest.substr(0, end);
  rest.remove_prefix(end + 1);
  return line;
}

std::vector<std::string_view> Words(std::string_view line) {
  std::vector<std::string_view> words;
  while (true) {
    const std::size_t blank = line.find(' ');
    words.push_back(line.substr(0, blank));
    if (blank == std::string_view::npos) return words;
    line.remove_prefix(blank + 1);
  }
}

bool Take(std::string_view& rest, std::uint32_t length, std::string& into) {
  if (length > rest.size()) return false;
  into.assign(rest.substr(0, length));
  rest.remove_prefix(length);
  return true;
}

}  // namespace

std::string EncodeWebList(const WebList& list) {
  std::string bytes(kForm);
  bytes += "next " + std::to_string(list.nextId) + "\n";
  const std::size_t count = std::min<std::size_t>(list.targets.size(), kMostWebTargets);
  for (std::size_t i = 0; i < count; ++i) {
    const WebSettings& t = list.targets[i];
    // What the reader would take for GET is stored as GET, so the list stays readable.
    const auto when = static_cast<std::size_t>(t.when);
    bytes += std::to_string(t.id) + " " + (IsWebMethod(t.method) ? t.method : kWebGet) + " " +
             std::string(kWhenWords[when < std::size(kWhenWords) ? when : 0]) + " " + std::to_string(t.url.size()) +
             " " + std::to_string(t.headers.size()) + " " + std::to_string(t.body.size()) + "\n";
    bytes += t.url + t.headers + t.body;
  }
  return bytes;
}

std::optional<WebList> DecodeWebList(std::string_view bytes) {
  const bool first = bytes.substr(0, kFirstForm.size()) == kFirstForm;
  if (!first && bytes.substr(0, kForm.size()) != kForm) return std::nullopt;
  std::string_view rest = bytes.substr(kForm.size());
  const std::size_t wordCount = first ? 5 : 6;
  const auto nextLine = Line(rest);
  if (!nextLine || nextLine->substr(0, 5) != "next ") return std::nullopt;
  const auto next = Number(nextLine->substr(5), UINT32_MAX);
  if (!next || *next == 0) return std::nullopt;
  WebList list;
  list.nextId = *next;
  std::set<std::uint32_t> ids;
  while (!rest.empty()) {
    if (list.targets.size() == static_cast<std::size_t>(kMostWebTargets)) return std::nullopt;
    const auto line = Line(rest);
    if (!line) return std::nullopt;
    std::vector<std::string_view> words = Words(*line);
    if (words.size() != wordCount) return std::nullopt;
    WebSettings& target = list.targets.emplace_back();
    if (!first) {
      const auto when = std::find(std::begin(kWhenWords), std::end(kWhenWords), words[2]);
      if (when == std::end(kWhenWords)) return std::nullopt;
      target.when = static_cast<WebWhen>(when - std::begin(kWhenWords));
      words.erase(words.begin() + 2);
    }
    const auto id = Number(words[0], list.nextId - 1);
    target.method.assign(words[1]);
    const auto urlLength = Number(words[2], UINT32_MAX), headersLength = Number(words[3], UINT32_MAX),
               bodyLength = Number(words[4], UINT32_MAX);
    if (!id || *id == 0 || !ids.insert(*id).second || !IsWebMethod(target.method) || !urlLength || !headersLength ||
        !bodyLength)
      return std::nullopt;
    target.id = *id;
    if (!Take(rest, *urlLength, target.url) || !Take(rest, *headersLength, target.headers) ||
        !Take(rest, *bodyLength, target.body))
      return std::nullopt;
  }
  return list;
}

void AssignWebIds(WebList& list) {
  for (const WebSettings& target : list.targets)
    if (target.id >= list.nextId) list.nextId = target.id + 1;
  std::set<std::uint32_t> taken;
  for (WebSettings& target : list.targets)
    if (target.id == 0 || !taken.insert(target.id).second) target.id = list.nextId++;
}

std::optional<int> RowFormCount(const std::string& text) {
  // Any run of digits: the count was text, which any program could write.
  if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos) return std::nullopt;
  const std::size_t first = text.find_first_not_of('0');
  if (first == std::string::npos) return 0;
  if (text.size() - first > 1) return kMostWebTargets;  // two digits or more: above the most
  return std::min(text[first] - '0', kMostWebTargets);
}

int RowFormNumber(const std::string& valueName) {
  std::string_view name(valueName);
  if (name.substr(0, kRowPrefix.size()) != kRowPrefix) return 0;
  name.remove_prefix(kRowPrefix.size());
  const std::size_t digits = name.find_first_not_of("0123456789");
  if (digits == std::string_view::npos) return 0;
  const std::string_view part = name.substr(digits);
  if (part != kWebTargetUrl && part != kWebTargetMethod && part != kWebTargetHeaders && part != kWebTargetBody)
    return 0;
  const auto number = Number(name.substr(0, digits), INT32_MAX);
  return number ? static_cast<int>(*number) : 0;
}

bool KeepsUnreadableRow(int number, int rowsRead, const std::string& rowUrl, const std::vector<WebSettings>& saved) {
  if (number < 1 || number > rowsRead || number > kMostWebTargets) return false;
  return std::any_of(saved.begin(), saved.end(), [&](const WebSettings& target) {
    return target.id == static_cast<std::uint32_t>(number) && target.url == rowUrl;
  });
}

}  // namespace settings
