// The history under Wine: its store in the real registry, damaged values and
// refused writes among them, and the History dialog with the clipboard.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <windows.h>
#include <sddl.h>

#include "app/HistoryStore.h"
#include "fw/Handles.h"
#include "res/resource.h"
#include "settings/StoredSettings.h"
#include "ui/HistoryDlg.h"
#include "UiDriver.h"

namespace {

using ui_driver::Click;

constexpr char kWeb[] = "GET  https://ddns.example";

std::vector<std::string> Lines(const std::vector<app::HistoryEntry>& entries) {
  std::vector<std::string> lines;
  for (const auto& e : entries) lines.push_back(app::EntryLine(e));
  return lines;
}

void WriteRaw(const std::string& name, DWORD type, const std::string& bytes) {
  ASSERT_EQ(ERROR_SUCCESS, RegSetKeyValueA(settings::kRoot, app::HistoryKeyPath().c_str(), name.c_str(), type,
                                           bytes.data(), static_cast<DWORD>(bytes.size())));
}

// While it lives, the history's subkey refuses KEY_SET_VALUE to everyone:
// a write the system itself refuses.
class RefusedWrites {
 public:
  RefusedWrites() {
    HKEY key = nullptr;
    EXPECT_EQ(ERROR_SUCCESS, RegOpenKeyExA(settings::kRoot, app::HistoryKeyPath().c_str(), 0, KEY_ALL_ACCESS, &key));
    m_key.reset(key);
    DWORD size = static_cast<DWORD>(m_original.size());
    EXPECT_EQ(ERROR_SUCCESS, RegGetKeySecurity(key, DACL_SECURITY_INFORMATION, m_original.data(), &size));
    PSECURITY_DESCRIPTOR denied = nullptr;
    EXPECT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA("D:(D;;0x2;;;WD)(A;;GA;;;WD)", SDDL_REVISION_1,
                                                                     &denied, nullptr));
    EXPECT_EQ(ERROR_SUCCESS, RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, denied));
    LocalFree(denied);
  }
  ~RefusedWrites() { RegSetKeySecurity(m_key.get(), DACL_SECURITY_INFORMATION, m_original.data()); }

 private:
  fw::OwnedKey m_key;
  std::vector<char> m_original = std::vector<char>(4096);
};

class HistoryTest : public ::testing::Test {
 protected:
  void SetUp() override { RegDeleteTreeA(settings::kRoot, settings::kKeyPath); }
  void TearDown() override { RegDeleteTreeA(settings::kRoot, settings::kKeyPath); }

  // Three changes as a week of checks leaves them, the web target never through on the second.
  static void StoreThreeChanges() {
    app::StoredHistory history;
    history.Seen("203.0.113.7", "2026-12-01 09:00");
    history.Outcome("203.0.113.7", "Mail", "sent 09:00");
    history.Outcome("203.0.113.7", kWeb, "sent 09:00");
    history.Seen("198.51.100.2", "2026-12-03 17:30");
    history.Outcome("198.51.100.2", "Mail", "sent 17:30");
    history.Outcome("198.51.100.2", kWeb, "failed: 503 Service Unavailable");
    history.Outcome("198.51.100.2", kWeb, "stopped: badauth");
    history.Seen("192.0.2.44", "2026-12-07 08:15");
    history.Outcome("192.0.2.44", "Mail", "failed: 421 busy");
  }

  const std::vector<std::string> kThreeLines{
      "2026-12-07 08:15  192.0.2.44  |  Mail: failed: 421 busy",
      "2026-12-03 17:30  198.51.100.2  |  Mail: sent 17:30  |  GET  https://ddns.example: stopped: badauth",
      "2026-12-01 09:00  203.0.113.7  |  Mail: sent 09:00  |  GET  https://ddns.example: sent 09:00"};

  ui_driver::DialogScripts scripts;
};

TEST_F(HistoryTest, ARestartReadsEveryChangeBackAndTheSameAddressAddsNothing) {
  StoreThreeChanges();
  app::StoredHistory restarted;
  EXPECT_EQ(kThreeLines, Lines(restarted.Entries()));
  EXPECT_FALSE(restarted.Seen("192.0.2.44", "2026-12-08 10:00"));
  EXPECT_EQ(kThreeLines, Lines(app::LoadHistory()));
}

TEST_F(HistoryTest, AValueThatCannotBeReadIsSkippedAndKeptAndTheRestShown) {
  StoreThreeChanges();
  WriteRaw(app::HistoryValueName(2), REG_DWORD, std::string("\x07\0\0\0", 4));  // the second change damaged
  WriteRaw(app::HistoryValueName(7), REG_SZ, std::string("garbage\0", 8));
  WriteRaw(app::HistoryValueName(8), REG_SZ, std::string(20000, 'x') + '\0');
  WriteRaw("Notes", REG_SZ, std::string("not ours\0", 9));
  EXPECT_EQ((std::vector<std::string>{kThreeLines[0], kThreeLines[2]}), Lines(app::LoadHistory()));

  app::StoredHistory history;
  ASSERT_TRUE(history.Seen("10.0.0.1", "2026-12-08 10:00"));
  EXPECT_EQ(9u, history.Entries().front().number) << "after every stored name, read or not";
  for (std::uint32_t n : {2u, 7u, 8u}) {
    DWORD type = REG_NONE;
    EXPECT_EQ(ERROR_SUCCESS, RegGetValueA(settings::kRoot, app::HistoryKeyPath().c_str(),
                                          app::HistoryValueName(n).c_str(), RRF_RT_ANY, &type, nullptr, nullptr))
        << n << " is left where it was";
  }
  EXPECT_EQ(3u, app::LoadHistory().size());
}

TEST_F(HistoryTest, AWriteTheSystemRefusesLosesNothingWrittenBefore) {
  StoreThreeChanges();
  {
    app::StoredHistory history;
    RefusedWrites refused;
    EXPECT_FALSE(app::StoreHistoryEntry({4, "2026-12-08 10:00", "10.0.0.1", {}}));
    history.Outcome("192.0.2.44", "Mail", "sent 10:00");  // the newest's rewrite refused
    EXPECT_TRUE(history.Seen("10.0.0.1", "2026-12-08 10:00")) << "still recorded in memory";
  }
  EXPECT_EQ(kThreeLines, Lines(app::LoadHistory()));
}

// A hundred values where the oldest goes only once the new one stands.
TEST_F(HistoryTest, TheHundredAndFirstChangeRemovesTheOldestValue) {
  for (std::uint32_t n = 1; n <= 100; ++n)
    ASSERT_TRUE(app::StoreHistoryEntry({n, "t", "10.0.0." + std::to_string(n), {}}));
  ASSERT_EQ(100u, app::LoadHistory().size());
  app::StoredHistory history;
  ASSERT_TRUE(history.Seen("10.0.1.1", "t"));
  const auto stored = app::LoadHistory();
  ASSERT_EQ(100u, stored.size());
  EXPECT_EQ("10.0.1.1", stored.front().address);
  EXPECT_EQ("10.0.0.2", stored.back().address);
}

std::string ClipboardText(UINT format) {
  std::string text;
  if (!OpenClipboard(nullptr)) return "<clipboard busy>";
  if (HGLOBAL memory = GetClipboardData(format)) {
    if (const void* data = GlobalLock(memory)) {
      if (format == CF_UNICODETEXT) {
        for (const wchar_t* c = static_cast<const wchar_t*>(data); *c; ++c)
          text += *c < 0x80 ? static_cast<char>(*c) : '?';
      } else {
        text = static_cast<const char*>(data);
      }
      GlobalUnlock(memory);
    }
  }
  CloseClipboard();
  return text;
}

TEST_F(HistoryTest, TheDialogListsTheStoredChangesNewestFirstAndCopiesThemAll) {
  StoreThreeChanges();
  std::vector<std::string> rows;
  std::string caption;
  bool copyOn = false;
  scripts.Then([&](HWND dialog) {
    caption = fw::WindowText(dialog);
    const HWND list = GetDlgItem(dialog, IDC_HISTORY_LIST);
    for (int i = 0; i < static_cast<int>(SendMessageA(list, LB_GETCOUNT, 0, 0)); ++i) {
      char row[512] = {};
      SendMessageA(list, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(row));
      rows.push_back(row);
    }
    copyOn = IsWindowEnabled(GetDlgItem(dialog, IDC_HISTORY_COPY)) != FALSE;
    Click(dialog, IDC_HISTORY_COPY);
    Click(dialog, IDCANCEL);
  });
  EXPECT_EQ(IDCANCEL, HistoryDlg(Lines(app::LoadHistory())).DoModal());
  EXPECT_EQ("History", caption);
  EXPECT_EQ(kThreeLines, rows);
  EXPECT_TRUE(copyOn);
  const std::string copied = kThreeLines[0] + "\r\n" + kThreeLines[1] + "\r\n" + kThreeLines[2] + "\r\n";
  EXPECT_EQ(copied, ClipboardText(CF_TEXT));
  EXPECT_EQ(copied, ClipboardText(CF_UNICODETEXT));
}

TEST_F(HistoryTest, AnEmptyHistorySaysSoAndHasNothingToCopy) {
  std::string row;
  bool copyOn = true;
  scripts.Then([&](HWND dialog) {
    char text[128] = {};
    SendDlgItemMessageA(dialog, IDC_HISTORY_LIST, LB_GETTEXT, 0, reinterpret_cast<LPARAM>(text));
    row = text;
    copyOn = IsWindowEnabled(GetDlgItem(dialog, IDC_HISTORY_COPY)) != FALSE;
    Click(dialog, IDCANCEL);
  });
  HistoryDlg(Lines(app::LoadHistory())).DoModal();
  EXPECT_EQ(HistoryDlg::kNothingYet, row);
  EXPECT_FALSE(copyOn);
}

// The program's own tray menu, as its resources hold it.
TEST(TrayMenuResource, HistoryStandsBetweenRestoreAndExitAndNothingElseChanged) {
  const fw::OwnedMenu menu(LoadMenuA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_TRAYMENU)));
  ASSERT_TRUE(menu);
  ASSERT_EQ(1, GetMenuItemCount(menu.get()));
  HMENU popup = GetSubMenu(menu.get(), 0);
  std::vector<std::pair<UINT, std::string>> items;
  for (int i = 0; i < GetMenuItemCount(popup); ++i) {
    char text[64] = {};
    GetMenuStringA(popup, static_cast<UINT>(i), text, sizeof text, MF_BYPOSITION);
    items.emplace_back(GetMenuItemID(popup, i), text);
  }
  EXPECT_EQ((std::vector<std::pair<UINT, std::string>>{
                {ID_MENU_RESTORE, "Restore"}, {ID_MENU_HISTORY, "History..."}, {ID_MENU_EXIT, "Exit"}}),
            items);
}

}  // namespace
