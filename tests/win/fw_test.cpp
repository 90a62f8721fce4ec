// The framework under Wine: dialogs from templates, data exchange both ways,
// and the catch around every handler with the boxes it shows.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <new>
#include <stdexcept>
#include <thread>
#include <vector>

#include "base/SystemError.h"
#include "fw/BackgroundCall.h"
#include "fw/Dialog.h"
#include "fw/Exceptions.h"
#include "fw/Handles.h"
#include "fw/MessageMap.h"
#include "fw/ThreadCall.h"
#include "fw_test_ids.h"
#include "UiDriver.h"

namespace {

using ui_driver::Click;
using ui_driver::DialogScripts;
using ui_driver::MessageBoxes;

class TestDialog : public CDialog {
 public:
  TestDialog() : CDialog(IDD_FW_TEST) {}
  std::string m_text = "hello";
  std::function<void()> onThrowButton;
  std::function<void()> onInit;
  std::function<void()> onTimer;
  bool ranAfterThrow = false;

 protected:
  void DoDataExchange(CDataExchange* pDX) override { DDX_Text(pDX, IDC_FW_EDIT, m_text); }
  BOOL OnInitDialog() override {
    CDialog::OnInitDialog();
    if (onInit) onInit();
    return TRUE;
  }
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
    if (message == WM_TIMER && onTimer) onTimer();
    return CDialog::WindowProc(message, wParam, lParam);
  }
  BOOL OnCommand(UINT id, UINT code, HWND control) override {
    if (id == IDC_FW_THROW) {
      onThrowButton();
      ranAfterThrow = true;
      return TRUE;
    }
    return CDialog::OnCommand(id, code, control);
  }
};

// Runs the dialog, raises `thrower` from its button once, and returns the boxes shown.
std::vector<MessageBoxRecord> BoxesFor(std::function<void()> thrower, bool asMenuCommand = false) {
  MessageBoxes boxes;
  DialogScripts scripts;
  TestDialog dialog;
  dialog.onThrowButton = std::move(thrower);
  scripts.Then([&](HWND hwnd) {
    if (asMenuCommand)
      SendMessageA(hwnd, WM_COMMAND, MAKEWPARAM(IDC_FW_THROW, 0), 0);
    else
      Click(hwnd, IDC_FW_THROW);
    EXPECT_TRUE(IsWindow(hwnd)) << "a failed handler must not end the dialog";
    EndDialog(hwnd, IDCANCEL);
  });
  dialog.DoModal();
  EXPECT_FALSE(dialog.ranAfterThrow) << "the rest of a failed handler must not run";
  return boxes.records;
}

TEST(DataExchange, MembersReachTheFieldsAndComeBackOnOk) {
  DialogScripts scripts;
  TestDialog dialog;
  std::string shown;
  scripts.Then([&](HWND hwnd) {
    shown = ui_driver::Text(hwnd, IDC_FW_EDIT);
    ui_driver::SetText(hwnd, IDC_FW_EDIT, "typed \xE9t\xE9");
    Click(hwnd, IDOK);
  });
  EXPECT_EQ(IDOK, dialog.DoModal());
  EXPECT_EQ("hello", shown);
  EXPECT_EQ("typed \xE9t\xE9", dialog.m_text);
}

TEST(DataExchange, CancelLeavesTheMembers) {
  DialogScripts scripts;
  TestDialog dialog;
  scripts.Then([&](HWND hwnd) {
    ui_driver::SetText(hwnd, IDC_FW_EDIT, "discarded");
    Click(hwnd, IDCANCEL);
  });
  EXPECT_EQ(IDCANCEL, dialog.DoModal());
  EXPECT_EQ("hello", dialog.m_text);
}

TEST(HandlerCatch, DispatchExceptionShowsItsDescriptionWithStopIcon) {
  const auto boxes = BoxesFor([] { throw CDispatchException("cannot connect to mail.example.net, port 25"); });
  ASSERT_EQ(1u, boxes.size());
  EXPECT_EQ("cannot connect to mail.example.net, port 25", boxes[0].text);
  EXPECT_EQ(static_cast<UINT>(MB_ICONSTOP), boxes[0].type & MB_ICONMASK);
  EXPECT_EQ("fw_test", boxes[0].title) << "boxes carry the executable's name without extension";
}

TEST(HandlerCatch, ExceptionsWithoutTextGetTheGenericTexts) {
  auto fromControl = BoxesFor([] { throw CDispatchException(""); });
  ASSERT_EQ(1u, fromControl.size());
  EXPECT_EQ("Internal application error.", fromControl[0].text);

  auto fromMenu = BoxesFor([] { throw CDispatchException(""); }, /*asMenuCommand=*/true);
  ASSERT_EQ(1u, fromMenu.size());
  EXPECT_EQ("Command failed.", fromMenu[0].text);
  EXPECT_EQ(static_cast<UINT>(MB_ICONSTOP), fromMenu[0].type & MB_ICONMASK);
}

TEST(HandlerCatch, OleExceptionShowsTheSystemTextForItsCode) {
  const auto boxes = BoxesFor([] { throw COleException(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)); });
  ASSERT_EQ(1u, boxes.size());
  EXPECT_NE(std::string::npos, boxes[0].text.find("ound")) << boxes[0].text;
  EXPECT_NE("Internal application error.", boxes[0].text);
  EXPECT_NE(std::string::npos, boxes[0].text.find(" (error 0x80070002)")) << boxes[0].text;
}

TEST(SystemErrorText, AlwaysCarriesTheCode) {
  const std::string found = win::SystemErrorText(ERROR_FILE_NOT_FOUND);
  const std::string code = " (error 2)";
  ASSERT_GT(found.size(), code.size()) << "words come before the code";
  EXPECT_EQ(code, found.substr(found.size() - code.size())) << found;
  constexpr DWORD kNoWords = 0x2000FFFF;  // an application's own code: the system has no text for it
  EXPECT_EQ("the transfer failed (error 536936447)", win::SystemErrorText(kNoWords, "the transfer failed"));
  EXPECT_EQ("", win::SystemErrorText(kNoWords)) << "the caller keeps its own text for this case";
}

TEST(HandlerCatch, MemoryExceptionsAreSystemModalWithExclamation) {
  for (auto thrower : {std::function<void()>([] { throw CMemoryException(); }),
                       std::function<void()>([] { throw std::bad_alloc(); })}) {
    const auto boxes = BoxesFor(thrower);
    ASSERT_EQ(1u, boxes.size());
    EXPECT_EQ(static_cast<UINT>(MB_ICONEXCLAMATION), boxes[0].type & MB_ICONMASK);
    EXPECT_TRUE(boxes[0].type & MB_SYSTEMMODAL);
  }
}

// Behind an open box, unattended work raises no second box (a tick that
// fails again); what the user pressed meanwhile always gets its answer.
TEST(HandlerCatch, BehindAnOpenBoxOnlyWhatTheUserPressedIsAnswered) {
  MessageBoxes boxes;
  DialogScripts scripts;
  TestDialog dialog;
  dialog.onTimer = [] { throw CDispatchException("a tick failed"); };
  dialog.onThrowButton = [] { throw CDispatchException("the test mail failed"); };
  HWND hwnd = nullptr;
  boxes.answer = [&](const MessageBoxRecord&) {
    if (boxes.records.size() == 1) {
      SendMessageA(hwnd, WM_TIMER, 1, 0);
      Click(hwnd, IDC_FW_THROW);
    }
    return IDOK;
  };
  scripts.Then([&](HWND h) {
    hwnd = h;
    SendMessageA(h, WM_TIMER, 1, 0);
    EndDialog(h, IDCANCEL);
  });
  dialog.DoModal();
  EXPECT_EQ((std::vector<std::string>{"a tick failed", "the test mail failed"}), boxes.Texts());
}

TEST(HandlerCatch, UserCancelIsNotShown) {
  EXPECT_TRUE(BoxesFor([] { throw CUserException(); }).empty());
}

TEST(HandlerCatch, FailureInInitialisationIsReportedAndTheDialogStillOpens) {
  MessageBoxes boxes;
  DialogScripts scripts;
  TestDialog dialog;
  dialog.onInit = [] { throw CDispatchException("first check failed"); };
  bool opened = false;
  scripts.Then([&](HWND hwnd) {
    opened = true;
    EndDialog(hwnd, IDCANCEL);
  });
  dialog.DoModal();
  EXPECT_TRUE(opened);
  ASSERT_EQ(1u, boxes.records.size());
  EXPECT_EQ("first check failed", boxes.records[0].text);
}

LRESULT CALLBACK RefuseCreation(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_CREATE) return -1;
  return DefWindowProcA(hwnd, message, wParam, lParam);
}

// Default processing gets the message as it arrived, once, whether a handler
// leaves the message to it or asks for its answer first.
TEST(Routing, DefaultProcessingGetsTheOriginalMessageOnceWhenAHandlerAsks) {
  struct Base : CWnd {
    std::vector<std::pair<WPARAM, LPARAM>> seen;
    LRESULT WindowProc(UINT, WPARAM wParam, LPARAM lParam) override {
      seen.emplace_back(wParam, lParam);
      return 7;
    }
  };
  struct Routed : Base {
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
      using T = Routed;
      const fw::Route<T> routes[] = {
          {WM_APP + 1, [](T& w, WPARAM, LPARAM) -> LRESULT { return w.SetMsgHandled(FALSE), 99; }},
          {WM_APP + 2, [](T& w, WPARAM, LPARAM) -> LRESULT { return w.DefaultProcessing() + w.DefaultProcessing(); }},
          {WM_APP + 3,
           [](T& w, WPARAM, LPARAM) -> LRESULT { return w.DefaultProcessing(), w.SetMsgHandled(FALSE), 0; }},
          {WM_APP + 4, [](T&, WPARAM, LPARAM) -> LRESULT { return 42; }},
      };
      return fw::Dispatch(*this, routes, message, wParam, lParam,
                          [&] { return Base::WindowProc(message, wParam, lParam); });
    }
  } window;
  EXPECT_EQ(7, window.WindowProc(WM_APP + 1, 11, 12)) << "left to default processing, its answer stands";
  EXPECT_EQ(14, window.WindowProc(WM_APP + 2, 21, 22)) << "asked twice, run once";
  EXPECT_EQ(7, window.WindowProc(WM_APP + 3, 31, 32));
  EXPECT_EQ(42, window.WindowProc(WM_APP + 4, 41, 42)) << "handled alone";
  EXPECT_EQ(7, window.WindowProc(WM_APP + 5, 51, 52)) << "not in the table";
  const std::vector<std::pair<WPARAM, LPARAM>> expected{{11, 12}, {21, 22}, {31, 32}, {51, 52}};
  EXPECT_EQ(expected, window.seen);
}

// A command goes to the entry for its id (and code, when the entry names
// one); the commands no entry takes go on to default processing.
TEST(Routing, CommandsReachTheEntryForTheirIdAndNotificationCode) {
  static constexpr UINT kApply = 1001, kList = 1002, kOther = 1003;
  struct Base : CWnd {
    std::vector<WPARAM> unrouted;
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM) override {
      if (message == WM_COMMAND) unrouted.push_back(wParam);
      return 0;
    }
  };
  struct Routed : Base {
    std::vector<UINT> ran;
    void OnApply() { ran.push_back(kApply); }
    void OnListDoubleClick() { ran.push_back(kList); }
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
      using T = Routed;
      const fw::Route<T> routes[] = {
          fw::OnCommandId<T, &T::OnApply>(kApply),
          fw::OnCommandId<T, &T::OnListDoubleClick>(kList, LBN_DBLCLK),
      };
      return fw::Dispatch(*this, routes, message, wParam, lParam,
                          [&] { return Base::WindowProc(message, wParam, lParam); });
    }
  } window;
  for (WPARAM command :
       {MAKEWPARAM(kApply, BN_CLICKED), MAKEWPARAM(kApply, 1) /* an accelerator */, MAKEWPARAM(kList, LBN_SELCHANGE),
        MAKEWPARAM(kList, LBN_DBLCLK), MAKEWPARAM(kOther, BN_CLICKED)})
    window.WindowProc(WM_COMMAND, command, 0);
  window.WindowProc(WM_TIMER, kApply, 0);
  EXPECT_EQ((std::vector<UINT>{kApply, kApply, kList}), window.ran);
  EXPECT_EQ((std::vector<WPARAM>{MAKEWPARAM(kList, LBN_SELCHANGE), MAKEWPARAM(kOther, BN_CLICKED)}), window.unrouted);
}

// A handler that destroys its own window leaves nothing to default to, and
// its answer stands.
TEST(Routing, AWindowDestroyedByItsOwnHandlerGetsNoDefaultProcessing) {
  struct Base : CWnd {
    std::vector<UINT> seen;
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
      if (message >= WM_APP) seen.push_back(message);
      return CWnd::WindowProc(message, wParam, lParam);
    }
  };
  struct Routed : Base {
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
      using T = Routed;
      const fw::Route<T> routes[] = {
          {WM_APP + 1,
           [](T& w, WPARAM, LPARAM) -> LRESULT {
             w.DestroyWindow();
             w.SetMsgHandled(FALSE);
             return w.DefaultProcessing() + 5;
           }},
      };
      return fw::Dispatch(*this, routes, message, wParam, lParam,
                          [&] { return Base::WindowProc(message, wParam, lParam); });
    }
  } window;
  ASSERT_TRUE(window.CreateEx(0, "CorvaneTestSelfDestroying", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr));
  const HWND hwnd = window.GetSafeHwnd();
  EXPECT_EQ(5, SendMessageA(hwnd, WM_APP + 1, 0, 0));
  EXPECT_FALSE(IsWindow(hwnd));
  EXPECT_TRUE(window.seen.empty());
}

TEST(Dialog, AControlThatCannotBeCreatedEndsTheDialogWithMinusOne) {
  WNDCLASSA wc{};
  wc.lpfnWndProc = RefuseCreation;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = "CorvaneTestRefusing";
  RegisterClassA(&wc);
  CDialog dialog(IDD_FW_BROKEN);
  EXPECT_EQ(-1, dialog.DoModal());
}

TEST(Handles, OwnersCountWhatTheyHoldAndGiveItBack) {
  const int before = win::LiveHandles(win::HandleKind::Region);
  {
    fw::OwnedRegion a(CreateRectRgn(0, 0, 4, 4));
    fw::OwnedRegion b(CreateRectRgn(0, 0, 2, 2));
    EXPECT_EQ(before + 2, win::LiveHandles(win::HandleKind::Region));
    a = std::move(b);  // a's old region is deleted, b's moves over
    EXPECT_EQ(before + 1, win::LiveHandles(win::HandleKind::Region));
    HRGN given = a.release();
    EXPECT_EQ(before, win::LiveHandles(win::HandleKind::Region));
    DeleteObject(given);
  }
  EXPECT_EQ(before, win::LiveHandles(win::HandleKind::Region));
}

// Runs with Wine's heap free-checking on (see CMakeLists.txt), so a worker
// thread that touches freed storage as it ends crashes here every time.
TEST(ThreadCall, OnlyALiveCallOfTheAnsweringThreadIsFollowed) {
  fw::ThreadCall own;
  EXPECT_EQ(&own, fw::ThreadCall::From<fw::ThreadCall>(reinterpret_cast<LPARAM>(&own)));

  const fw::ThreadCall* theirs = nullptr;
  HANDLE made = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  HANDLE answered = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  std::thread worker([&] {
    fw::ThreadCall call;
    theirs = &call;
    SetEvent(made);
    WaitForSingleObject(answered, INFINITE);
  });
  WaitForSingleObject(made, INFINITE);
  EXPECT_EQ(nullptr, fw::ThreadCall::From<fw::ThreadCall>(reinterpret_cast<LPARAM>(theirs)))
      << "a live call of another thread is not this thread's to follow";
  SetEvent(answered);
  worker.join();
  EXPECT_EQ(nullptr, fw::ThreadCall::From<fw::ThreadCall>(reinterpret_cast<LPARAM>(theirs))) << "an ended call";
  CloseHandle(made);
  CloseHandle(answered);
}

// Background calls.

constexpr UINT kDone = WM_APP + 7;

// A result that counts its living copies, so a leak or a double free shows.
struct Counted {
  explicit Counted(int v) : value(v) { ++alive; }
  Counted(const Counted& other) : value(other.value) { ++alive; }
  ~Counted() { --alive; }
  int value;
  static std::atomic<int> alive;
};
std::atomic<int> Counted::alive{0};

bool WaitFor(const std::function<bool()>& condition) {
  for (DWORD start = GetTickCount(); GetTickCount() - start < 5000; Sleep(5))
    if (condition()) return true;
  return false;
}

bool AllEnded() {
  return WaitFor([] { return fw::RunningBackgroundCalls() == 0; }) && fw::WaitingBackgroundResults() == 0 &&
         Counted::alive == 0;
}

TEST(BackgroundCall, TheResultIsPostedWithItsTagFromAnotherThreadAndTakenOnceByItsWindowOnly) {
  HWND window = ui_driver::MessageOnlyWindow(), other = ui_driver::MessageOnlyWindow();
  HANDLE go = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  std::atomic<DWORD> workerThread{0};
  ASSERT_TRUE(fw::StartBackgroundCall<Counted>(window, kDone, 7, [go, &workerThread] {
    WaitForSingleObject(go, 5000);
    workerThread = GetCurrentThreadId();
    return Counted(42);
  })) << "returns while the job still waits";
  EXPECT_EQ(1, fw::RunningBackgroundCalls());
  SetEvent(go);
  MSG msg{};
  ASSERT_TRUE(ui_driver::NextPost(window, kDone, msg));
  EXPECT_EQ(7u, msg.wParam);
  EXPECT_NE(GetCurrentThreadId(), workerThread.load());
  EXPECT_EQ(nullptr, fw::TakeBackgroundResult<int>(window, msg.lParam)) << "another type";
  EXPECT_EQ(nullptr, fw::TakeBackgroundResult<Counted>(other, msg.lParam)) << "another window";
  Counted forged(1);
  EXPECT_EQ(nullptr, fw::TakeBackgroundResult<Counted>(window, reinterpret_cast<LPARAM>(&forged)));
  auto result = fw::TakeBackgroundResult<Counted>(window, msg.lParam);
  ASSERT_NE(nullptr, result);
  EXPECT_EQ(42, result->value);
  EXPECT_EQ(nullptr, fw::TakeBackgroundResult<Counted>(window, msg.lParam)) << "taken once";
  result.reset();
  EXPECT_EQ(1, Counted::alive.load()) << "only the forged one";
  DestroyWindow(window);
  DestroyWindow(other);
  CloseHandle(go);
  EXPECT_TRUE(WaitFor([] { return fw::RunningBackgroundCalls() == 0; }));
}

TEST(BackgroundCall, AResultForAClosedWindowIsFreedWhenItEndsBeforeOrAfterTheClose) {
  // The window goes while the job runs: the post fails and the worker frees it.
  HWND early = ui_driver::MessageOnlyWindow();
  HANDLE go = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  ASSERT_TRUE(fw::StartBackgroundCall<Counted>(early, kDone, 0, [go] {
    WaitForSingleObject(go, 5000);
    return Counted(1);
  }));
  DestroyWindow(early);
  SetEvent(go);
  EXPECT_TRUE(AllEnded());

  // The result is queued when the window goes: the window drops it.
  HWND dropping = ui_driver::MessageOnlyWindow();
  ASSERT_TRUE(fw::StartBackgroundCall<Counted>(dropping, kDone, 0, [] { return Counted(2); }));
  ASSERT_TRUE(WaitFor([] { return fw::WaitingBackgroundResults() == 1; }));
  fw::DropBackgroundResults(dropping);
  DestroyWindow(dropping);
  EXPECT_TRUE(AllEnded());

  // A window that did not drop it: the next call started frees it.
  HWND careless = ui_driver::MessageOnlyWindow();
  ASSERT_TRUE(fw::StartBackgroundCall<Counted>(careless, kDone, 0, [] { return Counted(3); }));
  ASSERT_TRUE(WaitFor([] { return fw::WaitingBackgroundResults() == 1; }));
  DestroyWindow(careless);
  HWND next = ui_driver::MessageOnlyWindow();
  ASSERT_TRUE(fw::StartBackgroundCall<Counted>(next, kDone, 0, [] { return Counted(4); }));
  MSG msg{};
  ASSERT_TRUE(ui_driver::NextPost(next, kDone, msg));
  EXPECT_EQ(4, fw::TakeBackgroundResult<Counted>(next, msg.lParam)->value);
  EXPECT_TRUE(AllEnded());
  DestroyWindow(next);
  CloseHandle(go);
}

TEST(BackgroundCall, AJobThatThrowsPostsNoResult) {
  HWND window = ui_driver::MessageOnlyWindow();
  ASSERT_TRUE(fw::StartBackgroundCall<Counted>(window, kDone, 5, []() -> Counted { throw std::runtime_error("no"); }));
  MSG msg{};
  ASSERT_TRUE(ui_driver::NextPost(window, kDone, msg));
  EXPECT_EQ(5u, msg.wParam);
  EXPECT_EQ(0, msg.lParam);
  EXPECT_TRUE(AllEnded());
  DestroyWindow(window);
}

// Run again as a child process (below), the case starts a call that would
// wait a minute and ends as the program does after its windows are gone.
TEST(BackgroundCall, TheProgramsEndDoesNotWaitForAWorker) {
  if (GetEnvironmentVariableA("FW_TEST_END_WITH_WORKER", nullptr, 0)) {
    HWND window = ui_driver::MessageOnlyWindow();
    ASSERT_TRUE(fw::StartBackgroundCall<int>(window, kDone, 0, [] {
      Sleep(60000);
      return 0;
    }));
    DestroyWindow(window);
    fw::EndProcessIfBackgroundCalls(7);
    ADD_FAILURE() << "returned with a call running";
    return;
  }
  fw::EndProcessIfBackgroundCalls(7);  // nothing running: it returns

  char self[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, self, MAX_PATH);
  std::string command =
      std::string("\"") + self + "\" --gtest_filter=BackgroundCall.TheProgramsEndDoesNotWaitForAWorker";
  SetEnvironmentVariableA("FW_TEST_END_WITH_WORKER", "1");
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION child{};
  const BOOL started =
      CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &child);
  SetEnvironmentVariableA("FW_TEST_END_WITH_WORKER", nullptr);
  ASSERT_TRUE(started);
  EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(child.hProcess, 20000)) << "the worker's minute is not waited for";
  DWORD code = 0;
  GetExitCodeProcess(child.hProcess, &code);
  EXPECT_EQ(7u, code) << "ended by EndProcessIfBackgroundCalls";
  if (code == STILL_ACTIVE) TerminateProcess(child.hProcess, 1);
  CloseHandle(child.hThread);
  CloseHandle(child.hProcess);
}

}  // namespace
