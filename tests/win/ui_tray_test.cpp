// The tray icon under Wine: the real notification area (Wine's shell answers
// Shell_NotifyIcon), a real owner window and real popup menus.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "fw/Handles.h"
#include "ui/TrayIcon.h"

namespace {

constexpr UINT kIconResource = 128;
constexpr UINT kMenuId = 131;
constexpr UINT kMissingMenuId = 999;
constexpr UINT kRestoreCommand = 32771;
constexpr UINT kExitCommand = 32772;
constexpr UINT kHistoryCommand = 32773;

struct Arrival {
  UINT message;
  WPARAM wParam;
  bool operator==(const Arrival&) const = default;
};

// Stands where the main window would: records the requests the icon makes
// and the menus opened for it, and can act once a menu waits for input.
class Owner : public CWnd {
 public:
  Owner() { CreateEx(0, "CorvaneTrayTestOwner", "owner", WS_POPUP, 40, 40, 60, 60, nullptr, nullptr); }
  ~Owner() override { DestroyWindow(); }

  std::vector<Arrival> arrivals;  // WM_SYSCOMMAND, WM_COMMAND, WM_NULL
  std::vector<UINT> menuItems;    // ids of the last popup menu opened
  std::function<void(HWND menuWindow)> onMenuIdle;

 protected:
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
    switch (message) {
      case WM_SYSCOMMAND:
      case WM_COMMAND:
      case WM_NULL:
        arrivals.push_back({message, wParam});
        return 0;
      case WM_INITMENUPOPUP: {
        HMENU menu = reinterpret_cast<HMENU>(wParam);
        menuItems.clear();
        for (int i = 0; i < GetMenuItemCount(menu); ++i) menuItems.push_back(GetMenuItemID(menu, i));
        break;
      }
      case WM_ENTERIDLE:
        if (wParam == MSGF_MENU && onMenuIdle) {
          auto act = std::move(onMenuIdle);
          onMenuIdle = nullptr;
          act(reinterpret_cast<HWND>(lParam));
        }
        return 0;
    }
    return CWnd::WindowProc(message, wParam, lParam);
  }
};

HICON TestIcon() { return LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(kIconResource)); }

// Delivers everything posted so far on this thread.
void Drain() {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}

// Whether the notification area knows an icon by this window and id.
bool IconPresent(HWND hwnd, UINT id) {
  NOTIFYICONDATAA probe{};
  probe.cbSize = NOTIFYICONDATAA_V2_SIZE;
  probe.hWnd = hwnd;
  probe.uID = id;
  return Shell_NotifyIconA(NIM_MODIFY, &probe) != FALSE;
}

// What the shell sends the icon's window when the user acts on the icon.
void IconEvent(const CTrayIcon& tray, UINT mouseMessage) {
  SendMessageA(tray.GetSafeHwnd(), tray.CallbackMessage(), tray.IconData().uID, mouseMessage);
}

// If a menu never reports idle, closing it after a while keeps a broken
// build from hanging the run.
void CALLBACK CloseStuckMenu(HWND, UINT, UINT_PTR, DWORD) { EndMenu(); }

class MenuWatchdog {
 public:
  MenuWatchdog() : m_timer(SetTimer(nullptr, 0, 3000, CloseStuckMenu)) {}
  ~MenuWatchdog() { KillTimer(nullptr, m_timer); }

 private:
  UINT_PTR m_timer;
};

// An icon whose storage is poisoned rather than freed when it is deleted: any
// later touch of the object reads a wild vtable and wild pointers and
// crashes at once, whatever the heap does with freed blocks.
class PoisonedTrayIcon : public CTrayIcon {
 public:
  using CTrayIcon::CTrayIcon;
  static void* operator new(std::size_t size) {
    if (size > sizeof storage) throw std::bad_alloc();
    return storage;
  }
  static void operator delete(void* object, std::size_t size) { std::memset(object, 0xDD, size); }

 private:
  alignas(std::max_align_t) static inline unsigned char storage[sizeof(CTrayIcon) + 64];
};

// --- Lifetime -------------------------------------------------------------------

TEST(TrayLifetime, IconAndHiddenWindowLiveExactlyAsLongAsTheObject) {
  Owner owner;
  auto tray = std::make_unique<CTrayIcon>(&owner, TestIcon(), "Corvane by Orlimar", kMenuId);
  const HWND hidden = tray->GetSafeHwnd();
  ASSERT_TRUE(IsWindow(hidden));
  EXPECT_FALSE(IsWindowVisible(hidden));
  EXPECT_EQ(488u, tray->IconData().cbSize) << "the record with balloon fields, not MinGW's newest";
  EXPECT_TRUE(IconPresent(hidden, kMenuId));

  tray.reset();
  EXPECT_FALSE(IsWindow(hidden));
  EXPECT_FALSE(IconPresent(hidden, kMenuId));
}

TEST(TrayLifetime, TaskbarCreatedAddsTheIconAgain) {
  Owner owner;
  CTrayIcon tray(&owner, TestIcon(), "tip", kMenuId);
  // As after a shell restart: the notification area has forgotten the icon.
  NOTIFYICONDATAA lost = tray.IconData();
  ASSERT_TRUE(Shell_NotifyIconA(NIM_DELETE, &lost));
  ASSERT_FALSE(IconPresent(tray.GetSafeHwnd(), kMenuId));

  SendMessageA(tray.GetSafeHwnd(), RegisterWindowMessageA("TaskbarCreated"), 0, 0);
  EXPECT_TRUE(IconPresent(tray.GetSafeHwnd(), kMenuId));
}

TEST(TrayTooltip, LongTextIsCutTo127CharactersAndShortTextKept) {
  Owner owner;
  const std::string longTip(200, 'x');
  CTrayIcon cut(&owner, TestIcon(), longTip, kMenuId);
  EXPECT_EQ(longTip.substr(0, 127), std::string(cut.IconData().szTip));

  std::string exact(127, 'a');
  exact.back() = 'z';
  CTrayIcon fits(&owner, TestIcon(), exact, kMenuId + 1);
  EXPECT_EQ(exact, std::string(fits.IconData().szTip));
}

// --- Mouse on the icon -------------------------------------------------------------

TEST(TrayMouse, DoubleClickAsksTheOwnerToRestore) {
  Owner owner;
  CTrayIcon tray(&owner, TestIcon(), "tip", kMenuId);
  IconEvent(tray, WM_LBUTTONDBLCLK);
  Drain();
  EXPECT_EQ((std::vector<Arrival>{{WM_SYSCOMMAND, SC_RESTORE}}), owner.arrivals);
}

TEST(TrayMouse, OtherMouseCodesAndOtherMessagesDoNothing) {
  Owner owner;
  CTrayIcon tray(&owner, TestIcon(), "tip", kMenuId);
  MenuWatchdog watchdog;
  for (UINT code : {WM_LBUTTONDOWN, WM_LBUTTONUP, WM_RBUTTONDOWN, WM_MOUSEMOVE, WM_MBUTTONUP}) IconEvent(tray, code);
  // The same mouse codes under a message other than the icon's callback.
  for (UINT code : {WM_LBUTTONDBLCLK, WM_RBUTTONUP})
    SendMessageA(tray.GetSafeHwnd(), WM_APP + 7, tray.IconData().uID, code);
  Drain();
  EXPECT_TRUE(owner.arrivals.empty());
  EXPECT_TRUE(owner.menuItems.empty());
}

// --- The popup menu --------------------------------------------------------------------

TEST(TrayMenu, RightButtonReleaseOpensTheMenuAndDismissingSendsOnlyWmNull) {
  const int menusAtStart = win::LiveHandles(win::HandleKind::Menu);
  Owner owner;
  CTrayIcon tray(&owner, TestIcon(), "tip", kMenuId);
  MenuWatchdog watchdog;
  bool opened = false;
  owner.onMenuIdle = [&](HWND) {
    opened = true;
    EXPECT_EQ(menusAtStart + 1, win::LiveHandles(win::HandleKind::Menu));
    EndMenu();
  };
  IconEvent(tray, WM_RBUTTONUP);
  Drain();
  EXPECT_TRUE(opened);
  EXPECT_EQ((std::vector<UINT>{kRestoreCommand, kHistoryCommand, kExitCommand}), owner.menuItems);
  EXPECT_EQ((std::vector<Arrival>{{WM_NULL, 0}}), owner.arrivals);
  EXPECT_EQ(menusAtStart, win::LiveHandles(win::HandleKind::Menu));
}

TEST(TrayMenu, ChosenCommandsReachTheOwnerBeforeWmNull) {
  const int menusAtStart = win::LiveHandles(win::HandleKind::Menu);
  Owner owner;
  CTrayIcon tray(&owner, TestIcon(), "tip", kMenuId);
  MenuWatchdog watchdog;
  for (auto [downs, command] :
       {std::pair{1, kRestoreCommand}, std::pair{2, kHistoryCommand}, std::pair{3, kExitCommand}}) {
    SCOPED_TRACE(command);
    owner.arrivals.clear();
    owner.onMenuIdle = [downs](HWND menuWindow) {
      for (int i = 0; i < downs; ++i) PostMessageA(menuWindow, WM_KEYDOWN, VK_DOWN, 0);
      PostMessageA(menuWindow, WM_KEYDOWN, VK_RETURN, 0);
    };
    IconEvent(tray, WM_RBUTTONUP);
    Drain();
    EXPECT_EQ((std::vector<Arrival>{{WM_COMMAND, command}, {WM_NULL, 0}}), owner.arrivals);
  }
  EXPECT_EQ(menusAtStart, win::LiveHandles(win::HandleKind::Menu));
}

// A second start's hand-over, or Exit, deletes the icon while its menu is
// open: the menu's return must find nothing of the icon to touch.
TEST(TrayMenu, IconDeletedWhileItsMenuIsOpenIsNotTouchedAgain) {
  const int menusAtStart = win::LiveHandles(win::HandleKind::Menu);
  Owner owner;
  std::unique_ptr<CTrayIcon> tray = std::make_unique<PoisonedTrayIcon>(&owner, TestIcon(), "tip", kMenuId);
  const HWND hidden = tray->GetSafeHwnd();
  const UINT callback = tray->CallbackMessage();
  MenuWatchdog watchdog;
  owner.onMenuIdle = [&](HWND) {
    tray.reset();
    EndMenu();
  };
  SendMessageA(hidden, callback, kMenuId, WM_RBUTTONUP);
  Drain();
  EXPECT_FALSE(IsWindow(hidden));
  EXPECT_FALSE(IconPresent(hidden, kMenuId));
  EXPECT_EQ((std::vector<Arrival>{{WM_NULL, 0}}), owner.arrivals) << "the menu still goes away cleanly";
  EXPECT_EQ(menusAtStart, win::LiveHandles(win::HandleKind::Menu));
}

TEST(TrayMenu, IdWithoutAMenuResourceOpensNothing) {
  const int menusAtStart = win::LiveHandles(win::HandleKind::Menu);
  Owner owner;
  CTrayIcon tray(&owner, TestIcon(), "tip", kMissingMenuId);
  MenuWatchdog watchdog;
  IconEvent(tray, WM_RBUTTONUP);
  Drain();
  EXPECT_TRUE(owner.menuItems.empty());
  EXPECT_TRUE(owner.arrivals.empty());
  EXPECT_EQ(menusAtStart, win::LiveHandles(win::HandleKind::Menu));
}

}  // namespace
