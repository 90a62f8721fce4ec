// The settings store against Wine's real registry.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include <windows.h>
#include <wincrypt.h>

#include "fw/Handles.h"
#include "settings/ProtectedValue.h"
#include "settings/Registry.h"
#include "settings/Scramble.h"
#include "settings/StoredSettings.h"
#include "settings/WebTargetList.h"

namespace {

constexpr char kTestPath[] = "Software\\Orlimar\\CorvaneRegistryTest";

class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override { Clean(); }
  void TearDown() override { Clean(); }
  static void Clean() {
    RegDeleteTreeA(HKEY_CURRENT_USER, kTestPath);
    RegDeleteTreeA(HKEY_CURRENT_USER, settings::kKeyPath);
  }
  // Writes a value with raw bytes and type, as another program might.
  static void WriteRaw(const char* path, const char* name, DWORD type, const std::string& bytes) {
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS,
              RegCreateKeyExA(HKEY_CURRENT_USER, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr));
    RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(bytes.data()), static_cast<DWORD>(bytes.size()));
    RegCloseKey(key);
  }
  static std::string Read(const char* path, const char* name) {
    CRegistry r;
    r.OpenKey(HKEY_CURRENT_USER, path, 1);
    std::string text = "<unread>";
    r.ReadValue(name, text);
    return text;
  }
};

TEST_F(RegistryTest, OpenOrCreateReportsOnlyACreation) {
  CRegistry r;
  EXPECT_EQ(0, r.OpenKey(HKEY_CURRENT_USER, kTestPath, 1)) << "open-only must not create";
  EXPECT_FALSE(r.IsOpen());
  EXPECT_EQ(1, r.OpenKey(HKEY_CURRENT_USER, kTestPath, 0)) << "created by this call";
  EXPECT_EQ(1, r.WriteValue("A", "one"));
  EXPECT_EQ(0, r.OpenKey(HKEY_CURRENT_USER, kTestPath, 0)) << "existing key: 0, but open";
  EXPECT_TRUE(r.IsOpen());
  std::string text;
  EXPECT_EQ(1, r.ReadValue("A", text));
  EXPECT_EQ("one", text);
  EXPECT_EQ(1, r.WriteValue("A", "two"));
  EXPECT_EQ(1, r.OpenKey(HKEY_CURRENT_USER, kTestPath, 1));
}

TEST_F(RegistryTest, RefusedRootsAndEmptyPathsLeaveNoKeyOpen) {
  const int keysBefore = win::LiveHandles(win::HandleKind::Key);
  CRegistry r;
  ASSERT_EQ(1, r.OpenKey(HKEY_CURRENT_USER, kTestPath, 0));
  EXPECT_EQ(0, r.OpenKey(HKEY_PERFORMANCE_DATA, kTestPath, 0));
  EXPECT_FALSE(r.IsOpen()) << "the key open before the call must be closed";
  ASSERT_EQ(0, r.OpenKey(HKEY_CURRENT_USER, kTestPath, 0));
  EXPECT_EQ(0, r.OpenKey(HKEY_CURRENT_USER, "", 0));
  EXPECT_FALSE(r.IsOpen());
  std::string held = "kept";
  EXPECT_EQ(0, r.ReadValue("A", held));
  EXPECT_EQ(0, r.WriteValue("A", "x"));
  EXPECT_EQ("kept", held);
  EXPECT_EQ(keysBefore, win::LiveHandles(win::HandleKind::Key));
}

// Every refusal gives its reason, never the success of the call before it:
// a box quotes the words for the code.
TEST_F(RegistryTest, EachRefusalHasACodeOfItsOwn) {
  CRegistry r;
  ASSERT_EQ(1, r.OpenKey(HKEY_CURRENT_USER, kTestPath, 0));
  ASSERT_EQ(1, r.WriteValue("A", "x"));
  EXPECT_EQ(0, r.WriteValue("A", ""));
  EXPECT_EQ(ERROR_INVALID_PARAMETER, r.LastError());
  ASSERT_EQ(1, r.WriteValue("A", "x"));
  EXPECT_EQ(0, r.WriteBinary("B", std::vector<unsigned char>(CRegistry::kLongestBinary + 1)));
  EXPECT_EQ(ERROR_FILE_TOO_LARGE, r.LastError());
  std::vector<unsigned char> bytes;
  EXPECT_EQ(0, r.ReadBinary("A", bytes)) << "text is not binary";
  EXPECT_EQ(ERROR_INVALID_DATATYPE, r.LastError());
  r.CloseKey();
  EXPECT_EQ(0, r.WriteBinary("B", {1}));
  EXPECT_EQ(ERROR_INVALID_HANDLE, r.LastError());
}

TEST_F(RegistryTest, ValuesUpTo259CharactersReadBackAndLongerOnesFail) {
  CRegistry r;
  r.OpenKey(HKEY_CURRENT_USER, kTestPath, 0);
  const std::string fits(259, 'x'), tooLong(260, 'y');
  EXPECT_EQ(1, r.WriteValue("Fits", fits));
  EXPECT_EQ(1, r.WriteValue("TooLong", tooLong)) << "written, though it cannot be read back";
  std::string holder = "before";
  EXPECT_EQ(1, r.ReadValue("Fits", holder));
  EXPECT_EQ(fits, holder);
  holder = "before";
  EXPECT_EQ(0, r.ReadValue("TooLong", holder));
  EXPECT_EQ("before", holder);
  EXPECT_EQ(0, r.ReadValue("Missing", holder));
  EXPECT_EQ(0, r.QueryValue(""));
}

TEST_F(RegistryTest, EmptyTextIsNotWrittenAndTheOldTextStays) {
  CRegistry r;
  r.OpenKey(HKEY_CURRENT_USER, kTestPath, 0);
  r.WriteValue("SMTPServer", "mail.example.net");
  EXPECT_EQ(0, r.WriteValue("SMTPServer", ""));
  EXPECT_EQ("mail.example.net", Read(kTestPath, "SMTPServer"));
}

TEST_F(RegistryTest, ScrambledPasswordsReadBackWholeEvenWithZeroBytes) {
  CRegistry r;
  r.OpenKey(HKEY_CURRENT_USER, kTestPath, 0);
  // Every byte value at every position, and one that scrambles to zero bytes.
  std::string all;
  for (int v = 1; v < 256; ++v) all += static_cast<char>(v);
  std::string withZero;
  for (int a = 1; a < 256 && withZero.empty(); ++a)
    for (int b = 1; b < 256 && withZero.empty(); ++b) {
      const std::string plain{static_cast<char>(a), static_cast<char>(b), 'z'};
      if (settings::ScrambleText(plain).find('\0') != std::string::npos) withZero = plain;
    }
  ASSERT_FALSE(withZero.empty());
  for (const std::string& plain : {std::string("s3cret pass"), all, withZero}) {
    ASSERT_EQ(1, r.WriteValue("SMTPPassword", settings::ScrambleText(plain)));
    std::string stored;
    ASSERT_EQ(1, r.ReadValue("SMTPPassword", stored));
    EXPECT_EQ(plain, settings::UnscrambleText(stored));
  }
}

TEST_F(RegistryTest, AnOrdinaryPasswordKeepsThePlainTextForm) {
  CRegistry r;
  r.OpenKey(HKEY_CURRENT_USER, kTestPath, 0);
  const std::string stored = settings::ScrambleText("hunter2");
  ASSERT_EQ(std::string::npos, stored.find('\0'));
  r.WriteValue("SMTPPassword", stored);
  char raw[64] = {};
  DWORD size = sizeof raw, type = 0;
  ASSERT_EQ(ERROR_SUCCESS, RegGetValueA(HKEY_CURRENT_USER, kTestPath, "SMTPPassword", RRF_RT_ANY, &type, raw, &size));
  EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
  EXPECT_EQ(stored.size() + 1, size) << "text and one terminator, as any reader expects";
}

TEST_F(RegistryTest, ValuesOfOtherTypesAreReadWithoutReadingPastTheirData) {
  WriteRaw(kTestPath, "Dword", REG_DWORD, std::string("\x01\x02\x03\x04", 4));
  WriteRaw(kTestPath, "Binary", REG_BINARY, std::string("ab\0cd", 5));
  WriteRaw(kTestPath, "Multi", REG_MULTI_SZ, std::string("one\0two\0\0", 9));
  WriteRaw(kTestPath, "NoTerminator", REG_SZ, std::string("abc"));
  WriteRaw(kTestPath, "Unterminated260", REG_BINARY, std::string(260, 'q'));
  EXPECT_EQ(std::string("\x01\x02\x03\x04", 4), Read(kTestPath, "Dword"));
  EXPECT_EQ(std::string("ab\0cd", 5), Read(kTestPath, "Binary"));
  EXPECT_EQ(std::string("one\0two\0", 8), Read(kTestPath, "Multi"));
  EXPECT_EQ("abc", Read(kTestPath, "NoTerminator"));
  EXPECT_EQ(std::string(260, 'q'), Read(kTestPath, "Unterminated260"));
}

TEST_F(RegistryTest, FirstRunWritesEveryDefault) {
  const auto s = settings::LoadStartupSettings();
  EXPECT_TRUE(s.firstRun);
  EXPECT_EQ(settings::kDefaultLink, s.link);
  EXPECT_EQ(900000, s.intervalMs);
  EXPECT_EQ("", s.mail.server) << "the mail settings stay empty on a first run";
  const std::pair<const char*, const char*> expected[] = {
      {"Version", "1.0"}, {"SMTPServer", "null"}, {"SMTPUsername", "null"}, {"SMTPPassword", "null"},
      {"SMTPTo", "null"}, {"SMTPFrom", "null"},   {"SMTPAuth", "2"},        {"Link", settings::kDefaultLink},
      {"Timer", "900000"}};
  for (const auto& [name, value] : expected) EXPECT_EQ(value, Read(settings::kKeyPath, name)) << name;
  EXPECT_EQ(0, std::string(settings::kDefaultLink).find("https://"));
}

TEST_F(RegistryTest, AKeyWithoutVersionIsAFirstRunOverTheOldValues) {
  WriteRaw(settings::kKeyPath, "SMTPServer", REG_SZ, std::string("old.example.net", 16));
  EXPECT_TRUE(settings::LoadStartupSettings().firstRun);
  EXPECT_EQ("null", Read(settings::kKeyPath, "SMTPServer"));
}

TEST_F(RegistryTest, AnUnreadableVersionIsNoFirstRunAndKeepsTheSavedSettings) {
  WriteRaw(settings::kKeyPath, "Version", REG_SZ, std::string(300, 'v') + '\0');
  WriteRaw(settings::kKeyPath, "SMTPServer", REG_SZ, std::string("mail.example.net", 17));
  const auto s = settings::LoadStartupSettings();
  EXPECT_FALSE(s.firstRun);
  EXPECT_EQ("mail.example.net", s.mail.server);
  EXPECT_EQ("mail.example.net", Read(settings::kKeyPath, "SMTPServer"));
  EXPECT_EQ(900000, s.intervalMs);
}

TEST_F(RegistryTest, StartupReadsEveryValueOnceVersionExists) {
  WriteRaw(settings::kKeyPath, "Version", REG_SZ, std::string("", 1));  // any Version, even empty
  const std::pair<const char*, std::string> values[] = {{"SMTPServer", "mail.example.net"},
                                                        {"SMTPUsername", "NULL"},
                                                        {"SMTPPassword", settings::ScrambleText("pw")},
                                                        {"SMTPAuth", "3"},
                                                        {"SMTPTo", "me@example.net"},
                                                        {"SMTPFrom", "ip@example.net"},
                                                        {"Link", "http://127.0.0.1:8080/ip.php"},
                                                        {"Timer", "3600000"}};
  for (const auto& [name, value] : values) WriteRaw(settings::kKeyPath, name, REG_SZ, value + '\0');
  const auto s = settings::LoadStartupSettings();
  EXPECT_FALSE(s.firstRun);
  EXPECT_EQ("mail.example.net", s.mail.server);
  EXPECT_EQ("NULL", s.mail.username) << "only lower-case null is the marker, and it is kept as text";
  EXPECT_EQ("pw", s.mail.password);
  EXPECT_EQ("3", s.mail.auth);
  EXPECT_EQ("me@example.net", s.mail.to);
  EXPECT_EQ("ip@example.net", s.mail.from);
  EXPECT_EQ("http://127.0.0.1:8080/ip.php", s.link);
  EXPECT_EQ(3600000, s.intervalMs);
}

TEST_F(RegistryTest, TheRetiredBuiltInPageReadsAsTheCurrentDefault) {
  WriteRaw(settings::kKeyPath, "Version", REG_SZ, std::string("1.0", 4));
  WriteRaw(settings::kKeyPath, "Link", REG_SZ, std::string("http://ip.corvane.example/ip.php", 32));
  EXPECT_EQ(settings::kDefaultLink, settings::LoadStartupSettings().link);
}

TEST_F(RegistryTest, MissingValuesLeaveTheirOwnMemberAndTheIntervalIsNeverZero) {
  WriteRaw(settings::kKeyPath, "Version", REG_SZ, std::string("1.0", 4));
  WriteRaw(settings::kKeyPath, "SMTPServer", REG_SZ, std::string("mail.example.net", 17));
  WriteRaw(settings::kKeyPath, "Timer", REG_SZ, std::string("0", 2));
  const auto s = settings::LoadStartupSettings();
  EXPECT_EQ("mail.example.net", s.mail.server);
  EXPECT_EQ("", s.mail.username) << "a missing value must not take the text read before it";
  EXPECT_EQ(900000, s.intervalMs);
}

TEST_F(RegistryTest, TheMarkerIsNoPasswordAndAProtectedOneWinsOverTheScrambledText) {
  CRegistry r;
  r.OpenKey(settings::kRoot, settings::kKeyPath, 0);
  settings::MailSettings mail;
  r.WriteValue("SMTPPassword", "null");
  settings::ReadMailSettings(r, mail);
  EXPECT_EQ("", mail.password) << "never the marker unscrambled";
  mail.password = "kept";
  ASSERT_EQ("", settings::WriteMailSettings(r, mail));
  r.WriteValue("SMTPPassword", settings::ScrambleText("older"));
  mail.password.clear();
  settings::ReadMailSettings(r, mail);
  EXPECT_EQ("kept", mail.password);
  // Bytes that this user did not protect (a copy from elsewhere) are no password.
  r.WriteBinary("SMTPPasswordProtected", {1, 2, 3, 4});
  r.WriteValue("SMTPPassword", "null");
  settings::ReadMailSettings(r, mail);
  EXPECT_EQ("", mail.password);
}

// Each protected value reads only under its own name; what earlier versions
// wrote with one entropy for all is still read where they wrote it, and the
// next save stores the value's own form.
TEST_F(RegistryTest, AProtectedValueReadsOnlyUnderItsOwnName) {
  CRegistry r;
  r.OpenKey(settings::kRoot, settings::kKeyPath, 0);
  settings::WebSettings web;
  web.url = "https://api.example/bot123:SECRET/send";
  ASSERT_EQ("", settings::WriteWebTargets(r, {web}));
  std::vector<unsigned char> urlBlob;
  ASSERT_TRUE(r.ReadBinary(settings::kWebTargetList, urlBlob));
  ASSERT_TRUE(r.WriteBinary("SMTPPasswordProtected", urlBlob));
  settings::MailSettings mail;
  settings::Unreadable unreadable;
  settings::ReadMailSettings(r, mail, &unreadable);
  EXPECT_EQ("", mail.password) << "the address's bytes are no password";
  EXPECT_EQ(settings::Unreadable{"SMTPPasswordProtected"}, unreadable);

  // The shared form, as earlier versions protected every value.
  std::string sharedEntropy = "Corvane mail password, protected form 1";
  std::string plain = "older pw";
  DATA_BLOB in{static_cast<DWORD>(plain.size()), reinterpret_cast<BYTE*>(plain.data())};
  DATA_BLOB entropy{static_cast<DWORD>(sharedEntropy.size()), reinterpret_cast<BYTE*>(sharedEntropy.data())};
  DATA_BLOB out{};
  ASSERT_TRUE(CryptProtectData(&in, L"Corvane", &entropy, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN, &out));
  const std::vector<unsigned char> shared(out.pbData, out.pbData + out.cbData);
  LocalFree(out.pbData);
  EXPECT_EQ(settings::ProtectedRead::State::Unreadable, settings::UnprotectValue("WebTarget1Url", shared).state)
      << "a value that never had the shared form does not accept it";
  ASSERT_TRUE(r.WriteBinary("SMTPPasswordProtected", shared));
  const settings::ProtectedRead old = settings::ReadProtectedValue(r, "SMTPPasswordProtected");
  EXPECT_EQ("older pw", old.plain);
  EXPECT_TRUE(old.sharedForm);
  settings::ReadMailSettings(r, mail);
  ASSERT_EQ("", settings::WriteMailSettings(r, mail));
  const settings::ProtectedRead rewritten = settings::ReadProtectedValue(r, "SMTPPasswordProtected");
  EXPECT_EQ("older pw", rewritten.plain);
  EXPECT_FALSE(rewritten.sharedForm);
}

// Bytes this user cannot read are kept for the one who can: a save with the
// field left empty neither removes nor replaces them.
TEST_F(RegistryTest, AnUnreadableValueIsReportedAndOutlivesASaveThatLeavesItEmpty) {
  CRegistry r;
  r.OpenKey(settings::kRoot, settings::kKeyPath, 0);
  const std::vector<unsigned char> foreign{1, 2, 3, 4};
  r.WriteBinary("SMTPPasswordProtected", foreign);
  r.WriteBinary("WebNotifyBodyProtected", foreign);
  WriteRaw(settings::kKeyPath, "Version", REG_SZ, std::string("1.0", 4));
  const auto s = settings::LoadStartupSettings();
  EXPECT_EQ((settings::Unreadable{"SMTPPasswordProtected", "WebNotifyBodyProtected"}), s.unreadable);
  ASSERT_EQ("", settings::WriteMailSettings(r, s.mail));
  ASSERT_EQ("", settings::WriteWebTargets(r, {}));
  for (const char* name : {"SMTPPasswordProtected", "WebNotifyBodyProtected"}) {
    std::vector<unsigned char> kept;
    EXPECT_TRUE(r.ReadBinary(name, kept));
    EXPECT_EQ(foreign, kept) << name;
  }
}

TEST_F(RegistryTest, ReadMailSettingsKeepsWhatCannotBeRead) {
  WriteRaw(settings::kKeyPath, "SMTPTo", REG_SZ, std::string("new@example.net", 16));
  settings::MailSettings mail{"s", "u", "p", "2", "old@example.net", "f"};
  CRegistry r;
  r.OpenKey(settings::kRoot, settings::kKeyPath, 0);
  settings::ReadMailSettings(r, mail);
  EXPECT_EQ("new@example.net", mail.to);
  EXPECT_EQ("s", mail.server);
  EXPECT_EQ("f", mail.from);
}

}  // namespace

namespace {

using settings::WebSettings;

WebSettings Web(const std::string& url, std::uint32_t id = 0) {
  WebSettings target;
  target.url = url;
  target.id = id;
  return target;
}

std::vector<std::string> WebUrls(CRegistry& r) {
  std::vector<std::string> urls;
  for (const WebSettings& target : settings::ReadWebTargets(r)) urls.push_back(target.url);
  return urls;
}

// The form before the list: a count and one value per part, as earlier
// versions wrote it.
void WriteRows(CRegistry& r, const std::string& count, int rows) {
  r.WriteValue(settings::kWebTargetCount, count);
  for (int n = 1; n <= rows; ++n) {
    const std::string url = settings::WebTargetValue(n, settings::kWebTargetUrl);
    r.WriteBinary(url, settings::ProtectValue(url, "https://row" + std::to_string(n) + ".example/"));
    r.WriteValue(settings::WebTargetValue(n, settings::kWebTargetMethod), "PUT");
  }
}

std::vector<std::string> RowValues(CRegistry& r) {
  std::vector<std::string> names;
  for (const std::string& name : r.ValueNames())
    if (name.rfind("WebTarget", 0) == 0 && name != settings::kWebTargetList) names.push_back(name);
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace

// Ids follow their targets from save to save, and one given out is never
// given again, even once its target is gone.
TEST_F(RegistryTest, EachWebTargetKeepsItsIdAndANewOneNeverTakesAnEarlierId) {
  CRegistry r;
  r.OpenKey(settings::kRoot, settings::kKeyPath, 0);
  ASSERT_EQ("", settings::WriteWebTargets(r, {Web("https://a.example/"), Web("https://b.example/")}));
  std::vector<WebSettings> targets = settings::ReadWebTargets(r);
  ASSERT_EQ(2u, targets.size());
  EXPECT_EQ(1u, targets[0].id);
  EXPECT_EQ(2u, targets[1].id);
  ASSERT_EQ("", settings::WriteWebTargets(r, {targets[1], Web("https://c.example/")}));
  targets = settings::ReadWebTargets(r);
  EXPECT_EQ(2u, targets[0].id);
  EXPECT_EQ(3u, targets[1].id);
  ASSERT_EQ("", settings::WriteWebTargets(r, {}));
  ASSERT_EQ("", settings::WriteWebTargets(r, {Web("https://d.example/")}));
  EXPECT_EQ(4u, settings::ReadWebTargets(r)[0].id) << "an empty list still remembers the ids given";
}

// A count that is not a count is reported and read as nothing, and what it
// may count is never removed for that; a list that is not this user's or is
// damaged the same. Only a list with targets replaces either.
TEST_F(RegistryTest, AListOrCountThatCannotBeReadIsReportedAndOutlivesAnEmptySave) {
  WriteRaw(settings::kKeyPath, "Version", REG_SZ, std::string("1.0", 4));
  CRegistry r;
  r.OpenKey(settings::kRoot, settings::kKeyPath, 0);
  const std::pair<DWORD, std::string> counts[] = {
      {REG_DWORD, std::string("\2\0\0\0", 4)},
      {REG_DWORD, std::string("2\0\0\0", 4)},  // as text, its bytes would read "2"
      {REG_SZ, std::string("two", 4)},
      {REG_SZ, std::string()},
  };
  for (const auto& [type, count] : counts) {
    SCOPED_TRACE(count);
    r.DeleteValue(settings::kWebTargetList);
    WriteRows(r, "2", 2);
    WriteRaw(settings::kKeyPath, "WebTargets", type, count);
    EXPECT_EQ(settings::Unreadable{"WebTargets"}, settings::LoadStartupSettings().unreadable);
    EXPECT_TRUE(WebUrls(r).empty());
    ASSERT_EQ("", settings::WriteWebTargets(r, {}));
    EXPECT_FALSE(r.HasValue(settings::kWebTargetList));
    EXPECT_EQ(5u, RowValues(r).size()) << "the count and its rows stay";
    ASSERT_EQ("", settings::WriteWebTargets(r, {Web("https://new.example/")}));
    EXPECT_EQ(std::vector<std::string>{"https://new.example/"}, WebUrls(r));
    EXPECT_EQ(5u, RowValues(r).size()) << "still never removed: which values it counted is not known";
  }
  for (const std::vector<unsigned char>& list :
       {std::vector<unsigned char>{1, 2, 3, 4}, settings::ProtectValue(settings::kWebTargetList, "not a list")}) {
    ASSERT_TRUE(r.WriteBinary(settings::kWebTargetList, list));
    EXPECT_EQ(settings::Unreadable{"WebTargetList"}, settings::LoadStartupSettings().unreadable);
    ASSERT_EQ("", settings::WriteWebTargets(r, {}));
    std::vector<unsigned char> kept;
    ASSERT_TRUE(r.ReadBinary(settings::kWebTargetList, kept));
    EXPECT_EQ(list, kept);
  }
}

// The per-target form is read (a count above the most as the most) and, once
// the list is written, leaves no row behind; an unreadable value stays while
// its target keeps its address and goes with the first save that changes it.
TEST_F(RegistryTest, TheEarlierFormGoesOnceTheListStandsButForWhatItsTargetStillOwns) {
  CRegistry r;
  r.OpenKey(settings::kRoot, settings::kKeyPath, 0);
  WriteRows(r, "10", 10);
  std::vector<WebSettings> targets = settings::ReadWebTargets(r);
  ASSERT_EQ(8u, targets.size());
  EXPECT_EQ(8u, targets[7].id);
  EXPECT_EQ("PUT", targets[7].method);
  ASSERT_EQ("", settings::WriteWebTargets(r, targets));
  EXPECT_EQ(std::vector<std::string>{}, RowValues(r)) << "rows 9 and 10 too";
  EXPECT_FALSE(r.HasValue(settings::kWebTargetCount));
  EXPECT_EQ(8u, settings::ReadWebTargets(r).size());

  r.DeleteValue(settings::kWebTargetList);
  WriteRows(r, "2", 2);
  const std::vector<unsigned char> foreign{1, 2, 3, 4};
  r.WriteBinary("WebTarget1Headers", foreign);
  r.WriteBinary("WebTarget2Body", foreign);
  settings::Unreadable unreadable;
  targets = settings::ReadWebTargets(r, &unreadable);
  EXPECT_EQ((settings::Unreadable{"WebTarget1Headers", "WebTarget2Body"}), unreadable);
  targets[1].url = "https://elsewhere.example/";
  ASSERT_EQ("", settings::WriteWebTargets(r, targets));
  EXPECT_EQ((std::vector<std::string>{"WebTarget1Headers", "WebTarget1Url"}), RowValues(r))
      << "row 2's body is not carried to its new address";
  targets = settings::ReadWebTargets(r);
  ASSERT_EQ("", settings::WriteWebTargets(r, targets));
  EXPECT_EQ((std::vector<std::string>{"WebTarget1Headers", "WebTarget1Url"}), RowValues(r));
  ASSERT_EQ("", settings::WriteWebTargets(r, {targets[1], Web("https://row1.example/")}));
  EXPECT_EQ(std::vector<std::string>{}, RowValues(r)) << "a new target at row 1's address is another target";
}

// A list too long for its value is refused whole, with the reason: no target
// of it lands beside what was stored. The longest the editor can make fits.
TEST_F(RegistryTest, AListThatCannotBeWrittenLeavesTheEarlierOneExactly) {
  CRegistry r;
  r.OpenKey(settings::kRoot, settings::kKeyPath, 0);
  const WebSettings b{"https://b.example/", "GET", "", ""};
  ASSERT_EQ("", settings::WriteWebTargets(r, {{"https://a.example/?token=A", "POST", "X-A-Key: A", "{ip}"}, b}));
  const std::string before = settings::EncodeWebList({settings::ReadWebTargets(r)});
  const WebSettings c{"https://c.example/", "PUT",
                      "X-C-Key: C-SECRET\r\nX-Pad: " + std::string(settings::kLongestWebList, 'p'), ""};
  const std::string failure = settings::WriteWebTargets(r, {c, b});
  EXPECT_EQ(0u, failure.find("WebTargetList: ")) << failure;
  EXPECT_NE(std::string::npos, failure.find("(error 223)")) << failure;
  EXPECT_EQ(before, settings::EncodeWebList({settings::ReadWebTargets(r)})) << "every target, part and id";

  const std::string longest(settings::kLongestWebText, 'x');
  const std::vector<WebSettings> full(settings::kMostWebTargets,
                                      {"https://" + longest.substr(8), "PATCH", longest, longest});
  ASSERT_EQ("", settings::WriteWebTargets(r, full));
  const std::vector<WebSettings> back = settings::ReadWebTargets(r);
  ASSERT_EQ(full.size(), back.size());
  EXPECT_EQ(longest, back[7].body);
  EXPECT_EQ(10u, back[7].id) << "each new target an id of its own";
}
