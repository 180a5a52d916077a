// Load driver of the relay comparison: sends numbered, time-stamped messages into the entry
// of a relay and takes them from its exit, then prints what arrived and how fast.
//
//   compare_load_driver --way NAME --entry slot|PATH --exit slot|PATH
//                       [--burst N] [--paced N] [--rate R] [--size S]
//                       [--idle-ms MS] [--max-ms MS] [--frame-end 1]
//
// "slot" means the QVRemote slots: the entry is Quelvane\RemoteSender (written through
// TMailSlotWriter), the exit is Quelvane\Messages (owned here). A PATH is an AF_UNIX datagram
// socket: the entry one belongs to the relay, the exit one is bound here.
//
// Each message is ASCII: '#', the load letter, a 10-digit sequence number, a blank, the
// 20-digit send time (steady clock, ns), a blank, then 'x' up to the size. '#' appears only
// at the start of a message, so a received unit holding bytes of several messages (a relay
// that merges at stream read boundaries) is still taken apart and counted as merged.
// --frame-end 1 makes the last byte of each message a form feed, so that a byte-stream relay
// in front of QVRemoteServer hands it whole frames. One output line per load: "result way=...
// load=... key=value ...".
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <sys/socket.h>
#include <sys/un.h>
#include <time.h>
#include <unistd.h>

#include "ipc/mailslot_writer.h"
#include "ipc/slot_channel.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kHeader = 1 + 1 + 10 + 1 + 20;  // '#', load, sequence, ' ', stamp
constexpr std::size_t kReceiveBuffer = 1 << 17;
constexpr int kPollMs = 100;  // how often a waiting receive looks at the stop flag
constexpr char16_t kEntrySlot[] = u"Quelvane\\RemoteSender";
constexpr char16_t kExitSlot[] = u"Quelvane\\Messages";

struct Options {
  std::string way = "relay";
  std::string entry = "slot";
  std::string exit = "slot";
  int burst = 200'000;
  int paced = 5'000;
  int rate = 1'000;
  std::size_t size = 100;
  int idle_ms = 3'000;
  int max_ms = 60'000;
  bool frame_end = false;
};

std::int64_t NowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch())
      .count();
}

void PutDigits(char* at, std::uint64_t value, int width) {
  for (int i = width - 1; i >= 0; --i, value /= 10) at[i] = static_cast<char>('0' + value % 10);
}

std::uint64_t GetDigits(const char* at, int width, bool& ok) {
  std::uint64_t value = 0;
  for (int i = 0; i < width; ++i) {
    if (at[i] < '0' || at[i] > '9') ok = false;
    value = value * 10 + static_cast<std::uint64_t>(at[i] - '0');
  }
  return value;
}

// What arrived of one load.
struct LoadCount {
  explicit LoadCount(int expected) : seen(static_cast<std::size_t>(expected), 0) {
    latencies_ns.reserve(static_cast<std::size_t>(expected));
  }
  std::vector<std::uint8_t> seen;
  std::vector<std::int64_t> latencies_ns;
  std::int64_t unique = 0, duplicated = 0, out_of_order = 0, bad = 0;
  std::int64_t last_sequence = -1;
  std::int64_t last_arrival_ns = 0;
  std::atomic<std::int64_t> progress{0};  // every message taken apart, for the idle check
};

// Takes received units (datagrams or slot messages) apart into our messages. One thread
// feeds it; Snapshot-style reads happen under the same lock.
class Arrivals {
 public:
  Arrivals(int burst, int paced) : burst_(burst), paced_(paced) {}

  void Unit(const char* data, std::size_t length, std::int64_t now) {
    std::lock_guard lock(mutex_);
    ++units_;
    const auto starts = std::count(data, data + length, '#');
    if (starts > 1) {
      ++merged_units_;
      merged_messages_ += starts;
    }
    if (starts != 1 || data[0] != '#') ++cut_units_;
    const bool padding_only =
        std::all_of(data, data + length, [](char c) { return c == 'x' || c == '\x0c'; });
    if (starts == 0 && !padding_only && carry_.empty() && foreign_shown_ < 3) {
      // Not a piece of ours: another program wrote here (port 19150 is shared on this host).
      ++foreign_shown_;
      std::fprintf(stderr, "compare_load_driver: a unit that is none of ours, %zu bytes: %.*s\n",
                   length, static_cast<int>(std::min<std::size_t>(length, 60)), data);
    }
    carry_.append(data, length);
    TakeApart(now);
  }

  LoadCount& Load(char letter) { return letter == 'B' ? burst_ : paced_; }
  std::mutex& Mutex() { return mutex_; }
  std::int64_t units() const { return units_; }
  std::int64_t merged_units() const { return merged_units_; }
  std::int64_t merged_messages() const { return merged_messages_; }
  std::int64_t cut_units() const { return cut_units_; }

  // Counters are per run; a load's share is the difference of two readings.
  struct Marks {
    std::int64_t units, merged_units, merged_messages, cut_units;
  };
  Marks Mark() {
    std::lock_guard lock(mutex_);
    return {units_, merged_units_, merged_messages_, cut_units_};
  }

 private:
  void TakeApart(std::int64_t now) {
    std::size_t at = 0;
    for (;;) {
      const std::size_t head = carry_.find('#', at);
      if (head == std::string::npos) {
        carry_.clear();
        return;
      }
      if (carry_.size() - head < kHeader) {
        carry_.erase(0, head);
        return;
      }
      Record(carry_.data() + head, now);
      at = head + 1;
    }
  }

  void Record(const char* header, std::int64_t now) {
    bool ok = header[1] == 'B' || header[1] == 'P';
    const auto sequence = static_cast<std::int64_t>(GetDigits(header + 2, 10, ok));
    const auto stamp = static_cast<std::int64_t>(GetDigits(header + 13, 20, ok));
    LoadCount& load = Load(ok ? header[1] : 'B');
    load.progress.fetch_add(1, std::memory_order_relaxed);
    if (!ok || sequence >= static_cast<std::int64_t>(load.seen.size())) {
      ++load.bad;
      return;
    }
    auto& seen = load.seen[static_cast<std::size_t>(sequence)];
    if (seen) {
      ++load.duplicated;
      return;
    }
    seen = 1;
    ++load.unique;
    if (sequence < load.last_sequence) ++load.out_of_order;
    load.last_sequence = std::max(load.last_sequence, sequence);
    load.last_arrival_ns = now;
    load.latencies_ns.push_back(now - stamp);
  }

  std::mutex mutex_;
  std::string carry_;
  LoadCount burst_, paced_;
  std::int64_t units_ = 0, merged_units_ = 0, merged_messages_ = 0, cut_units_ = 0;
  int foreign_shown_ = 0;
};

// The receiving end: owns the exit slot or binds the exit datagram socket.
class Exit {
 public:
  virtual ~Exit() = default;
  // One unit into `buffer`; false when nothing came within kPollMs.
  virtual bool Receive(std::vector<char>& buffer, std::size_t& length) = 0;
};

class SlotExit final : public Exit {
 public:
  SlotExit()
      : owner_(qvr::ipc::SystemSlots().Create(kExitSlot, qvr::ipc::kSlotMaxMessage, kPollMs)) {
    if (!owner_) throw std::runtime_error("cannot own the slot Quelvane\\Messages");
  }
  bool Receive(std::vector<char>& buffer, std::size_t& length) override {
    return owner_->Read(buffer.data(), buffer.size(), length) ==
           qvr::ipc::SlotOwner::ReadResult::kMessage;
  }

 private:
  std::unique_ptr<qvr::ipc::SlotOwner> owner_;
};

sockaddr_un UnixAddress(const std::string& path) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) throw std::runtime_error("path too long: " + path);
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  return address;
}

class DatagramExit final : public Exit {
 public:
  explicit DatagramExit(const std::string& path) : path_(path) {
    fd_ = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    const sockaddr_un address = UnixAddress(path);
    unlink(path.c_str());
    if (fd_ < 0 || bind(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
      throw std::runtime_error("cannot bind " + path + ": " + std::strerror(errno));
    const int size = 4 << 20;
    setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
    timeval wait{0, kPollMs * 1000};
    setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
  }
  ~DatagramExit() override {
    close(fd_);
    unlink(path_.c_str());
  }
  bool Receive(std::vector<char>& buffer, std::size_t& length) override {
    const ssize_t got = recv(fd_, buffer.data(), buffer.size(), 0);
    if (got < 0) return false;
    length = static_cast<std::size_t>(got);
    return true;
  }

 private:
  std::string path_;
  int fd_ = -1;
};

// The sending end.
class Entry {
 public:
  virtual ~Entry() = default;
  // False when the message was not placed.
  virtual bool Send(const std::string& message) = 0;
};

class SlotEntry final : public Entry {
 public:
  SlotEntry() : writer_(kEntrySlot) {}
  bool Send(const std::string& message) override {
    return writer_.Write(message.data(), static_cast<std::int32_t>(message.size())) ==
           static_cast<std::int32_t>(message.size());
  }

 private:
  qvr::TMailSlotWriter writer_;
};

// A blocking, connected datagram socket: a full receive queue at the relay holds the sender
// back instead of dropping.
class DatagramEntry final : public Entry {
 public:
  explicit DatagramEntry(const std::string& path) {
    fd_ = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    const sockaddr_un address = UnixAddress(path);
    if (fd_ < 0 || connect(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
      throw std::runtime_error("cannot connect to " + path + ": " + std::strerror(errno));
  }
  ~DatagramEntry() override { close(fd_); }
  bool Send(const std::string& message) override {
    return send(fd_, message.data(), message.size(), MSG_NOSIGNAL) ==
           static_cast<ssize_t>(message.size());
  }

 private:
  int fd_ = -1;
};

struct SendResult {
  std::int64_t first_ns = 0;
  std::int64_t unplaced = 0;
};

// Sends `count` messages, back to back (rate 0) or paced at `rate` per second.
SendResult SendLoad(Entry& entry, char letter, int count, int rate, const Options& options,
                    std::int64_t give_up_ns) {
  std::string message(options.size, 'x');
  if (options.frame_end) message.back() = '\x0c';
  message[0] = '#';
  message[1] = letter;
  message[12] = ' ';
  message[33] = ' ';
  SendResult result;
  result.first_ns = NowNs();
  for (int i = 0; i < count; ++i) {
    if (rate > 0) {
      const std::int64_t due = result.first_ns + std::int64_t{1'000'000'000} * i / rate;
      const timespec when{static_cast<time_t>(due / 1'000'000'000), due % 1'000'000'000};
      clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &when, nullptr);
    }
    PutDigits(message.data() + 2, static_cast<std::uint64_t>(i), 10);
    const std::int64_t now = NowNs();
    PutDigits(message.data() + 13, static_cast<std::uint64_t>(now), 20);
    if (!entry.Send(message)) ++result.unplaced;
    if (now > give_up_ns) {
      result.unplaced += count - i - 1;
      break;
    }
  }
  return result;
}

// Waits until all of a load arrived, or nothing new came for idle_ms, or the run limit.
bool AwaitLoad(LoadCount& load, std::int64_t expected, int idle_ms, std::int64_t give_up_ns) {
  std::int64_t last = -1;
  std::int64_t last_change = NowNs();
  for (;;) {
    const std::int64_t now = NowNs();
    const std::int64_t progress = load.progress.load(std::memory_order_relaxed);
    if (progress >= expected) return true;
    if (progress != last) {
      last = progress;
      last_change = now;
    }
    if (now - last_change > std::int64_t{idle_ms} * 1'000'000 || now > give_up_ns) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

std::int64_t Percentile(std::vector<std::int64_t>& sorted, int p) {
  if (sorted.empty()) return -1;
  return sorted[std::min(sorted.size() - 1, sorted.size() * static_cast<std::size_t>(p) / 100)];
}

void Report(const Options& options, const char* name, Arrivals& arrivals, char letter, int count,
            const SendResult& sent, bool complete, const Arrivals::Marks& before,
            const Arrivals::Marks& after) {
  std::lock_guard lock(arrivals.Mutex());
  LoadCount& load = arrivals.Load(letter);
  std::sort(load.latencies_ns.begin(), load.latencies_ns.end());
  const double seconds = load.unique ? (load.last_arrival_ns - sent.first_ns) / 1e9 : 0;
  std::printf(
      "result way=%s load=%s sent=%d unplaced=%lld arrived=%lld lost=%lld duplicated=%lld "
      "merged_units=%lld merged_messages=%lld cut_units=%lld out_of_order=%lld bad=%lld "
      "units=%lld seconds=%.4f msgs_per_s=%.0f p50_us=%.1f p99_us=%.1f max_us=%.1f "
      "complete=%d\n",
      options.way.c_str(), name, count, static_cast<long long>(sent.unplaced),
      static_cast<long long>(load.unique), static_cast<long long>(count - load.unique),
      static_cast<long long>(load.duplicated),
      static_cast<long long>(after.merged_units - before.merged_units),
      static_cast<long long>(after.merged_messages - before.merged_messages),
      static_cast<long long>(after.cut_units - before.cut_units),
      static_cast<long long>(load.out_of_order), static_cast<long long>(load.bad),
      static_cast<long long>(after.units - before.units), seconds,
      seconds > 0 ? load.unique / seconds : 0.0, Percentile(load.latencies_ns, 50) / 1e3,
      Percentile(load.latencies_ns, 99) / 1e3,
      load.latencies_ns.empty() ? -1.0 : load.latencies_ns.back() / 1e3, complete ? 1 : 0);
  std::fflush(stdout);
}

Options Parse(int argc, char** argv) {
  Options options;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string key = argv[i];
    const char* value = argv[i + 1];
    if (key == "--way")
      options.way = value;
    else if (key == "--entry")
      options.entry = value;
    else if (key == "--exit")
      options.exit = value;
    else if (key == "--burst")
      options.burst = std::atoi(value);
    else if (key == "--paced")
      options.paced = std::atoi(value);
    else if (key == "--rate")
      options.rate = std::atoi(value);
    else if (key == "--size")
      options.size = static_cast<std::size_t>(std::atoi(value));
    else if (key == "--idle-ms")
      options.idle_ms = std::atoi(value);
    else if (key == "--max-ms")
      options.max_ms = std::atoi(value);
    else if (key == "--frame-end")
      options.frame_end = std::atoi(value) != 0;
    else
      throw std::runtime_error("unknown option " + key);
  }
  if (argc % 2 == 0) throw std::runtime_error("an option lacks its value");
  if (options.size < kHeader + 1 || options.size > 65535 || options.burst < 0 ||
      options.paced < 0 || options.rate <= 0 || options.max_ms <= 0)
    throw std::runtime_error("bad option values");
  return options;
}

int Run(const Options& options) {
  std::unique_ptr<Exit> exit;
  if (options.exit == "slot")
    exit = std::make_unique<SlotExit>();
  else
    exit = std::make_unique<DatagramExit>(options.exit);
  Arrivals arrivals(options.burst, options.paced);
  std::atomic<bool> stop{false};
  std::thread receiver([&] {
    std::vector<char> buffer(kReceiveBuffer);
    std::size_t length = 0;
    while (!stop.load()) {
      if (exit->Receive(buffer, length)) arrivals.Unit(buffer.data(), length, NowNs());
    }
  });
  int status = 0;
  try {
    std::unique_ptr<Entry> entry;
    if (options.entry == "slot")
      entry = std::make_unique<SlotEntry>();
    else
      entry = std::make_unique<DatagramEntry>(options.entry);
    const std::int64_t give_up = NowNs() + std::int64_t{options.max_ms} * 1'000'000;
    struct Step {
      const char* name;
      char letter;
      int count;
      int rate;
    };
    for (const Step step :
         {Step{"burst", 'B', options.burst, 0}, Step{"paced", 'P', options.paced, options.rate}}) {
      if (step.count == 0) continue;
      const auto before = arrivals.Mark();
      const SendResult sent =
          SendLoad(*entry, step.letter, step.count, step.rate, options, give_up);
      const bool complete =
          AwaitLoad(arrivals.Load(step.letter), step.count, options.idle_ms, give_up);
      if (!complete) status = 1;
      Report(options, step.name, arrivals, step.letter, step.count, sent, complete, before,
             arrivals.Mark());
    }
  } catch (const std::exception& error) {
    std::fprintf(stderr, "compare_load_driver: %s\n", error.what());
    status = 2;
  }
  stop = true;
  receiver.join();
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return Run(Parse(argc, argv));
  } catch (const std::exception& error) {
    std::fprintf(stderr, "compare_load_driver: %s\n", error.what());
    return 2;
  }
}
