// A console tool that drives a running Corvane.exe from outside, the way a
// person would: it finds the program's windows, reads and sets control texts,
// presses buttons, answers message boxes, sends system commands and the tray
// icon's callback, and prepares the program's registry key. The end-to-end
// driver runs one command per call (`wine harness.exe CMD ...`) with the
// output sent to a file.
//
// Exit codes: 0 done, 1 not found / timed out / failed, 2 bad usage.
//
// Window selectors (all among the top-level windows of the Corvane process):
//   main      the main window, by its title
//   settings  the settings dialog: an untitled dialog holding control 1006
//   about     the About box: an untitled dialog with an OK button and no 1006
//   box       a message box: a dialog titled with the program's name
//   popup     the taskbar popup
//   tray      the tray icon's hidden window
//   menu      an open popup menu
//   0xHWND    that window
#include <windows.h>
#include <tlhelp32.h>

#include <fcntl.h>
#include <io.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "fw/WindowClass.h"
#include "TrustedRoot.h"
#include "ui/WindowClassNames.h"

namespace {

constexpr char kExeName[] = "Corvane.exe";
constexpr char kMainTitle[] = "Corvane 2.1 by Orlimar";
constexpr char kBoxTitle[] = "Corvane";
constexpr char kMenuClass[] = "#32768";
constexpr char kRegistryKey[] = "Software\\Orlimar\\Corvane";
constexpr int kSettingsServerId = 1006;
constexpr UINT kTrayIconId = 131;  // the tray menu's resource id doubles as the icon's id
constexpr UINT kSendTimeoutMs = 3000;
constexpr int kMessageBoxTextId = 0xFFFF;

struct UsageError {
  std::string what;
};

// ---------------------------------------------------------------- output

// Bytes go out as they are: texts hold CR LF pairs the driver compares.
void Out(const std::string& text) { std::fwrite(text.data(), 1, text.size(), stdout); }
void Line(const std::string& text) { Out(text + "\n"); }

// Keeps one text on one line: %, CR, LF, tab and bytes outside printable
// ASCII become %XX.
std::string Escape(const std::string& text) {
  std::string out;
  for (unsigned char c : text) {
    if (c == '%' || c < 0x20 || c >= 0x7F) {
      char hex[4];
      std::snprintf(hex, sizeof hex, "%%%02X", c);
      out += hex;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

std::string Unescape(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && std::isxdigit(static_cast<unsigned char>(text[i + 1])) &&
        std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
      out += static_cast<char>(std::strtol(text.substr(i + 1, 2).c_str(), nullptr, 16));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

long Number(const std::string& text) {
  char* end = nullptr;
  const long value = std::strtol(text.c_str(), &end, 0);
  if (text.empty() || *end) throw UsageError{"not a number: " + text};
  return value;
}

// ---------------------------------------------------------------- process and windows

std::vector<DWORD> ProgramProcesses() {
  std::vector<DWORD> ids;
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return ids;
  PROCESSENTRY32 entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry))
    if (lstrcmpiA(entry.szExeFile, kExeName) == 0) ids.push_back(entry.th32ProcessID);
  CloseHandle(snapshot);
  return ids;
}

std::string ClassOf(HWND hwnd) {
  char name[256] = {};
  GetClassNameA(hwnd, name, sizeof name);
  return name;
}

// Top-level titles are stored by the system; reading them never waits for the program.
std::string TitleOf(HWND hwnd) {
  char title[512] = {};
  GetWindowTextA(hwnd, title, sizeof title);
  return title;
}

struct WindowSearch {
  std::vector<DWORD> processes;
  std::vector<HWND> found;
};

BOOL CALLBACK CollectProgramWindow(HWND hwnd, LPARAM param) {
  auto* search = reinterpret_cast<WindowSearch*>(param);
  DWORD pid = 0;
  GetWindowThreadProcessId(hwnd, &pid);
  for (DWORD id : search->processes)
    if (id == pid) search->found.push_back(hwnd);
  return TRUE;
}

std::vector<HWND> ProgramWindows() {
  WindowSearch search{ProgramProcesses(), {}};
  if (search.processes.empty()) return {};
  EnumWindows(CollectProgramWindow, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

bool IsDialog(HWND hwnd) { return ClassOf(hwnd) == fw::kDialogClass; }

bool Matches(HWND hwnd, const std::string& selector) {
  if (selector == "main") return IsDialog(hwnd) && TitleOf(hwnd) == kMainTitle;
  if (selector == "box") return IsDialog(hwnd) && TitleOf(hwnd) == kBoxTitle;
  if (selector == "settings")
    return IsDialog(hwnd) && TitleOf(hwnd).empty() && GetDlgItem(hwnd, kSettingsServerId) != nullptr;
  if (selector == "about")
    return IsDialog(hwnd) && TitleOf(hwnd).empty() && GetDlgItem(hwnd, kSettingsServerId) == nullptr &&
           GetDlgItem(hwnd, IDOK) != nullptr;
  if (selector == "popup") return ClassOf(hwnd) == ui::kPopupWindowClass;
  if (selector == "tray") return ClassOf(hwnd) == ui::kTrayWindowClass;
  if (selector == "menu") return ClassOf(hwnd) == kMenuClass && IsWindowVisible(hwnd);
  // Any other dialog by its caption: "title:Web Notification".
  if (selector.rfind("title:", 0) == 0) return IsDialog(hwnd) && TitleOf(hwnd) == selector.substr(6);
  throw UsageError{"unknown selector: " + selector};
}

// The matching window, preferring a visible one.
HWND Find(const std::string& selector) {
  if (selector.rfind("0x", 0) == 0) {
    HWND hwnd = reinterpret_cast<HWND>(static_cast<INT_PTR>(std::strtoul(selector.c_str(), nullptr, 16)));
    return IsWindow(hwnd) ? hwnd : nullptr;
  }
  HWND hidden = nullptr;
  for (HWND hwnd : ProgramWindows()) {
    if (!Matches(hwnd, selector)) continue;
    if (IsWindowVisible(hwnd)) return hwnd;
    if (!hidden) hidden = hwnd;
  }
  return hidden;
}

HWND FindOrFail(const std::string& selector) {
  HWND hwnd = Find(selector);
  if (!hwnd) throw std::string("no window: " + selector);
  return hwnd;
}

HWND Control(HWND parent, int id) {
  HWND control = GetDlgItem(parent, id);
  if (!control) throw std::string("no control " + std::to_string(id));
  return control;
}

// Edit controls keep their text themselves, so it has to be asked for; a
// program stuck in a modal loop must not hang the harness.
std::string ControlText(HWND control) {
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutA(control, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &length))
    throw std::string("the program does not answer WM_GETTEXTLENGTH");
  std::vector<char> buffer(length + 2, '\0');
  DWORD_PTR copied = 0;
  if (!SendMessageTimeoutA(control, WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(buffer.data()),
                           SMTO_ABORTIFHUNG, kSendTimeoutMs, &copied))
    throw std::string("the program does not answer WM_GETTEXT");
  return std::string(buffer.data(), copied);
}

std::string Describe(HWND hwnd) {
  RECT rc{};
  GetWindowRect(hwnd, &rc);
  char line[160];
  std::snprintf(
      line, sizeof line, "0x%lx %s %d %d %d %d %s 0x%lx ", static_cast<unsigned long>(reinterpret_cast<UINT_PTR>(hwnd)),
      IsWindowVisible(hwnd) ? "visible" : "hidden", static_cast<int>(rc.left), static_cast<int>(rc.top),
      static_cast<int>(rc.right - rc.left), static_cast<int>(rc.bottom - rc.top), IsIconic(hwnd) ? "iconic" : "normal",
      static_cast<unsigned long>(reinterpret_cast<UINT_PTR>(GetWindow(hwnd, GW_OWNER))));
  return line + Escape(ClassOf(hwnd)) + " " + Escape(TitleOf(hwnd));
}

bool WaitFor(const std::function<bool()>& condition, long timeoutMs) {
  const DWORD start = GetTickCount();
  for (;;) {
    if (condition()) return true;
    if (static_cast<long>(GetTickCount() - start) >= timeoutMs) return false;
    Sleep(10);
  }
}

std::vector<HWND> VisibleBoxes() {
  std::vector<HWND> boxes;
  for (HWND hwnd : ProgramWindows())
    if (IsWindowVisible(hwnd) && Matches(hwnd, "box")) boxes.push_back(hwnd);
  return boxes;
}

std::string BoxText(HWND box) {
  HWND text = GetDlgItem(box, kMessageBoxTextId);
  return text ? TitleOf(text) : std::string();
}

void Press(HWND dialog, int id) {
  HWND button = GetDlgItem(dialog, id);
  // Posted: the press may open a modal box, which would hold a sent message.
  PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button));
}

// ---------------------------------------------------------------- registry

HKEY OpenProgramKey(REGSAM access) {
  HKEY key = nullptr;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, kRegistryKey, 0, nullptr, 0, access, nullptr, &key, nullptr) != ERROR_SUCCESS)
    throw std::string("cannot open the registry key");
  return key;
}

// ---------------------------------------------------------------- commands

using Args = std::vector<std::string>;

void Need(const Args& args, size_t count, const char* usage) {
  if (args.size() != count) throw UsageError{usage};
}

int CmdPid(const Args& args) {
  Need(args, 0, "pid");
  const auto ids = ProgramProcesses();
  for (DWORD id : ids) Line(std::to_string(id));
  return ids.empty() ? 1 : 0;
}

int CmdList(const Args& args) {
  Need(args, 0, "list");
  for (HWND hwnd : ProgramWindows()) Line(Describe(hwnd));
  return 0;
}

int CmdInfo(const Args& args) {
  Need(args, 1, "info SELECTOR");
  Line(Describe(FindOrFail(args[0])));
  return 0;
}

int CmdWait(const Args& args) {
  Need(args, 2, "wait SELECTOR TIMEOUT_MS");
  HWND found = nullptr;
  const bool ok = WaitFor(
      [&] {
        found = Find(args[0]);
        return found && IsWindowVisible(found);
      },
      Number(args[1]));
  if (!ok) return 1;
  Line(Describe(found));
  return 0;
}

int CmdWaitGone(const Args& args) {
  Need(args, 2, "wait-gone SELECTOR TIMEOUT_MS");
  return WaitFor(
             [&] {
               HWND hwnd = Find(args[0]);
               return !hwnd || !IsWindowVisible(hwnd);
             },
             Number(args[1]))
             ? 0
             : 1;
}

int CmdWaitExit(const Args& args) {
  Need(args, 1, "wait-exit TIMEOUT_MS");
  return WaitFor([] { return ProgramProcesses().empty(); }, Number(args[0])) ? 0 : 1;
}

int CmdText(const Args& args) {
  Need(args, 2, "text SELECTOR ID");
  Out(ControlText(Control(FindOrFail(args[0]), static_cast<int>(Number(args[1])))));
  return 0;
}

BOOL CALLBACK PrintChild(HWND child, LPARAM) {
  Line(std::to_string(GetDlgCtrlID(child)) + " " + Escape(ClassOf(child)) + " " + Escape(TitleOf(child)));
  return TRUE;
}

// Every child with its id and stored text (statics and buttons keep theirs
// with the window).
int CmdTexts(const Args& args) {
  Need(args, 1, "texts SELECTOR");
  EnumChildWindows(FindOrFail(args[0]), PrintChild, 0);
  return 0;
}

int CmdSetText(const Args& args) {
  Need(args, 3, "set-text SELECTOR ID TEXT");
  HWND control = Control(FindOrFail(args[0]), static_cast<int>(Number(args[1])));
  const std::string text = Unescape(args[2]);
  DWORD_PTR result = 0;
  if (!SendMessageTimeoutA(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()), SMTO_ABORTIFHUNG,
                           kSendTimeoutMs, &result))
    throw std::string("the program does not answer WM_SETTEXT");
  return ControlText(control) == text ? 0 : 1;
}

int CmdClick(const Args& args) {
  Need(args, 2, "click SELECTOR ID");
  HWND dialog = FindOrFail(args[0]);
  Control(dialog, static_cast<int>(Number(args[1])));
  Press(dialog, static_cast<int>(Number(args[1])));
  return 0;
}

int CmdCommand(const Args& args) {
  Need(args, 2, "command SELECTOR ID");
  PostMessageA(FindOrFail(args[0]), WM_COMMAND, MAKEWPARAM(Number(args[1]), 0), 0);
  return 0;
}

// Posts any message, as the system would post it (a power broadcast, say).
int CmdPost(const Args& args) {
  Need(args, 4, "post SELECTOR MESSAGE WPARAM LPARAM");
  PostMessageA(FindOrFail(args[0]), static_cast<UINT>(Number(args[1])), static_cast<WPARAM>(Number(args[2])),
               static_cast<LPARAM>(Number(args[3])));
  return 0;
}

// Selects a list entry by position and tells the dialog, as a user's choice
// would; prints the text the combo box then shows.
int CmdSelect(const Args& args) {
  Need(args, 3, "select SELECTOR ID INDEX");
  HWND dialog = FindOrFail(args[0]);
  const int id = static_cast<int>(Number(args[1]));
  HWND combo = Control(dialog, id);
  DWORD_PTR result = 0;
  if (!SendMessageTimeoutA(combo, CB_SETCURSEL, Number(args[2]), 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &result))
    throw std::string("the program does not answer CB_SETCURSEL");
  if (static_cast<LRESULT>(result) == CB_ERR) throw std::string("no such entry");
  PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE), reinterpret_cast<LPARAM>(combo));
  Line(ControlText(combo));
  return 0;
}

int CmdSelection(const Args& args) {
  Need(args, 2, "selection SELECTOR ID");
  HWND combo = Control(FindOrFail(args[0]), static_cast<int>(Number(args[1])));
  DWORD_PTR index = 0;
  if (!SendMessageTimeoutA(combo, CB_GETCURSEL, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &index))
    throw std::string("the program does not answer CB_GETCURSEL");
  Line(std::to_string(static_cast<int>(index)) + " " + Escape(ControlText(combo)));
  return 0;
}

int CmdBoxes(const Args& args) {
  Need(args, 0, "boxes");
  for (HWND box : VisibleBoxes()) Line(Escape(TitleOf(box)) + "\t" + Escape(BoxText(box)));
  return 0;
}

int CmdWaitBox(const Args& args) {
  Need(args, 1, "wait-box TIMEOUT_MS");
  std::vector<HWND> boxes;
  if (!WaitFor([&] { return !(boxes = VisibleBoxes()).empty(); }, Number(args[0]))) return 1;
  Line(Escape(BoxText(boxes.front())));
  return 0;
}

// Presses a button of the first open box (OK unless told) and waits for the
// box to go; prints the box's text.
int CmdAnswerBox(const Args& args) {
  if (args.size() > 1) throw UsageError{"answer-box [BUTTON_ID]"};
  const auto boxes = VisibleBoxes();
  if (boxes.empty()) throw std::string("no message box");
  HWND box = boxes.front();
  Line(Escape(BoxText(box)));
  Press(box, args.empty() ? IDOK : static_cast<int>(Number(args[0])));
  return WaitFor([&] { return !IsWindow(box) || !IsWindowVisible(box); }, 5000) ? 0 : 1;
}

int CmdSysCommand(const Args& args) {
  Need(args, 2, "syscommand SELECTOR minimize|restore|close|NUMBER");
  static const struct {
    const char* name;
    WPARAM command;
  } kNamed[] = {{"minimize", SC_MINIMIZE}, {"restore", SC_RESTORE}, {"close", SC_CLOSE}};
  WPARAM command = 0;
  bool named = false;
  for (const auto& n : kNamed)
    if (args[1] == n.name) command = n.command, named = true;
  if (!named) command = static_cast<WPARAM>(Number(args[1]));
  // Posted: About opens a modal box inside the handler.
  PostMessageA(FindOrFail(args[0]), WM_SYSCOMMAND, command, 0);
  return 0;
}

int CmdTray(const Args& args) {
  Need(args, 1, "tray dblclick|rclick");
  LPARAM mouse = 0;
  if (args[0] == "dblclick")
    mouse = WM_LBUTTONDBLCLK;
  else if (args[0] == "rclick")
    mouse = WM_RBUTTONUP;
  else
    throw UsageError{"tray dblclick|rclick"};
  // Posted like the shell's own callback; the right click opens a menu loop.
  PostMessageA(FindOrFail("tray"), RegisterWindowMessageA("MY_MSG"), kTrayIconId, mouse);
  return 0;
}

// Where an item sits in the tray menu, read from the program's own resources:
// the menu it shows is loaded from there, and another process's menu handle
// cannot be read from here.
int TrayMenuPosition(UINT id) {
  const auto processes = ProgramProcesses();
  if (processes.empty()) throw std::string("the program is not running");
  HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processes.front());
  char path[MAX_PATH] = {};
  DWORD length = MAX_PATH;
  const BOOL named = process && QueryFullProcessImageNameA(process, 0, path, &length);
  if (process) CloseHandle(process);
  if (!named) throw std::string("cannot find the program's file");
  HMODULE image = LoadLibraryExA(path, nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (!image) throw std::string("cannot read the program's resources");
  HMENU menu = LoadMenuA(image, MAKEINTRESOURCEA(kTrayIconId));
  int position = -1;
  if (HMENU popup = menu ? GetSubMenu(menu, 0) : nullptr) {
    for (int i = 0, count = GetMenuItemCount(popup); i < count; ++i)
      if (GetMenuItemID(popup, i) == id) position = i;
  }
  if (menu) DestroyMenu(menu);
  FreeLibrary(image);
  if (position < 0) throw std::string("the tray menu has no item " + std::to_string(id));
  return position;
}

void PostKey(HWND hwnd, WPARAM key) {
  PostMessageA(hwnd, WM_KEYDOWN, key, 1);
  PostMessageA(hwnd, WM_KEYUP, key, 0xC0000001);
}

// Chooses an item of the open tray menu with the keyboard, as the menu loop
// expects input: down to the item (nothing is selected at first), then Enter.
// "menu-choose cancel" closes the menu.
int CmdMenuChoose(const Args& args) {
  Need(args, 1, "menu-choose ID|cancel");
  HWND menuWindow = nullptr;
  if (!WaitFor([&] { return (menuWindow = Find("menu")) != nullptr; }, 5000)) throw std::string("no open menu");
  if (args[0] == "cancel") {
    PostKey(menuWindow, VK_ESCAPE);
    return 0;
  }
  const int position = TrayMenuPosition(static_cast<UINT>(Number(args[0])));
  for (int i = 0; i <= position; ++i) PostKey(menuWindow, VK_DOWN);
  PostKey(menuWindow, VK_RETURN);
  return 0;
}

int CmdWorkArea(const Args& args) {
  Need(args, 0, "workarea");
  RECT rc{};
  SystemParametersInfoA(SPI_GETWORKAREA, 0, &rc, 0);
  Line(std::to_string(rc.left) + " " + std::to_string(rc.top) + " " + std::to_string(rc.right) + " " +
       std::to_string(rc.bottom));
  return 0;
}

// Samples the window's rectangle for a while: the popup's slide, seen from outside.
int CmdTrack(const Args& args) {
  Need(args, 3, "track SELECTOR DURATION_MS INTERVAL_MS");
  const DWORD start = GetTickCount();
  const long duration = Number(args[1]);
  const DWORD interval = static_cast<DWORD>(Number(args[2]));
  while (static_cast<long>(GetTickCount() - start) < duration) {
    HWND hwnd = Find(args[0]);
    Line(std::to_string(GetTickCount() - start) + " " + (hwnd ? Describe(hwnd) : std::string("none")));
    Sleep(interval);
  }
  return 0;
}

// reg-reset [NAME=VALUE ...]: the program's key emptied, then these REG_SZ
// values written (values may carry %XX bytes).
int CmdRegReset(const Args& args) {
  RegDeleteTreeA(HKEY_CURRENT_USER, kRegistryKey);
  HKEY key = OpenProgramKey(KEY_SET_VALUE);
  int status = 0;
  for (const std::string& arg : args) {
    const size_t eq = arg.find('=');
    if (eq == std::string::npos) {
      RegCloseKey(key);
      throw UsageError{"reg-reset NAME=VALUE..."};
    }
    const std::string value = Unescape(arg.substr(eq + 1));
    if (RegSetValueExA(key, arg.substr(0, eq).c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>(value.size() + 1)) != ERROR_SUCCESS)
      status = 1;
  }
  RegCloseKey(key);
  return status;
}

// trust-ca FILE: the PEM authority in FILE becomes a trusted root of the
// machine, so the https pages the proxy peer stands in for are believed.
int CmdTrustCa(const Args& args) {
  Need(args, 1, "trust-ca FILE");
  std::string pem;
  if (FILE* f = std::fopen(args[0].c_str(), "rb")) {
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, f)) > 0;) pem.append(buffer, n);
    std::fclose(f);
  }
  test_authority::RootEntry authority(pem);
  authority.Keep();
  return authority.Error().empty() ? 0 : 1;
}

int CmdRegDelete(const Args& args) {
  Need(args, 0, "reg-delete");
  const LSTATUS status = RegDeleteTreeA(HKEY_CURRENT_USER, kRegistryKey);
  return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND ? 0 : 1;
}

// Every value of the key as NAME=VALUE (escaped), REG_SZ ones only.
int CmdRegDump(const Args& args) {
  Need(args, 0, "reg-dump");
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, kRegistryKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return 1;
  for (DWORD i = 0;; ++i) {
    char name[256];
    DWORD nameLength = sizeof name;
    BYTE data[4096];
    DWORD dataLength = sizeof data - 1;
    DWORD type = 0;
    if (RegEnumValueA(key, i, name, &nameLength, nullptr, &type, data, &dataLength) != ERROR_SUCCESS) break;
    if (type != REG_SZ) continue;
    std::string value(reinterpret_cast<char*>(data), dataLength);
    if (!value.empty() && value.back() == '\0') value.pop_back();
    Line(std::string(name, nameLength) + "=" + Escape(value));
  }
  RegCloseKey(key);
  return 0;
}

int Run(const std::string& command, const Args& args) {
  static const struct {
    const char* name;
    int (*run)(const Args&);
  } kCommands[] = {
      {"pid", CmdPid},
      {"list", CmdList},
      {"info", CmdInfo},
      {"wait", CmdWait},
      {"wait-gone", CmdWaitGone},
      {"wait-exit", CmdWaitExit},
      {"text", CmdText},
      {"texts", CmdTexts},
      {"set-text", CmdSetText},
      {"click", CmdClick},
      {"command", CmdCommand},
      {"post", CmdPost},
      {"select", CmdSelect},
      {"selection", CmdSelection},
      {"boxes", CmdBoxes},
      {"wait-box", CmdWaitBox},
      {"answer-box", CmdAnswerBox},
      {"syscommand", CmdSysCommand},
      {"tray", CmdTray},
      {"menu-choose", CmdMenuChoose},
      {"workarea", CmdWorkArea},
      {"track", CmdTrack},
      {"reg-reset", CmdRegReset},
      {"reg-delete", CmdRegDelete},
      {"reg-dump", CmdRegDump},
      {"trust-ca", CmdTrustCa},
  };
  for (const auto& c : kCommands)
    if (command == c.name) return c.run(args);
  throw UsageError{"unknown command: " + command};
}

}  // namespace

int main(int argc, char** argv) {
  _setmode(_fileno(stdout), _O_BINARY);
  if (argc < 2) {
    std::fprintf(stderr, "usage: harness COMMAND [ARGS...]\n");
    return 2;
  }
  try {
    const int status = Run(argv[1], Args(argv + 2, argv + argc));
    std::fflush(stdout);
    return status;
  } catch (const UsageError& e) {
    std::fprintf(stderr, "usage: harness %s\n", e.what.c_str());
    return 2;
  } catch (const std::string& failure) {
    std::fflush(stdout);
    std::fprintf(stderr, "harness: %s\n", failure.c_str());
    return 1;
  }
}
