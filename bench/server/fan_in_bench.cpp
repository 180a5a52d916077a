// Fan-in: N clients each send M messages of 100 bytes through the server into a slot whose
// owner reads on its own thread. Reports messages per second and the latency from the
// socket write to the arrival in the slot.
#include <algorithm>
#include <cstdio>
#include <mutex>
#include <vector>

#include "bench/server/bench_common.h"
#include "relay/protocol.h"
#include "server/server_form.h"

using namespace qvr;
using namespace qvr::bench;

namespace {

constexpr std::size_t kMessageSize = 100;
constexpr auto kTimeLimit = std::chrono::seconds(60);

std::string MakeMessage(int client, int seq) {
  char head[64];
  const int n =
      std::snprintf(head, sizeof head, "%d %d %lld ", client, seq, static_cast<long long>(NowNs()));
  std::string message(head, static_cast<std::size_t>(n));
  message.resize(kMessageSize, 'x');
  return message;
}

}  // namespace

int main(int argc, char** argv) {
  const int clients = argc > 1 ? std::atoi(argv[1]) : 10;
  const int per_client = argc > 2 ? std::atoi(argv[2]) : 20000;
  // Messages per second per client; 0 sends as fast as the connection takes them.
  const int rate = argc > 3 ? std::atoi(argv[3]) : 0;
  PrivateSlotFolder folder;

  std::mutex mutex;
  std::vector<std::int64_t> latencies;
  latencies.reserve(static_cast<std::size_t>(clients) * per_client);
  std::int64_t last_arrival = 0;
  std::size_t arrived = 0;  // the closing "quit" of each client included
  SlotReader reader(server::kMessagesSlot, [&](std::string_view message) {
    const std::int64_t now = NowNs();
    long long sent = 0;
    int client = 0;
    int seq = 0;
    const bool timed = std::sscanf(std::string(message.substr(0, 64)).c_str(), "%d %d %lld",
                                   &client, &seq, &sent) == 3;
    std::lock_guard lock(mutex);
    if (timed) latencies.push_back(now - sent);
    ++arrived;
    last_arrival = now;
  });

  UiThread ui;
  auto form = ui.Call([] {
    auto f = std::make_unique<server::ServerForm>(server::ServerFormOptions{0, nullptr, nullptr});
    f->FormCreate();
    return f;
  });
  const std::uint16_t port = form->ListeningPort();

  const std::int64_t start = NowNs();
  std::vector<std::thread> senders;
  for (int c = 0; c < clients; ++c) {
    senders.emplace_back([c, per_client, rate, port, start] {
      const int fd = ConnectLoopback(port);
      if (fd < 0 || !ReadExactly(fd, relay::kGreeting.size())) return;
      const auto deadline = start + std::chrono::nanoseconds(kTimeLimit).count();
      for (int i = 0; i < per_client && NowNs() < deadline; ++i) {
        if (rate > 0) {
          const std::int64_t due = start + static_cast<std::int64_t>(i) * 1000000000 / rate;
          while (NowNs() < due) std::this_thread::sleep_for(std::chrono::microseconds(50));
        }
        if (!WriteAll(fd, relay::BuildFrame(MakeMessage(c, i)))) break;
      }
      WriteAll(fd, relay::BuildFrame("quit"));
      char byte;
      while (read(fd, &byte, 1) > 0) {
      }
      close(fd);
    });
  }
  for (auto& t : senders) t.join();
  const std::size_t expected = static_cast<std::size_t>(clients) * per_client + clients;
  const auto wait_until = Clock::now() + std::chrono::seconds(10);
  for (;;) {
    {
      std::lock_guard lock(mutex);
      if (arrived >= expected) break;
    }
    if (Clock::now() > wait_until) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  ui.Call([&] { form.reset(); });

  std::lock_guard lock(mutex);
  std::vector<std::int64_t> sorted = latencies;
  std::sort(sorted.begin(), sorted.end());
  const auto percentile = [&](double p) {
    return sorted.empty() ? 0.0 : sorted[static_cast<std::size_t>(p * (sorted.size() - 1))] / 1e6;
  };
  const double seconds = (last_arrival - start) / 1e9;
  std::printf("fan-in: %d clients x %d messages of %zu bytes, %s\n", clients, per_client,
              kMessageSize,
              rate > 0 ? (std::to_string(rate) + " msgs/s per client").c_str() : "unpaced");
  std::printf("  arrived %zu of %zu in %.3f s: %.0f messages/s\n", arrived, expected, seconds,
              arrived / seconds);
  std::printf("  latency write->slot: p50 %.3f ms, p99 %.3f ms, max %.3f ms\n", percentile(0.5),
              percentile(0.99), percentile(1.0));
  return arrived == expected ? 0 : 1;
}
