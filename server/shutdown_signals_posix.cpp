#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <thread>
#include <utility>

#include "server/shutdown_signals.h"

namespace qvr::server {

namespace {

sigset_t ShutdownSet() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  return set;
}

}  // namespace

void BlockShutdownSignals() {
  const sigset_t set = ShutdownSet();
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

struct ShutdownSignalWaiter::Native {
  std::atomic<bool> stopping{false};
  std::thread thread;
};

ShutdownSignalWaiter::ShutdownSignalWaiter(std::function<void()> on_request)
    : native_(std::make_unique<Native>()) {
  Native* native = native_.get();
  native_->thread = std::thread([native, on_request = std::move(on_request)] {
    const sigset_t set = ShutdownSet();
    int signal_number = 0;
    while (sigwait(&set, &signal_number) != 0) {
    }
    if (!native->stopping.load()) on_request();
  });
}

ShutdownSignalWaiter::~ShutdownSignalWaiter() {
  native_->stopping.store(true);
  // The set is blocked in every thread, so this wakes sigwait and nothing else.
  pthread_kill(native_->thread.native_handle(), SIGTERM);
  native_->thread.join();
}

}  // namespace qvr::server
