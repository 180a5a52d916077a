// Fixtures for the server's tests: a UI thread with its own event loop, a slot backend that
// records what the server writes, and a blocking loopback client.
#pragma once

#include <asio.hpp>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "ipc/event_loop.h"
#include "ipc/slot_channel.h"

namespace qvr::server::test {

inline constexpr std::chrono::seconds kPatience{10};

// Waits up to `limit` for `done` to become true; returns its last answer.
bool Eventually(const std::function<bool()>& done,
                std::chrono::milliseconds limit = std::chrono::seconds(kPatience));

// A thread that runs an EventLoop, standing in for the programs' UI thread.
class UiThread {
 public:
  UiThread();
  ~UiThread();
  UiThread(const UiThread&) = delete;
  UiThread& operator=(const UiThread&) = delete;

  EventLoop& loop() { return *loop_; }

  // Runs `f` on the UI thread and waits for it; rethrows what it threw.
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

// Every message written into any slot through it, in the order written.
class RecordingSlots final : public ipc::SlotBackend {
 public:
  std::unique_ptr<ipc::SlotOwner> Create(std::u16string_view, std::uint32_t, int) override {
    return nullptr;
  }
  std::unique_ptr<ipc::SlotOpening> Open(std::u16string_view name) override;

  std::vector<std::string> Messages() const;
  // Waits until at least `count` messages have arrived; false on time-out.
  bool WaitForCount(std::size_t count) const;
  std::vector<std::u16string> OpenedNames() const;

 private:
  void Add(std::string message);

  mutable std::mutex mutex_;
  mutable std::condition_variable arrived_;
  std::vector<std::string> messages_;
  std::vector<std::u16string> opened_;
};

// A blocking loopback connection with a generous receive time-out.
class TestClient {
 public:
  TestClient(const asio::ip::address& address, std::uint16_t port);
  explicit TestClient(std::uint16_t port);  // 127.0.0.1

  void Send(std::string_view bytes);
  // Reads exactly `count` bytes; throws on end of stream or time-out.
  std::string ReadExactly(std::size_t count);
  // Reads until the server closes; the bytes that came. Throws on time-out.
  std::string ReadUntilClosed();
  // Closes with a reset instead of an orderly end.
  void Reset();
  void Close();
  asio::ip::tcp::socket& socket() { return socket_; }

 private:
  asio::io_context io_;
  asio::ip::tcp::socket socket_{io_};
};

}  // namespace qvr::server::test
