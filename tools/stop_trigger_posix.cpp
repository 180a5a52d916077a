// POSIX: the stop signals stay blocked in every thread and one thread takes them with
// sigtimedwait. SIGUSR1, sent to that thread only, tells it to end.
#include <atomic>
#include <cerrno>
#include <csignal>
#include <thread>

#include <pthread.h>

#include "tools/stop_trigger.h"

namespace qvr::tools {

namespace {

constexpr int kWakeSignal = SIGUSR1;

sigset_t SignalSet(std::initializer_list<int> signals) {
  sigset_t set;
  sigemptyset(&set);
  for (const int number : signals) sigaddset(&set, number);
  return set;
}

timespec Remaining(std::chrono::steady_clock::duration left) {
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(left);
  const auto nanos = std::chrono::duration_cast<std::chrono::nanoseconds>(left - seconds);
  return timespec{static_cast<time_t>(seconds.count()), static_cast<long>(nanos.count())};
}

}  // namespace

struct StopTrigger::Impl {
  std::atomic<bool> cancelled{false};
  std::thread thread;

  // A stop signal, the deadline or -1 when cancelled first.
  int WaitForStop(const Deadline& deadline) {
    const sigset_t set = SignalSet({SIGINT, SIGTERM, kWakeSignal});
    while (!cancelled.load()) {
      int taken = -1;
      if (deadline) {
        const auto left = *deadline - std::chrono::steady_clock::now();
        if (left <= std::chrono::steady_clock::duration::zero()) return 0;
        const timespec wait = Remaining(left);
        taken = sigtimedwait(&set, nullptr, &wait);
      } else {
        taken = sigwaitinfo(&set, nullptr);
      }
      if (taken == SIGINT || taken == SIGTERM) return taken;
    }
    return -1;
  }

  // After the first stop the listener may still be writing its last output; a second
  // SIGINT or SIGTERM then ends the process at once, as it would without us.
  void WaitForCancel() {
    const sigset_t stop = SignalSet({SIGINT, SIGTERM});
    pthread_sigmask(SIG_UNBLOCK, &stop, nullptr);
    const sigset_t wake = SignalSet({kWakeSignal});
    while (!cancelled.load()) sigwaitinfo(&wake, nullptr);
  }
};

void StopTrigger::HoldStopSignals() {
  const sigset_t set = SignalSet({SIGINT, SIGTERM, kWakeSignal});
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
  std::signal(SIGPIPE, SIG_IGN);
}

StopTrigger::StopTrigger(Deadline deadline, std::function<void()> on_stop)
    : impl_(std::make_unique<Impl>()) {
  impl_->thread = std::thread([impl = impl_.get(), deadline, on_stop = std::move(on_stop)] {
    if (impl->WaitForStop(deadline) < 0) return;
    on_stop();
    impl->WaitForCancel();
  });
}

StopTrigger::~StopTrigger() {
  impl_->cancelled.store(true);
  pthread_kill(impl_->thread.native_handle(), kWakeSignal);
  impl_->thread.join();
}

}  // namespace qvr::tools
