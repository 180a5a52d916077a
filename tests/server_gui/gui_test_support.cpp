#include "tests/server_gui/gui_test_support.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>

namespace qvr::test {

namespace {

sockaddr_in Loopback(unsigned short port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return address;
}

}  // namespace

TopLevelCatcher::TopLevelCatcher()
    : previous_(gui::SetTopLevelHandler([this](std::exception_ptr error) {
        try {
          std::rethrow_exception(error);
        } catch (const std::exception& e) {
          messages_.push_back(e.what());
        } catch (...) {
          messages_.push_back("?");
        }
      })) {}

TopLevelCatcher::~TopLevelCatcher() {
  gui::SetTopLevelHandler(previous_);
}

SlotDrain::SlotDrain(std::u16string_view name)
    : owner_(ipc::SystemSlots().Create(name, ipc::kSlotMaxMessage, ipc::kWaitForever)) {
  if (!owner_) return;
  thread_ = std::thread([this] {
    std::string buffer(ipc::kSlotMaxMessage, '\0');
    std::size_t length = 0;
    while (owner_->Read(buffer.data(), buffer.size(), length) ==
           ipc::SlotOwner::ReadResult::kMessage) {
      std::lock_guard lock(mutex_);
      messages_.emplace_back(buffer.data(), length);
      arrived_.notify_all();
    }
  });
}

SlotDrain::~SlotDrain() {
  if (owner_) owner_->Close();
  if (thread_.joinable()) thread_.join();
}

std::string SlotDrain::Next() {
  std::unique_lock lock(mutex_);
  if (!arrived_.wait_for(lock, std::chrono::seconds(10), [this] { return !messages_.empty(); })) {
    return "<no message>";
  }
  std::string first = std::move(messages_.front());
  messages_.pop_front();
  return first;
}

LoopbackPeer::LoopbackPeer(unsigned short port) : fd_(::socket(AF_INET, SOCK_STREAM, 0)) {
  const sockaddr_in address = Loopback(port);
  if (fd_ < 0 || ::connect(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    if (fd_ >= 0) ::close(fd_);
    throw std::runtime_error("cannot connect to the server under test");
  }
  // A read that would wait for ever fails the test instead of hanging it.
  timeval limit{};
  limit.tv_sec = 10;
  ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
}

LoopbackPeer::~LoopbackPeer() {
  ::close(fd_);
}

std::string LoopbackPeer::ReadLine() {
  std::string line;
  char c = 0;
  while (line.size() < 4096 && ::recv(fd_, &c, 1, 0) == 1) {
    line += c;
    if (c == '\n') break;
  }
  return line;
}

void LoopbackPeer::Send(const std::string& bytes) {
  if (::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(bytes.size())) {
    throw std::runtime_error("send failed");
  }
}

PortBlocker::PortBlocker(unsigned short port) : fd_(::socket(AF_INET, SOCK_STREAM, 0)), port_(0) {
  sockaddr_in address = Loopback(port);
  socklen_t length = sizeof address;
  // Connections of earlier tests may linger in TIME_WAIT on the port; they do not count.
  const int reuse = 1;
  if (fd_ >= 0) ::setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse);
  if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(fd_, 1) != 0 ||
      ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    throw std::runtime_error("cannot take a loopback port");
  }
  port_ = ntohs(address.sin_port);
}

PortBlocker::~PortBlocker() {
  ::close(fd_);
}

}  // namespace qvr::test
