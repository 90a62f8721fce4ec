// Times the page fetch as the check cycle does it: CInet bound to the
// control, one OpenURL per page. Prints the first fetch (the libraries' start-up)
// apart from the timed ones. Usage: fetch_bench.exe URL COUNT
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/Inet.h"
#include "fw/Exceptions.h"
#include "inet/InetControl.h"

namespace {

double Milliseconds(LARGE_INTEGER from, LARGE_INTEGER to, LARGE_INTEGER frequency) {
  return 1000.0 * static_cast<double>(to.QuadPart - from.QuadPart) / static_cast<double>(frequency.QuadPart);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: fetch_bench URL COUNT\n");
    return 2;
  }
  const std::string url = argv[1];
  const int count = std::atoi(argv[2]);
  HINSTANCE instance = GetModuleHandleA(nullptr);
  if (!inet::RegisterInetControl(instance)) return 1;
  HWND control =
      CreateWindowExA(0, inet::kInetControlClass, "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, instance, nullptr);
  if (!control) return 1;
  CInet inet;
  inet.Attach(control);

  LARGE_INTEGER frequency, a, b;
  QueryPerformanceFrequency(&frequency);
  try {
    QueryPerformanceCounter(&a);
    const std::string first = inet.OpenURL(url);
    QueryPerformanceCounter(&b);
    const double firstMs = Milliseconds(a, b, frequency);
    if (first.find("<!--startip-->") == std::string::npos) {
      std::fprintf(stderr, "the page has no address markers\n");
      return 1;
    }
    std::vector<double> times;
    LARGE_INTEGER start, end;
    QueryPerformanceCounter(&start);
    for (int i = 0; i < count; ++i) {
      QueryPerformanceCounter(&a);
      const std::string page = inet.OpenURL(url);
      QueryPerformanceCounter(&b);
      if (page != first) {
        std::fprintf(stderr, "fetch %d returned a different page\n", i);
        return 1;
      }
      times.push_back(Milliseconds(a, b, frequency));
    }
    QueryPerformanceCounter(&end);
    std::sort(times.begin(), times.end());
    std::printf("CInet (Wine): %d pages, median %.2f ms, total %.0f ms (first fetch %.2f ms, not counted)\n", count,
                times.empty() ? 0.0 : times[times.size() / 2], Milliseconds(start, end, frequency), firstMs);
  } catch (const CDispatchException& e) {
    std::fprintf(stderr, "fetch failed: %s\n", e.m_strDescription.c_str());
    return 1;
  }
  DestroyWindow(inet.Detach());
  return 0;
}
