// Shared pieces of the server benchmarks: a UI thread with its event loop, a private slot
// folder, a slot owner that reads on its own thread, and raw loopback clients.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <stdexcept>
#include <string>
#include <thread>

#include "ipc/event_loop.h"
#include "ipc/slot_channel.h"

namespace qvr::bench {

using Clock = std::chrono::steady_clock;

inline std::int64_t NowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch())
      .count();
}

// Points the slots at a fresh folder so the benchmark touches no real slot.
class PrivateSlotFolder {
 public:
  PrivateSlotFolder() {
    char pattern[] = "/tmp/qvr-bench-XXXXXX";
    if (mkdtemp(pattern) == nullptr) throw std::runtime_error("mkdtemp");
    path_ = pattern;
    setenv("XDG_RUNTIME_DIR", pattern, 1);
  }
  ~PrivateSlotFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }

 private:
  std::filesystem::path path_;
};

class UiThread {
 public:
  UiThread() {
    std::promise<EventLoop*> ready;
    auto started = ready.get_future();
    thread_ = std::thread([this, &ready] {
      EventLoop loop;
      ready.set_value(&loop);
      loop.Run();
      released_.get_future().wait();  // Quit has returned on its caller's thread
    });
    loop_ = started.get();
  }
  ~UiThread() {
    loop_->Quit();
    released_.set_value();
    thread_.join();
  }
  template <typename F>
  auto Call(F f) -> decltype(f()) {
    std::packaged_task<decltype(f())()> task(std::move(f));
    auto result = task.get_future();
    loop_->Post([&task] { task(); });
    return result.get();
  }

 private:
  std::promise<void> released_;
  std::thread thread_;
  EventLoop* loop_ = nullptr;
};

// Reads the slot on its own thread and hands each message to `on_message`.
class SlotReader {
 public:
  SlotReader(std::u16string_view name, std::function<void(std::string_view)> on_message)
      : owner_(ipc::SystemSlots().Create(name, ipc::kSlotMaxMessage, 200)),
        on_message_(std::move(on_message)) {
    if (!owner_) throw std::runtime_error("cannot own the slot");
    thread_ = std::thread([this] { Loop(); });
  }
  ~SlotReader() {
    stop_ = true;
    owner_->Close();
    thread_.join();
  }

 private:
  void Loop() {
    std::string buffer(ipc::kSlotMaxMessage, '\0');
    while (!stop_) {
      std::size_t length = 0;
      const auto result = owner_->Read(buffer.data(), buffer.size(), length);
      if (result == ipc::SlotOwner::ReadResult::kMessage) on_message_({buffer.data(), length});
      if (result == ipc::SlotOwner::ReadResult::kClosed) return;
    }
  }

  std::unique_ptr<ipc::SlotOwner> owner_;
  std::function<void(std::string_view)> on_message_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

// A blocking loopback connection; -1 on failure.
inline int ConnectLoopback(std::uint16_t port) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return -1;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

inline bool ReadExactly(int fd, std::size_t count) {
  char buffer[64];
  while (count > 0) {
    const ssize_t n = read(fd, buffer, std::min(count, sizeof buffer));
    if (n <= 0) return false;
    count -= static_cast<std::size_t>(n);
  }
  return true;
}

inline bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

// A field of /proc/self/status, such as "VmRSS" (in kB) or "Threads".
inline long ProcStatus(const std::string& field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind(field + ":", 0) == 0) return std::stol(line.substr(field.size() + 1));
  }
  return -1;
}

}  // namespace qvr::bench
