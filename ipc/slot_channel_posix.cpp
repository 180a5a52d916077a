// The slot channel on POSIX systems: one AF_UNIX SOCK_SEQPACKET listener per slot, guarded
// by an flock on a lock file so that only one process owns a name and a crashed owner's
// leftovers never block the next one. Each writer opening is one connection. The wire
// format is described in docs/slot-endpoint.md.
#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <optional>
#include <unordered_set>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include "ipc/slot_channel.h"
#include "ipc/slot_endpoint_posix.h"

namespace qvr::ipc {

namespace {

using Clock = std::chrono::steady_clock;

// The owner greets each connection with "QVS1" and its largest message (uint32, little endian).
constexpr std::array<char, 4> kHelloMagic = {'Q', 'V', 'S', '1'};
constexpr std::size_t kHelloSize = 8;
// Every record starts with this byte: a zero-byte message is then a one-byte record, which
// recvmsg tells apart from the end of the connection (both would read as 0 bytes).
constexpr unsigned char kMessageHeader = 0x01;
constexpr int kListenBacklog = 128;
// How long an Open waits for the owner's greeting, and a Write for room in a full queue.
constexpr std::chrono::milliseconds kOpenTimeout{1000};
constexpr std::chrono::milliseconds kFullQueueTimeout{1000};
// Messages taken from the cached ready list before looking again for other ready writers,
// so that one busy writer cannot starve the others.
constexpr int kRefreshEvery = 64;
constexpr int kMaxEvents = 64;

class Fd {
 public:
  Fd() = default;
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() { Reset(); }
  Fd(Fd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  Fd& operator=(Fd&& other) noexcept {
    if (this != &other) {
      Reset();
      fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;

  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  int Release() { return std::exchange(fd_, -1); }
  void Reset() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

 private:
  int fd_ = -1;
};

// Milliseconds left until `deadline` for poll/epoll_wait, rounded up; 0 once it has passed.
int MillisecondsLeft(Clock::time_point deadline) {
  const auto left = deadline - Clock::now();
  if (left <= Clock::duration::zero()) return 0;
  return static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(left).count());
}

bool WaitFor(int fd, short events, Clock::time_point deadline) {
  while (true) {
    pollfd entry{fd, events, 0};
    const int ready = ::poll(&entry, 1, MillisecondsLeft(deadline));
    if (ready > 0) return true;
    if (ready == 0) return false;
    if (errno != EINTR) return false;
  }
}

sockaddr_un AddressOf(const std::string& path) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, path.data(), path.size());  // length checked when resolved
  return address;
}

std::array<char, kHelloSize> MakeHello(std::uint32_t max_message) {
  std::array<char, kHelloSize> hello{};
  std::copy(kHelloMagic.begin(), kHelloMagic.end(), hello.begin());
  for (std::size_t i = 0; i < 4; ++i) {
    hello[4 + i] = static_cast<char>((max_message >> (8 * i)) & 0xFF);
  }
  return hello;
}

std::optional<std::uint32_t> ParseHello(const char* data, std::size_t size) {
  if (size != kHelloSize || !std::equal(kHelloMagic.begin(), kHelloMagic.end(), data)) {
    return std::nullopt;
  }
  std::uint32_t max_message = 0;
  for (std::size_t i = 0; i < 4; ++i) {
    max_message |= static_cast<std::uint32_t>(static_cast<unsigned char>(data[4 + i])) << (8 * i);
  }
  return max_message;
}

class PosixSlotOpening final : public SlotOpening {
 public:
  PosixSlotOpening(Fd socket, std::uint32_t max_message)
      : socket_(std::move(socket)), max_message_(max_message) {}

  bool Write(const char* data, std::size_t count) override {
    if (count > max_message_) return false;
    unsigned char header = kMessageHeader;
    std::array<iovec, 2> parts = {iovec{&header, 1}, iovec{const_cast<char*>(data), count}};
    msghdr message{};
    message.msg_iov = parts.data();
    message.msg_iovlen = parts.size();
    std::optional<Clock::time_point> deadline;
    while (true) {
      const ssize_t sent = ::sendmsg(socket_.get(), &message, MSG_NOSIGNAL | MSG_DONTWAIT);
      if (sent >= 0) return static_cast<std::size_t>(sent) == count + 1;
      if (errno == EINTR) continue;
      if (errno != EAGAIN && errno != EWOULDBLOCK) return false;
      // The owner's queue is full: wait for room, but not for ever.
      if (!deadline) deadline = Clock::now() + kFullQueueTimeout;
      if (!WaitFor(socket_.get(), POLLOUT, *deadline)) return false;
    }
  }

 private:
  Fd socket_;
  std::uint32_t max_message_;
};

class PosixSlotOwner final : public SlotOwner {
 public:
  PosixSlotOwner(posix::SlotEndpoint endpoint, Fd lock, Fd listener, Fd epoll, Fd wake,
                 std::uint32_t max_message, int read_timeout_ms)
      : endpoint_(std::move(endpoint)),
        lock_(std::move(lock)),
        listener_(std::move(listener)),
        epoll_(std::move(epoll)),
        wake_(std::move(wake)),
        hello_(MakeHello(max_message)),
        max_message_(max_message),
        read_timeout_ms_(read_timeout_ms) {}

  ~PosixSlotOwner() override { Close(); }
  PosixSlotOwner(const PosixSlotOwner&) = delete;
  PosixSlotOwner& operator=(const PosixSlotOwner&) = delete;

  ReadResult Read(char* buffer, std::size_t capacity, std::size_t& length) override {
    {
      std::lock_guard lock(mutex_);
      if (closed_) return ReadResult::kClosed;
      reading_ = true;
    }
    const ReadResult result =
        ReadWhileOpen(buffer, std::min<std::size_t>(capacity, max_message_), length);
    {
      std::lock_guard lock(mutex_);
      reading_ = false;
    }
    idle_.notify_all();
    return result;
  }

  // Wakes a waiting Read and lets it leave before the descriptors go, so that no thread
  // ever waits on or reads a descriptor that is being closed.
  void Close() override {
    closing_.store(true, std::memory_order_release);
    std::unique_lock lock(mutex_);
    closed_ = true;
    if (torn_down_) return;
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t ignored = ::write(wake_.get(), &one, sizeof one);
    idle_.wait(lock, [this] { return !reading_; });
    if (!torn_down_) TearDown();
  }

 private:
  enum class Take { kMessage, kEmpty, kDropped, kGone };

  ReadResult ReadWhileOpen(char* buffer, std::size_t capacity, std::size_t& length) {
    const bool timed = read_timeout_ms_ != kWaitForever;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timed ? read_timeout_ms_ : 0);
    while (true) {
      if (closing_.load(std::memory_order_acquire)) return ReadResult::kClosed;
      if (std::optional<ReadResult> result = TakeReady(buffer, capacity, length)) return *result;
      const int count = WaitReady(timed ? MillisecondsLeft(deadline) : -1);
      if (count < 0) return ReadResult::kFailed;
      if (count == 0 && timed) return ReadResult::kTimedOut;
    }
  }

  // Fills the ready list from epoll; the number of ready descriptors, or -1 on failure.
  int WaitReady(int timeout_ms) {
    std::array<epoll_event, kMaxEvents> events{};
    int count = 0;
    do {
      count = ::epoll_wait(epoll_.get(), events.data(), kMaxEvents, timeout_ms);
    } while (count < 0 && errno == EINTR);
    ready_.clear();
    cursor_ = 0;
    until_refresh_ = kRefreshEvery;
    for (int i = 0; i < count; ++i) ready_.push_back(events[static_cast<std::size_t>(i)].data.fd);
    return count;
  }

  // Takes one message from the ready connections in turn; none when all are drained.
  std::optional<ReadResult> TakeReady(char* buffer, std::size_t capacity, std::size_t& length) {
    while (!ready_.empty()) {
      if (closing_.load(std::memory_order_acquire)) return ReadResult::kClosed;
      if (until_refresh_ <= 0 && WaitReady(0) <= 0) break;
      if (cursor_ >= ready_.size()) cursor_ = 0;
      const int fd = ready_[cursor_];
      if (fd == wake_.get()) return ReadResult::kClosed;
      if (fd == listener_.get()) {
        AcceptPending();
        ForgetReady();
        continue;
      }
      switch (Receive(fd, buffer, capacity, length)) {
        case Take::kMessage:
          ++cursor_;
          --until_refresh_;
          return ReadResult::kMessage;
        case Take::kDropped:
          ++cursor_;
          --until_refresh_;
          break;
        case Take::kEmpty:
          ForgetReady();
          break;
        case Take::kGone:
          DropConnection(fd);
          ForgetReady();
          break;
      }
    }
    return std::nullopt;
  }

  void ForgetReady() { ready_.erase(ready_.begin() + static_cast<std::ptrdiff_t>(cursor_)); }

  Take Receive(int fd, char* buffer, std::size_t capacity, std::size_t& length) {
    unsigned char header = 0;
    std::array<iovec, 2> parts = {iovec{&header, 1}, iovec{buffer, capacity}};
    msghdr message{};
    message.msg_iov = parts.data();
    message.msg_iovlen = parts.size();
    ssize_t received = 0;
    do {
      received = ::recvmsg(fd, &message, MSG_DONTWAIT);
    } while (received < 0 && errno == EINTR);
    if (received < 0) return (errno == EAGAIN || errno == EWOULDBLOCK) ? Take::kEmpty : Take::kGone;
    if (received == 0) return Take::kGone;  // every record has its header byte
    // Longer than the limit, or not one of our records: dropped, never delivered in part.
    if ((message.msg_flags & MSG_TRUNC) != 0 || header != kMessageHeader) return Take::kDropped;
    length = static_cast<std::size_t>(received) - 1;
    return Take::kMessage;
  }

  void AcceptPending() {
    while (true) {
      const int fd = ::accept4(listener_.get(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
      if (fd < 0) {
        if (errno == EINTR || errno == ECONNABORTED) continue;
        return;
      }
      Fd connection(fd);
      if (::send(fd, hello_.data(), hello_.size(), MSG_NOSIGNAL | MSG_DONTWAIT) !=
          static_cast<ssize_t>(hello_.size())) {
        continue;
      }
      epoll_event event{};
      event.events = EPOLLIN;
      event.data.fd = fd;
      if (::epoll_ctl(epoll_.get(), EPOLL_CTL_ADD, fd, &event) != 0) continue;
      connections_.insert(connection.Release());
    }
  }

  void DropConnection(int fd) {
    ::epoll_ctl(epoll_.get(), EPOLL_CTL_DEL, fd, nullptr);
    connections_.erase(fd);
    ::close(fd);
  }

  // The name is freed while the lock is still held, so a new owner never meets our socket.
  void TearDown() {
    ::unlink(endpoint_.socket_path.c_str());
    listener_.Reset();
    for (const int fd : connections_) ::close(fd);
    connections_.clear();
    ready_.clear();
    epoll_.Reset();
    wake_.Reset();
    lock_.Reset();
    torn_down_ = true;
  }

  posix::SlotEndpoint endpoint_;
  Fd lock_;
  Fd listener_;
  Fd epoll_;
  Fd wake_;
  const std::array<char, kHelloSize> hello_;
  const std::uint32_t max_message_;
  const int read_timeout_ms_;

  // Used by the reading thread only (and by Close once no Read runs).
  std::unordered_set<int> connections_;
  std::vector<int> ready_;
  std::size_t cursor_ = 0;
  int until_refresh_ = kRefreshEvery;

  std::atomic<bool> closing_{false};
  std::mutex mutex_;
  std::condition_variable idle_;
  bool reading_ = false;
  bool closed_ = false;
  bool torn_down_ = false;
};

class PosixSlotBackend final : public SlotBackend {
 public:
  std::unique_ptr<SlotOwner> Create(std::u16string_view name, std::uint32_t max_message,
                                    int read_timeout_ms) override {
    std::optional<posix::SlotEndpoint> endpoint = posix::ResolveEndpoint(name, true);
    if (!endpoint) return nullptr;
    Fd lock(::open(endpoint->lock_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (!lock.valid() || ::flock(lock.get(), LOCK_EX | LOCK_NB) != 0) return nullptr;
    // We own the name: whatever socket file is left belongs to a dead owner.
    ::unlink(endpoint->socket_path.c_str());
    Fd listener(::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!listener.valid()) return nullptr;
    const sockaddr_un address = AddressOf(endpoint->socket_path);
    if (::bind(listener.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
      return nullptr;
    }
    Fd epoll(::epoll_create1(EPOLL_CLOEXEC));
    Fd wake(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC));
    if (::listen(listener.get(), kListenBacklog) != 0 || !epoll.valid() || !wake.valid() ||
        !Watch(epoll.get(), listener.get()) || !Watch(epoll.get(), wake.get())) {
      ::unlink(endpoint->socket_path.c_str());
      return nullptr;
    }
    return std::make_unique<PosixSlotOwner>(std::move(*endpoint), std::move(lock),
                                            std::move(listener), std::move(epoll), std::move(wake),
                                            max_message, read_timeout_ms);
  }

  std::unique_ptr<SlotOpening> Open(std::u16string_view name) override {
    std::optional<posix::SlotEndpoint> endpoint = posix::ResolveEndpoint(name, false);
    if (!endpoint) return nullptr;
    const auto deadline = Clock::now() + kOpenTimeout;
    Fd socket(::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0));
    if (!socket.valid() || !Connect(socket.get(), endpoint->socket_path)) return nullptr;
    // A hung owner never greets: the open fails instead of blocking the writer.
    if (!WaitFor(socket.get(), POLLIN, deadline)) return nullptr;
    std::array<char, kHelloSize + 1> hello{};
    const ssize_t received = ::recv(socket.get(), hello.data(), hello.size(), MSG_DONTWAIT);
    if (received < 0) return nullptr;
    const std::optional<std::uint32_t> max_message =
        ParseHello(hello.data(), static_cast<std::size_t>(received));
    if (!max_message) return nullptr;
    return std::make_unique<PosixSlotOpening>(std::move(socket), *max_message);
  }

 private:
  static bool Watch(int epoll, int fd) {
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.fd = fd;
    return ::epoll_ctl(epoll, EPOLL_CTL_ADD, fd, &event) == 0;
  }

  // A blocking connect waits while the owner's backlog is full, bounded by the send time-out.
  static bool Connect(int socket, const std::string& path) {
    const timeval limit{static_cast<time_t>(kOpenTimeout.count() / 1000),
                        static_cast<suseconds_t>((kOpenTimeout.count() % 1000) * 1000)};
    if (::setsockopt(socket, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit) != 0) return false;
    const sockaddr_un address = AddressOf(path);
    int result = 0;
    do {
      result = ::connect(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    } while (result != 0 && errno == EINTR);
    return result == 0;
  }
};

}  // namespace

SlotBackend& SystemSlots() {
  static PosixSlotBackend backend;
  return backend;
}

}  // namespace qvr::ipc
