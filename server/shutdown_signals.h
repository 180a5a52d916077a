// The requests to end the program from outside (SIGINT and SIGTERM, or the console's
// close events), turned into one call on a thread of their own.
#pragma once

#include <functional>
#include <memory>

namespace qvr::server {

// Holds the requests back for the whole process. Call before any thread starts, so that
// every thread inherits the blocked set and only the waiter takes them.
void BlockShutdownSignals();

class ShutdownSignalWaiter {
 public:
  // Starts waiting; `on_request` runs on the waiter's thread at the first request.
  explicit ShutdownSignalWaiter(std::function<void()> on_request);
  // Stops waiting (if no request came) and joins.
  ~ShutdownSignalWaiter();
  ShutdownSignalWaiter(const ShutdownSignalWaiter&) = delete;
  ShutdownSignalWaiter& operator=(const ShutdownSignalWaiter&) = delete;

 private:
  struct Native;
  std::unique_ptr<Native> native_;
};

}  // namespace qvr::server
