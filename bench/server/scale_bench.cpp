// Scale: holds thousands of relay connections at once on loopback, each greeted and each
// relaying one message; reports the server's memory and threads, then the time to stop
// with every connection still open.
#include <atomic>
#include <cstdio>
#include <vector>

#include "bench/server/bench_common.h"
#include "relay/protocol.h"
#include "server/platform_limits.h"
#include "server/server_form.h"

using namespace qvr;
using namespace qvr::bench;

int main(int argc, char** argv) {
  const int connections = argc > 1 ? std::atoi(argv[1]) : 5000;
  const int mid_message_wanted = argc > 2 ? std::atoi(argv[2]) : 1000;
  const unsigned long limit = server::RaiseOpenFileLimit();
  PrivateSlotFolder folder;
  std::atomic<int> arrived{0};
  SlotReader reader(server::kMessagesSlot, [&](std::string_view) { ++arrived; });

  const long rss_before = ProcStatus("VmRSS");
  const long threads_before = ProcStatus("Threads");
  UiThread ui;
  auto form = ui.Call([] {
    auto f = std::make_unique<server::ServerForm>(server::ServerFormOptions{0, nullptr, nullptr});
    f->FormCreate();
    return f;
  });
  const std::uint16_t port = form->ListeningPort();

  const auto start = Clock::now();
  const auto deadline = start + std::chrono::seconds(120);
  std::vector<int> fds;
  int greeted = 0;
  for (int i = 0; i < connections && Clock::now() < deadline; ++i) {
    const int fd = ConnectLoopback(port);
    if (fd < 0) break;
    fds.push_back(fd);
    if (!ReadExactly(fd, relay::kGreeting.size())) break;
    ++greeted;
    WriteAll(fd, relay::BuildFrame("connection " + std::to_string(i)));
  }
  while (arrived < greeted && Clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  // Some peers are in the middle of their next message when the server stops.
  int mid_message = 0;
  for (std::size_t i = 0; i < fds.size() && mid_message < mid_message_wanted; i += 2) {
    if (WriteAll(fds[i], "half of a message")) ++mid_message;
  }
  const double open_seconds = std::chrono::duration<double>(Clock::now() - start).count();
  const long open_now = static_cast<long>(form->OpenConnections());
  const long rss = ProcStatus("VmRSS");
  const long threads = ProcStatus("Threads");

  const auto stop_start = Clock::now();
  ui.Call([&] { form->FormDestroy(); });
  const double stop_seconds = std::chrono::duration<double>(Clock::now() - stop_start).count();
  ui.Call([&] { form.reset(); });
  for (const int fd : fds) close(fd);

  std::printf("scale: %d connections asked (open-file limit %lu)\n", connections, limit);
  std::printf("  greeted %d, relayed %d, open at the server %ld, in %.2f s\n", greeted,
              arrived.load(), open_now, open_seconds);
  std::printf("  process RSS %.1f MB (%.1f MB before the server), threads %ld (%ld before)\n",
              rss / 1024.0, rss_before / 1024.0, threads, threads_before);
  std::printf("  stop with all open (%d of them mid-message): %.3f s\n", mid_message, stop_seconds);
  return greeted == connections && arrived == connections ? 0 : 1;
}
