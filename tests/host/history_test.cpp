// The history's rules, one table row a step: an address seen (or a restart,
// which reads the history back from its stored form), or a channel's word on
// an address, against whether a change was recorded and the lines afterwards.
#include <gtest/gtest.h>

#include "app/History.h"

namespace {

using app::History;
using app::HistoryEntry;

constexpr char kRestart[] = "restart";
constexpr char kWeb[] = "GET  https://ddns.example";

struct Step {
  std::string address;  // an address seen, or kRestart
  std::string channel;  // with it, that channel's word on the address instead
  std::string outcome;
  bool recorded = false;  // Seen's answer, or whether Outcome changed an entry
  std::vector<std::string> lines = std::vector<std::string>{{"-"}};  // newest first; {"-"} leaves them unchecked
};

// What a restart finds: every entry through its stored text, in the order the store lists them.
History Restarted(const History& history) {
  std::vector<HistoryEntry> stored;
  for (const HistoryEntry& e : history.Entries()) {
    auto read = app::ParseEntry(e.number, app::SerializeEntry(e));
    EXPECT_TRUE(read) << app::SerializeEntry(e);
    if (read) stored.insert(stored.begin(), *read);
  }
  return History(std::move(stored));
}

void Steps(History& history, const std::vector<Step>& steps) {
  for (std::size_t n = 0; n < steps.size(); ++n) {
    const Step& step = steps[n];
    SCOPED_TRACE("step " + std::to_string(n + 1) + ": " + step.address + " " + step.channel);
    if (step.address == kRestart) {
      history = Restarted(history);
    } else if (step.channel.empty()) {
      EXPECT_EQ(step.recorded, history.Seen(step.address, "t" + std::to_string(n + 1)));
    } else {
      EXPECT_EQ(step.recorded, history.Outcome(step.address, step.channel, step.outcome) != nullptr);
    }
    if (step.lines == std::vector<std::string>{"-"}) continue;
    std::vector<std::string> lines;
    for (const HistoryEntry& e : history.Entries()) lines.push_back(app::EntryLine(e));
    EXPECT_EQ(step.lines, lines);
  }
}

TEST(History, ChangesAndEachChannelsWordAsItComesAcrossRestarts) {
  History history;
  Steps(history, {
                     {"203.0.113.7", "", "", true, {"t1  203.0.113.7"}},
                     {"203.0.113.7", "", "", false, {"t1  203.0.113.7"}},
                     {kRestart, "", "", false, {"t1  203.0.113.7"}},
                     {"203.0.113.7", "", "", false, {"t1  203.0.113.7"}},  // the same address after a restart
                     // The web target answers first; the mail still comes first in the row.
                     {"203.0.113.7",
                      kWeb,
                      "failed: 503 Service Unavailable",
                      true,
                      {"t1  203.0.113.7  |  GET  https://ddns.example: failed: 503 Service Unavailable"}},
                     {"203.0.113.7",
                      "Mail",
                      "sent 14:03",
                      true,
                      {"t1  203.0.113.7  |  Mail: sent 14:03  |  GET  https://ddns.example: failed: 503 Service "
                       "Unavailable"}},
                     {"203.0.113.7", kWeb, "failed: timed out", true},  // the last failure's words
                     {kRestart, "", "", false},
                     {"198.51.100.2", "", "", true},
                     {"198.51.100.2", kWeb, "stopped: badauth", true},  // never gets through
                     {"198.51.100.2", kWeb, "stopped: badauth", false},
                     {"203.0.113.7", "", "", true},  // back to an earlier address: a change again
                     {"203.0.113.7", "Mail", "sent 15:10", true},
                     {"203.0.113.7", "Mail", "failed: refused", false},  // through stays through
                     {"192.0.2.1", "Mail", "sent 15:11", false},         // an address never recorded
                     {"203.0.113.7", "", "", false},
                     {kRestart,
                      "",
                      "",
                      false,
                      {"t12  203.0.113.7  |  Mail: sent 15:10",
                       "t9  198.51.100.2  |  GET  https://ddns.example: stopped: badauth",
                       "t1  203.0.113.7  |  Mail: sent 14:03  |  GET  https://ddns.example: failed: timed out"}},
                 });
}

TEST(History, TheHundredAndFirstChangeDropsTheOldestAndNumbersGoOnPastWhatTheStoreHolds) {
  History history;
  for (int i = 1; i <= 100; ++i) ASSERT_TRUE(history.Seen("10.0.0." + std::to_string(i), "t"));
  ASSERT_EQ(100u, history.Entries().size());
  EXPECT_EQ("10.0.0.1", history.Entries().back().address);
  ASSERT_TRUE(history.Seen("10.0.1.1", "t"));
  ASSERT_EQ(app::kMostHistoryEntries, history.Entries().size());
  EXPECT_EQ("10.0.1.1", history.Entries().front().address);
  EXPECT_EQ("10.0.0.2", history.Entries().back().address);
  EXPECT_EQ(nullptr, history.Outcome("10.0.0.1", "Mail", "sent 1:00")) << "dropped with its entry";

  // A store with more than a hundred, in any order, and an unread value numbered 500.
  std::vector<HistoryEntry> stored;
  for (std::uint32_t n = 1; n <= 120; ++n) stored.push_back({n, "t", "10.1.0." + std::to_string(n), {}});
  std::swap(stored[0], stored[119]);
  History restarted(std::move(stored), 500);
  ASSERT_EQ(100u, restarted.Entries().size());
  EXPECT_EQ(120u, restarted.Entries().front().number);
  EXPECT_EQ(21u, restarted.Entries().back().number);
  ASSERT_TRUE(restarted.Seen("10.2.0.1", "t"));
  EXPECT_EQ(501u, restarted.Entries().front().number) << "never the name of a value left unread";
}

TEST(History, StoredFormIsPlainTextAndAnUnreadableTextIsRefused) {
  History history;
  history.Seen("203.0.113.7", "2026-12-08 14:03");
  // A server's words with a tab and a line break stay on one line.
  const HistoryEntry* entry = history.Outcome("203.0.113.7", kWeb, "failed: bad\tgateway\r\nX-Injected: 1");
  ASSERT_NE(nullptr, entry);
  EXPECT_EQ("1\t2026-12-08 14:03\t203.0.113.7\tGET  https://ddns.example\tfailed: bad gateway  X-Injected: 1",
            app::SerializeEntry(*entry));
  EXPECT_EQ(*entry, app::ParseEntry(entry->number, app::SerializeEntry(*entry)));

  for (const std::string& text : std::vector<std::string>{
           "", "1", "1\tt", "2\tt\t203.0.113.7", "1\t\t203.0.113.7", "1\tt\t203.0.113.7\tMail",
           "1\tt\t203.0.113.7\tMail\t", "1\tt\t203.0.113.7\tMail\tsent\r\n", std::string("1\tt\t203.0.113.7\0", 17),
           "1\tt\t" + std::string(65, '1'), "1\tt\t203.0.113.7\tMail\t" + std::string(app::kLongestEntryText, 'x')})
    EXPECT_FALSE(app::ParseEntry(1, text)) << text;
  EXPECT_TRUE(app::ParseEntry(1, "1\tt\t203.0.113.7"));
}

TEST(History, ValueNamesSortAsTheEntriesAndNoOtherNameIsTaken) {
  EXPECT_EQ("Change000000042", app::HistoryValueName(42));
  EXPECT_LT(app::HistoryValueName(99), app::HistoryValueName(100));
  EXPECT_EQ(42u, app::HistoryValueNumber("Change000000042"));
  for (const char* name : {"Change42", "Change0000000042", "change000000042", "Change00000004x", "Version", ""})
    EXPECT_FALSE(app::HistoryValueNumber(name)) << name;
  EXPECT_FALSE(app::Outlived(1, 100));
  EXPECT_TRUE(app::Outlived(1, 101));
  EXPECT_FALSE(app::Outlived(2, 101));
  EXPECT_FALSE(app::Outlived(0, 99));
}

}  // namespace
