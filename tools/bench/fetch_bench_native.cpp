// Times the same HTTP core the page fetch uses, over the POSIX transport on
// Linux: what the exchange itself costs, apart from Wine and the control.
// Prints the first fetch apart from the timed ones. Usage: fetch_bench_native URL COUNT
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "HttpFetch.h"
#include "PosixTransport.h"

namespace {

using Clock = std::chrono::steady_clock;

double Milliseconds(Clock::time_point from, Clock::time_point to) {
  return std::chrono::duration<double, std::milli>(to - from).count();
}

// As the page fetch asks: a 1 MiB cap, refused when larger, 15 seconds.
std::string FetchPage(const std::string& url, const http::Network& network) {
  http::Request request;
  request.url = url;
  const http::Response response = http::Fetch(request, http::Limits{15000, 1024 * 1024, true}, network);
  if (response.status != 200) throw std::runtime_error("status " + std::to_string(response.status));
  return response.body;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: fetch_bench_native URL COUNT\n");
    return 2;
  }
  const std::string url = argv[1];
  const int count = std::atoi(argv[2]);
  http::Network network;
  network.connect = [] { return std::make_unique<net::PosixTransport>(); };
  try {
    auto a = Clock::now();
    const std::string first = FetchPage(url, network);
    const double firstMs = Milliseconds(a, Clock::now());
    if (first.find("<!--startip-->") == std::string::npos) {
      std::fprintf(stderr, "the page has no address markers\n");
      return 1;
    }
    std::vector<double> times;
    const auto start = Clock::now();
    for (int i = 0; i < count; ++i) {
      a = Clock::now();
      const std::string page = FetchPage(url, network);
      times.push_back(Milliseconds(a, Clock::now()));
      if (page != first) {
        std::fprintf(stderr, "fetch %d returned a different page\n", i);
        return 1;
      }
    }
    const double totalMs = Milliseconds(start, Clock::now());
    std::sort(times.begin(), times.end());
    std::printf("HTTP core (native): %d pages, median %.2f ms, total %.0f ms (first fetch %.2f ms, not counted)\n",
                count, times.empty() ? 0.0 : times[times.size() / 2], totalMs, firstMs);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "fetch failed: %s\n", e.what());
    return 1;
  }
  return 0;
}
