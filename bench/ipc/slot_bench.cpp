// Throughput and latency of the slot channel (a writer thread into a TMailSlotReader whose
// callback runs on an EventLoop), measured in the same run against a plain AF_UNIX datagram
// socket pair between two threads. Every run is bounded in count and time.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include "ipc/codepage.h"
#include "ipc/event_loop.h"
#include "ipc/mailslot_reader.h"
#include "ipc/mailslot_writer.h"
#include "ipc/slot_channel.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kMessageSize = 100;
constexpr int kThroughputMessages = 200'000;
constexpr int kLatencyMessages = 10'000;
constexpr int kLatencyRate = 5'000;  // messages per second
constexpr auto kRunLimit = std::chrono::seconds(60);
constexpr int kRounds = 5;

struct Figures {
  double messages_per_second = 0;
  double p50_us = 0;
  double p99_us = 0;
  int lost = 0;
};

std::int64_t NowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch())
      .count();
}

// A 100-byte message that carries its send time.
std::string Stamped() {
  std::string message(kMessageSize, 'x');
  const std::int64_t now = NowNs();
  std::memcpy(message.data(), &now, sizeof now);
  return message;
}

std::int64_t StampOf(const char* data) {
  std::int64_t stamp = 0;
  std::memcpy(&stamp, data, sizeof stamp);
  return stamp;
}

// Sends `count` messages, either back to back or paced at kLatencyRate.
template <typename Send>
void Produce(int count, bool paced, Send send) {
  const auto start = Clock::now();
  const auto gap = std::chrono::nanoseconds(1'000'000'000 / kLatencyRate);
  for (int i = 0; i < count; ++i) {
    if (paced) std::this_thread::sleep_until(start + gap * i);
    if (!send(Stamped())) return;
  }
}

void Percentiles(std::vector<double>& latencies_us, Figures& figures) {
  if (latencies_us.empty()) return;
  std::sort(latencies_us.begin(), latencies_us.end());
  figures.p50_us = latencies_us[latencies_us.size() / 2];
  figures.p99_us = latencies_us[latencies_us.size() * 99 / 100];
}

Figures RunSlot(int count, bool paced) {
  static int run = 0;
  const std::u16string name = u"Bench\\Slot" + qvr::Utf8ToUtf16(std::to_string(++run));
  qvr::EventLoop loop;
  qvr::TMailSlotReader reader(name, false);
  std::vector<double> latencies;
  latencies.reserve(static_cast<std::size_t>(count));
  int received = 0;
  reader.SetOnMessage([&](qvr::TMailSlotReader&, const std::u16string& text) {
    // Only the stamp is turned back into bytes: the figure is the channel's, not the callee's.
    const std::string stamp = qvr::Utf16ToAnsi(std::u16string_view(text).substr(0, 8));
    latencies.push_back(static_cast<double>(NowNs() - StampOf(stamp.data())) / 1000.0);
    ++received;
  });
  const auto start = Clock::now();
  std::thread writer([&] {
    qvr::TMailSlotWriter slot(name);
    Produce(count, paced, [&slot](const std::string& message) {
      return slot.Write(message.data(), static_cast<std::int32_t>(message.size())) ==
             static_cast<std::int32_t>(message.size());
    });
  });
  loop.RunUntil([&] { return received >= count; }, kRunLimit);
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  writer.join();
  Figures figures;
  figures.messages_per_second = received / seconds;
  figures.lost = count - received;
  Percentiles(latencies, figures);
  return figures;
}

// The channel alone: a writer thread into an owner read on this thread, without the hop
// to the event loop, i.e. the same two threads as the datagram pair.
Figures RunOwner(int count, bool paced) {
  static int run = 0;
  const std::u16string name = u"Bench\\Owner" + qvr::Utf8ToUtf16(std::to_string(++run));
  auto owner = qvr::ipc::SystemSlots().Create(name, qvr::ipc::kSlotMaxMessage, 10'000);
  if (!owner) std::abort();
  std::vector<double> latencies;
  latencies.reserve(static_cast<std::size_t>(count));
  int received = 0;
  const auto start = Clock::now();
  std::thread writer([&] {
    qvr::TMailSlotWriter slot(name);
    Produce(count, paced, [&slot](const std::string& message) {
      return slot.Write(message.data(), static_cast<std::int32_t>(message.size())) ==
             static_cast<std::int32_t>(message.size());
    });
  });
  std::vector<char> buffer(qvr::ipc::kSlotMaxMessage);
  while (received < count && Clock::now() - start < kRunLimit) {
    std::size_t length = 0;
    const auto result = owner->Read(buffer.data(), buffer.size(), length);
    if (result == qvr::ipc::SlotOwner::ReadResult::kTimedOut) break;
    if (result != qvr::ipc::SlotOwner::ReadResult::kMessage) continue;
    latencies.push_back(static_cast<double>(NowNs() - StampOf(buffer.data())) / 1000.0);
    ++received;
  }
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  writer.join();
  Figures figures;
  figures.messages_per_second = received / seconds;
  figures.lost = count - received;
  Percentiles(latencies, figures);
  return figures;
}

Figures RunDatagramPair(int count, bool paced) {
  int pair[2];
  if (::socketpair(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0, pair) != 0) std::abort();
  const timeval limit{10, 0};
  ::setsockopt(pair[1], SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
  std::vector<double> latencies;
  latencies.reserve(static_cast<std::size_t>(count));
  int received = 0;
  const auto start = Clock::now();
  std::thread reader([&] {
    char buffer[65536];
    while (received < count && Clock::now() - start < kRunLimit) {
      const ssize_t n = ::recv(pair[1], buffer, sizeof buffer, 0);
      if (n < 0) break;
      latencies.push_back(static_cast<double>(NowNs() - StampOf(buffer)) / 1000.0);
      ++received;
    }
  });
  Produce(count, paced, [&](const std::string& message) {
    return ::send(pair[0], message.data(), message.size(), MSG_NOSIGNAL) ==
           static_cast<ssize_t>(message.size());
  });
  reader.join();
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  ::close(pair[0]);
  ::close(pair[1]);
  Figures figures;
  figures.messages_per_second = received / seconds;
  figures.lost = count - received;
  Percentiles(latencies, figures);
  return figures;
}

Figures Median(std::vector<Figures> rounds) {
  std::sort(rounds.begin(), rounds.end(), [](const Figures& a, const Figures& b) {
    return a.messages_per_second < b.messages_per_second;
  });
  return rounds[rounds.size() / 2];
}

void PrintLine(const char* what, const Figures& figures) {
  std::printf("  %-26s %10.0f msgs/s  p50 %8.1f us  p99 %8.1f us  lost %d\n", what,
              figures.messages_per_second, figures.p50_us, figures.p99_us, figures.lost);
}

void Print(const char* what, const Figures& slot, const Figures& owner, const Figures& pair,
           bool throughput) {
  std::printf("%s\n", what);
  PrintLine("reader callback (slot)", slot);
  PrintLine("owner Read only (slot)", owner);
  PrintLine("datagram pair", pair);
  if (throughput) {
    std::printf("  ratio to pair: reader callback %.2f x, owner Read %.2f x throughput\n",
                slot.messages_per_second / pair.messages_per_second,
                owner.messages_per_second / pair.messages_per_second);
  } else {
    std::printf(
        "  ratio to pair: reader callback %.2f x p50, %.2f x p99; owner Read %.2f x p50, "
        "%.2f x p99\n",
        slot.p50_us / pair.p50_us, slot.p99_us / pair.p99_us, owner.p50_us / pair.p50_us,
        owner.p99_us / pair.p99_us);
  }
}

}  // namespace

int main() {
  // Slots of this run live in a folder of their own, not among the user's.
  std::string folder = (std::filesystem::temp_directory_path() / "qvr-bench-XXXXXX").string();
  if (::mkdtemp(folder.data()) == nullptr) return 1;
  ::setenv("XDG_RUNTIME_DIR", folder.c_str(), 1);

  RunSlot(10'000, false);  // warm-up
  RunDatagramPair(10'000, false);
  // Rounds alternate between the two so that a change in the machine's load hits both;
  // the median round of each is reported.
  std::vector<Figures> slot_bursts;
  std::vector<Figures> owner_bursts;
  std::vector<Figures> pair_bursts;
  for (int round = 0; round < kRounds; ++round) {
    slot_bursts.push_back(RunSlot(kThroughputMessages, false));
    owner_bursts.push_back(RunOwner(kThroughputMessages, false));
    pair_bursts.push_back(RunDatagramPair(kThroughputMessages, false));
  }
  std::printf("%d messages of %zu bytes back to back (median of %d rounds; latency = queueing):\n",
              kThroughputMessages, kMessageSize, kRounds);
  Print("throughput", Median(slot_bursts), Median(owner_bursts), Median(pair_bursts), true);

  const Figures slot_paced = RunSlot(kLatencyMessages, true);
  const Figures owner_paced = RunOwner(kLatencyMessages, true);
  const Figures pair_paced = RunDatagramPair(kLatencyMessages, true);
  std::printf("%d messages of %zu bytes at %d/s:\n", kLatencyMessages, kMessageSize, kLatencyRate);
  Print("latency", slot_paced, owner_paced, pair_paced, false);

  std::error_code ignored;
  std::filesystem::remove_all(folder, ignored);
  return 0;
}
