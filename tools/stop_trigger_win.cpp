// Windows: Ctrl+C, Ctrl+Break and the console's close events reach a handler on a thread the
// system makes; it sets an event that the trigger's thread waits for, together with the
// deadline and the trigger's own end.
#define NOMINMAX
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <atomic>
#include <cstdio>
#include <thread>

#include "tools/stop_trigger.h"

namespace qvr::tools {

namespace {

// Made once, never closed: the console handler may run until the process ends.
HANDLE StopEvent() {
  static const HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  return event;
}

std::atomic<bool> stop_taken{false};

BOOL WINAPI OnConsoleEvent(DWORD) {
  // After the first stop the listener may still be writing its last output; a second
  // request ends the process at once, as it would without us.
  if (stop_taken.load()) return FALSE;
  SetEvent(StopEvent());
  return TRUE;
}

DWORD MillisecondsLeft(const StopTrigger::Deadline& deadline) {
  if (!deadline) return INFINITE;
  const auto left =
      std::chrono::ceil<std::chrono::milliseconds>(*deadline - std::chrono::steady_clock::now());
  return left.count() <= 0 ? 0 : static_cast<DWORD>(left.count());
}

}  // namespace

struct StopTrigger::Impl {
  HANDLE cancel = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  std::thread thread;

  ~Impl() { CloseHandle(cancel); }

  // True on a stop request or at the deadline, false when cancelled first.
  bool WaitForStop(const Deadline& deadline) const {
    const HANDLE events[2] = {cancel, StopEvent()};
    const DWORD result = WaitForMultipleObjects(2, events, FALSE, MillisecondsLeft(deadline));
    return result == WAIT_OBJECT_0 + 1 || result == WAIT_TIMEOUT;
  }
};

void StopTrigger::HoldStopSignals() {
  StopEvent();
  SetConsoleCtrlHandler(&OnConsoleEvent, TRUE);
  // Messages and lines are bytes: no CR LF translation on the standard streams.
  _setmode(_fileno(stdin), _O_BINARY);
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
}

StopTrigger::StopTrigger(Deadline deadline, std::function<void()> on_stop)
    : impl_(std::make_unique<Impl>()) {
  impl_->thread = std::thread([impl = impl_.get(), deadline, on_stop = std::move(on_stop)] {
    if (!impl->WaitForStop(deadline)) return;
    stop_taken.store(true);
    on_stop();
  });
}

StopTrigger::~StopTrigger() {
  SetEvent(impl_->cancel);
  impl_->thread.join();
}

}  // namespace qvr::tools
