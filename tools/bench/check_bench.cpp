// How long one check of the real main window takes, and how long the window
// keeps a caller waiting meanwhile, with a slow page and slow web targets on
// loopback peers. Another thread sends the window WM_NULL every 10 ms and
// keeps the slowest answer; the check's time runs from Update to the button's
// coming back. Run beside the peers (check_bench.sh does), not as a test: it
// prints figures and judges none.
// Usage: check_bench.exe [page delay ms] [target delay ms] [rounds]
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "app/CorvaneDlg.h"
#include "inet/InetControl.h"
#include "PeerClient.h"
#include "res/resource.h"
#include "settings/Registry.h"
#include "settings/SettingsLayout.h"
#include "settings/StoredSettings.h"
#include "smtp/SmtpCall.h"
#include "SmtpPropertyAccess.h"

namespace {

std::string PageWith(const std::string& address) {
  return "<html><body>Your address: <!--startip-->" + address + "<!--endip--></body></html>";
}

bool PumpUntil(const std::function<bool()>& condition, DWORD timeoutMs) {
  const DWORD start = GetTickCount();
  for (;;) {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
    if (condition()) return true;
    if (GetTickCount() - start >= timeoutMs) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
  }
}

bool UpdateEnabled(HWND main) { return IsWindowEnabled(GetDlgItem(main, IDC_UPDATE)) != FALSE; }

// Asks the window for WM_NULL every 10 ms from its own thread until stopped.
class Asker {
 public:
  explicit Asker(HWND window)
      : m_thread([this, window] {
          while (!m_stop) {
            const DWORD start = GetTickCount();
            DWORD_PTR ignored = 0;
            SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_NORMAL, 30'000, &ignored);
            m_slowest = std::max<DWORD>(m_slowest, GetTickCount() - start);
            Sleep(10);
          }
        }) {}
  DWORD Stop() {
    m_stop = true;
    m_thread.join();
    return m_slowest;
  }

 private:
  std::atomic<bool> m_stop{false};
  std::atomic<DWORD> m_slowest{0};
  std::thread m_thread;
};

struct Round {
  DWORD checkMs = 0, slowestMs = 0;
  bool ended = false;
};

// The main window, its mail pointed at the peer, running `script` in its own
// modal loop once it has opened.
class BenchWindow : public CCorvaneDlg {
 public:
  int smtpPort = 0;
  std::function<void(HWND)> script;

 protected:
  BOOL OnInitDialog() override {
    C_SMTP control;
    control.Attach(::GetDlgItem(m_hWnd, IDC_SMTP));
    SetSmtpProperty(control, smtp::dispid::kPort, std::int32_t{smtpPort});
    control.Detach();
    const BOOL result = CCorvaneDlg::OnInitDialog();
    s_running = this;
    ::SetTimer(nullptr, 0, 0, RunScript);
    return result;
  }

 private:
  static void CALLBACK RunScript(HWND, UINT, UINT_PTR timer, DWORD) {
    ::KillTimer(nullptr, timer);
    BenchWindow* window = s_running;
    s_running = nullptr;
    if (window) window->script(window->m_hWnd);
  }
  static inline BenchWindow* s_running = nullptr;
};

void StoreSettings(int page, const std::vector<int>& targets) {
  RegDeleteTreeA(HKEY_CURRENT_USER, settings::kKeyPath);
  const std::pair<const char*, std::string> values[] = {
      {"Version", "1.0"},
      {"SMTPServer", "127.0.0.1"},
      {"SMTPUsername", "null"},
      {"SMTPPassword", "null"},
      {"SMTPAuth", "0"},
      {"SMTPTo", "me@example.net"},
      {"SMTPFrom", "ip@example.net"},
      {"Link", "http://127.0.0.1:" + std::to_string(page) + "/ip.php"},
      {"Timer", "86400000"}};
  for (const auto& [name, text] : values)
    RegSetKeyValueA(HKEY_CURRENT_USER, settings::kKeyPath, name, REG_SZ, text.c_str(),
                    static_cast<DWORD>(text.size() + 1));
  std::vector<channels::WebSettings> list;
  for (int port : targets) {
    channels::WebSettings web;
    web.url = "http://127.0.0.1:" + std::to_string(port) + "/hook?ip={ip}";
    list.push_back(web);
  }
  CRegistry registry;
  settings::OpenStore(registry);
  const std::string failure = settings::WriteWebTargets(registry, list);
  if (!failure.empty()) std::fprintf(stderr, "cannot store the targets: %s\n", failure.c_str());
}

// One window, a first check with quick servers, then `rounds` checks that
// each find a new address behind a slow page and call every slow target.
std::vector<Round> RunCase(peers::PeerClient& peers, int targetCount, int pageDelay, int targetDelay, int rounds) {
  peers.StopAll();
  const int page = peers.StartHttp(), smtp = peers.StartSmtp();
  peers.SetPage(page, 200, PageWith("203.0.113.1"));
  std::vector<int> targets;
  for (int i = 0; i < targetCount; ++i) {
    targets.push_back(peers.StartHttp());
    peers.SetPage(targets.back(), 200, "OK");
  }
  StoreSettings(page, targets);

  std::vector<Round> results;
  BenchWindow window;
  window.smtpPort = smtp;
  window.script = [&](HWND main) {
    if (!PumpUntil([&] { return UpdateEnabled(main); }, 30'000)) std::fprintf(stderr, "the first check hung\n");
    const std::string delay = "delay_ms=";
    for (int i = 0; i < rounds; ++i) {
      peers.SetPage(page, 200, PageWith("198.51.100." + std::to_string(10 + i)), delay + std::to_string(pageDelay));
      for (int port : targets) peers.SetPage(port, 200, "OK", delay + std::to_string(targetDelay));
      Asker asker(main);
      Round round;
      const DWORD start = GetTickCount();
      SendMessageA(main, WM_COMMAND, MAKEWPARAM(IDC_UPDATE, BN_CLICKED),
                   reinterpret_cast<LPARAM>(GetDlgItem(main, IDC_UPDATE)));
      round.ended = PumpUntil([&] { return UpdateEnabled(main); }, 120'000);
      round.checkMs = GetTickCount() - start;
      round.slowestMs = asker.Stop();
      results.push_back(round);
    }
    const std::size_t mails = peers.Messages(smtp).size();
    if (mails != static_cast<std::size_t>(rounds) + 1)
      std::fprintf(stderr, "%zu mails for %d changes\n", mails, rounds + 1);
    for (int port : targets)
      if (peers.HttpHits(port) != rounds + 1)
        std::fprintf(stderr, "a target was called %d times\n", peers.HttpHits(port));
    SendMessageA(main, WM_COMMAND, IDCANCEL, 0);
  };
  window.DoModal();
  return results;
}

DWORD Median(std::vector<DWORD> values) {
  std::sort(values.begin(), values.end());
  return values.empty() ? 0 : values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  const int pageDelay = argc > 1 ? std::atoi(argv[1]) : 2000;
  const int targetDelay = argc > 2 ? std::atoi(argv[2]) : 2000;
  const int rounds = argc > 3 ? std::max(1, std::atoi(argv[3])) : 3;
  if (!inet::RegisterInetControl(GetModuleHandleA(nullptr)) || !smtp::RegisterSmtpControl(GetModuleHandleA(nullptr))) {
    std::fprintf(stderr, "cannot register the controls\n");
    return 1;
  }
  try {
    peers::PeerClient peers = peers::PeerClient::FromEnvironment();
    std::printf(
        "page answers after %d ms, each target after %d ms, %d checks a row; the channels wait for the\n"
        "page, then the mail and the targets are called side by side: \"over\" is the worst check less\n"
        "the page's wait and (with targets) one target's\n\n",
        pageDelay, targetDelay, rounds);
    std::printf("%-8s | %-10s | %-10s | %-13s | %-14s | %-14s\n", "targets", "check (md)", "check (max)", "over (max)",
                "slowest answer", "answer (md)");
    for (int count : {0, 1, 3, 8}) {
      const std::vector<Round> results = RunCase(peers, count, pageDelay, targetDelay, rounds);
      std::vector<DWORD> checks, answers;
      bool allEnded = true;
      for (const Round& r : results) {
        checks.push_back(r.checkMs);
        answers.push_back(r.slowestMs);
        allEnded = allEnded && r.ended;
      }
      const DWORD worst = checks.empty() ? 0 : *std::max_element(checks.begin(), checks.end());
      const DWORD slowest = answers.empty() ? 0 : *std::max_element(answers.begin(), answers.end());
      const int channel = pageDelay + (count ? targetDelay : 0);
      std::printf("%-8d | %7lu ms | %8lu ms | %+10ld ms | %11lu ms | %11lu ms%s\n", count,
                  static_cast<unsigned long>(Median(checks)), static_cast<unsigned long>(worst),
                  static_cast<long>(worst) - channel, static_cast<unsigned long>(slowest),
                  static_cast<unsigned long>(Median(answers)), allEnded ? "" : "  (a check did not end)");
      std::fflush(stdout);
    }
    peers.StopAll();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "check_bench: %s\n", e.what());
    return 1;
  }
  RegDeleteTreeA(HKEY_CURRENT_USER, settings::kKeyPath);
  return 0;
}
