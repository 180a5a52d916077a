#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <thread>

#include "ipc/stop_signals.h"

namespace qvr {

namespace {

sigset_t StopSet() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  return set;
}

}  // namespace

void BlockStopSignals() {
  const sigset_t set = StopSet();
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

struct StopSignalWaiter::Native {
  std::atomic<bool> stopping{false};
  std::thread thread;
};

StopSignalWaiter::StopSignalWaiter(std::function<void()> on_request)
    : native_(std::make_unique<Native>()) {
  native_->thread = std::thread([native = native_.get(), on_request = std::move(on_request)] {
    const sigset_t set = StopSet();
    while (true) {
      int signal_number = 0;
      if (sigwait(&set, &signal_number) != 0) continue;
      if (native->stopping) return;
      on_request();
    }
  });
}

StopSignalWaiter::~StopSignalWaiter() {
  native_->stopping = true;
  // Wakes the waiter with a signal aimed at its thread alone; it sees `stopping` and ends.
  pthread_kill(native_->thread.native_handle(), SIGTERM);
  native_->thread.join();
}

}  // namespace qvr
