// Sends the same message N times to aiosmtpd on loopback, once with our
// native client and once with Python's smtplib, one connection per message
// as the program does, and prints the median time per message of each.
// aiosmtpd writes its EHLO reply line by line, which costs a client with
// delayed ACKs 40 ms per message; ours acknowledges at once, so smtplib is
// also timed with the same fix to show the rest of the difference.
// Run it beside the peer servers: tools/bench/smtp_bench.sh.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "net/PosixTransport.h"
#include "PeerClient.h"
#include "smtp/SmtpClient.h"

namespace {

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  std::size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

const char* kPython = R"PY(
import smtplib, socket, sys, time
port, count, quick = int(sys.argv[1]), int(sys.argv[2]), sys.argv[4] == "1"
msg = open(sys.argv[3], "rb").read()
class QuickAck(smtplib.SMTP):
    def getreply(self):
        self.sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_QUICKACK, 1)
        return super().getreply()
for _ in range(count):
    t = time.perf_counter()
    with (QuickAck if quick else smtplib.SMTP)("127.0.0.1", port, local_hostname="bench.example", timeout=10) as s:
        s.sendmail("corvane@example.net", ["ann@example.org"], msg)
    print((time.perf_counter() - t) * 1e6)
)PY";

}  // namespace

int main(int argc, char** argv) {
  int count = argc > 1 ? std::atoi(argv[1]) : 200;
  try {
    auto peers = peers::PeerClient::FromEnvironment();
    int port = peers.StartSmtp();

    smtp::SendRequest r;
    r.server = "127.0.0.1";
    r.port = port;
    r.sendTo = "ann@example.org";
    r.mailFrom = "corvane@example.net";
    r.messageSubject = "IP address changed";
    r.messageText = "Your new IP address is 203.0.113.7.\nChecked at 09:07.\n";
    r.clientHostName = "bench.example";
    smtp::Client client([] { return std::make_unique<net::PosixTransport>(); });

    // Python sends the very bytes our builder makes, so both move the same load.
    smtp::MessageStamp stamp{1709626022, 60, "bench", "bench.example"};
    std::string content = smtp::PrepareMessage(r, stamp).content;
    char path[] = "/tmp/smtp_bench_XXXXXX";
    int fd = mkstemp(path);
    if (fd < 0) throw std::runtime_error("cannot create a temporary file");
    FILE* f = fdopen(fd, "wb");
    std::fwrite(content.data(), 1, content.size(), f);
    std::fclose(f);

    for (int i = 0; i < 5; ++i) client.Send(r);  // warm-up: first connections pay for lazy setup
    std::vector<double> ours;
    for (int i = 0; i < count; ++i) {
      auto t = std::chrono::steady_clock::now();
      client.Send(r);
      ours.push_back(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - t).count());
    }

    auto runPython = [&](bool quickAck) {
      std::string command = "/usr/bin/python3 -c '" + std::string(kPython) + "' " + std::to_string(port) + " " +
                            std::to_string(count + 5) + " " + path + (quickAck ? " 1" : " 0");
      FILE* py = popen(command.c_str(), "r");
      if (!py) throw std::runtime_error("cannot start Python");
      std::vector<double> times;
      for (double us; std::fscanf(py, "%lf", &us) == 1;) times.push_back(us);
      int status = pclose(py);
      if (status != 0 || times.size() != static_cast<std::size_t>(count + 5)) {
        throw std::runtime_error("the smtplib run failed");
      }
      times.erase(times.begin(), times.begin() + 5);
      return times;
    };
    std::vector<double> theirs = runPython(false);
    std::vector<double> theirsQuick = runPython(true);
    std::remove(path);

    std::size_t received = peers.Messages(port).size();
    if (received != static_cast<std::size_t>(3 * (count + 5))) {
      throw std::runtime_error("the server received " + std::to_string(received) + " messages");
    }
    double a = Median(ours), b = Median(theirs);
    std::printf("messages per client: %d (plus 5 warm-up), one connection each, %zu bytes\n", count, content.size());
    std::printf("native client    median %8.1f us  (min %.1f, max %.1f)\n", a,
                *std::min_element(ours.begin(), ours.end()), *std::max_element(ours.begin(), ours.end()));
    std::printf("python smtplib   median %8.1f us  (min %.1f, max %.1f)\n", b,
                *std::min_element(theirs.begin(), theirs.end()), *std::max_element(theirs.begin(), theirs.end()));
    double c = Median(theirsQuick);
    std::printf("smtplib+quickack median %8.1f us  (min %.1f, max %.1f)\n", c,
                *std::min_element(theirsQuick.begin(), theirsQuick.end()),
                *std::max_element(theirsQuick.begin(), theirsQuick.end()));
    std::printf("ratio smtplib / native: %.2f; smtplib with quick ACK / native: %.2f\n", b / a, c / a);
    return 0;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "smtp_bench: %s\n", e.what());
    return 1;
  }
}
