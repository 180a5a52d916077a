#include "tests/server/server_test_support.h"

#include "tests/server/receive_timeout.h"

#include <stdexcept>

namespace qvr::server::test {

bool Eventually(const std::function<bool()>& done, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

UiThread::UiThread() {
  std::promise<EventLoop*> ready;
  auto started = ready.get_future();
  thread_ = std::thread([this, &ready] {
    EventLoop loop;
    ready.set_value(&loop);
    loop.Run();
    // The loop goes only once Quit has returned on the thread that called it.
    released_.get_future().wait();
    loop.ProcessPending();  // tasks posted before the quit still run
  });
  loop_ = started.get();
}

UiThread::~UiThread() {
  loop_->Quit();
  released_.set_value();
  thread_.join();
}

namespace {

class RecordingOpening final : public ipc::SlotOpening {
 public:
  explicit RecordingOpening(std::function<void(std::string)> sink) : sink_(std::move(sink)) {}
  bool Write(const char* data, std::size_t count) override {
    sink_(std::string(data, count));
    return true;
  }

 private:
  std::function<void(std::string)> sink_;
};

}  // namespace

std::unique_ptr<ipc::SlotOpening> RecordingSlots::Open(std::u16string_view name) {
  {
    std::lock_guard lock(mutex_);
    opened_.emplace_back(name);
  }
  return std::make_unique<RecordingOpening>([this](std::string m) { Add(std::move(m)); });
}

void RecordingSlots::Add(std::string message) {
  {
    std::lock_guard lock(mutex_);
    messages_.push_back(std::move(message));
  }
  arrived_.notify_all();
}

std::vector<std::string> RecordingSlots::Messages() const {
  std::lock_guard lock(mutex_);
  return messages_;
}

bool RecordingSlots::WaitForCount(std::size_t count) const {
  std::unique_lock lock(mutex_);
  return arrived_.wait_for(lock, kPatience, [&] { return messages_.size() >= count; });
}

std::vector<std::u16string> RecordingSlots::OpenedNames() const {
  std::lock_guard lock(mutex_);
  return opened_;
}

TestClient::TestClient(const asio::ip::address& address, std::uint16_t port) {
  socket_.connect(asio::ip::tcp::endpoint(address, port));
  SetReceiveTimeout(socket_, kPatience);
}

TestClient::TestClient(std::uint16_t port) : TestClient(asio::ip::address_v4::loopback(), port) {}

void TestClient::Send(std::string_view bytes) {
  asio::write(socket_, asio::buffer(bytes.data(), bytes.size()));
}

std::string TestClient::ReadExactly(std::size_t count) {
  std::string bytes(count, '\0');
  asio::read(socket_, asio::buffer(bytes));
  return bytes;
}

std::string TestClient::ReadUntilClosed() {
  std::string bytes;
  char chunk[4096];
  for (;;) {
    asio::error_code error;
    const std::size_t n = socket_.read_some(asio::buffer(chunk), error);
    bytes.append(chunk, n);
    if (error == asio::error::eof || error == asio::error::connection_reset) return bytes;
    if (error) throw std::runtime_error("read failed: " + error.message());
  }
}

void TestClient::Reset() {
  socket_.set_option(asio::socket_base::linger(true, 0));
  socket_.close();
}

void TestClient::Close() {
  socket_.close();
}

}  // namespace qvr::server::test
