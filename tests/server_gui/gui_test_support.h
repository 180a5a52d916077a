// Helpers of the server's GUI tests: spinning the Qt loop, a loopback relay peer, the
// exceptions that reach the top level.
#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <condition_variable>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "gui_common/top_level.h"
#include "ipc/slot_channel.h"

namespace qvr::test {

// Runs the Qt loop until `done` holds; the limit is generous, the work takes milliseconds.
template <class Done>
bool SpinUntil(Done done) {
  QDeadlineTimer deadline(10000);
  while (!done() && !deadline.hasExpired()) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  }
  return done();
}

// Collects the messages of the exceptions that reach the top level while it lives.
class TopLevelCatcher {
 public:
  TopLevelCatcher();
  ~TopLevelCatcher();
  const std::vector<std::string>& messages() const { return messages_; }

 private:
  std::vector<std::string> messages_;
  gui::ExceptionHandler previous_;
};

// Owns a slot and reads it on a thread of its own, as the slot's real owner would.
class SlotDrain {
 public:
  explicit SlotDrain(std::u16string_view name);
  ~SlotDrain();
  bool Owns() const { return owner_ != nullptr; }
  // The next message, waiting up to 10 s; "<no message>" when none came.
  std::string Next();

 private:
  std::unique_ptr<ipc::SlotOwner> owner_;
  std::mutex mutex_;
  std::condition_variable arrived_;
  std::deque<std::string> messages_;
  std::thread thread_;
};

// A relay client on 127.0.0.1 with plain blocking sockets.
class LoopbackPeer {
 public:
  explicit LoopbackPeer(unsigned short port);
  ~LoopbackPeer();
  LoopbackPeer(const LoopbackPeer&) = delete;
  LoopbackPeer& operator=(const LoopbackPeer&) = delete;

  // Reads up to the end of the first line (CR LF included); what came when the connection
  // ended or nothing came for 10 s.
  std::string ReadLine();
  void Send(const std::string& bytes);

 private:
  int fd_;
};

// Takes 127.0.0.1 on a port (0: an ephemeral one) so that nobody else can bind it there.
class PortBlocker {
 public:
  explicit PortBlocker(unsigned short port = 0);
  ~PortBlocker();
  unsigned short port() const { return port_; }

 private:
  int fd_;
  unsigned short port_;
};

}  // namespace qvr::test
