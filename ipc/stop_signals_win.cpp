// The console's stop events (Ctrl+C, Ctrl+Break, closing the console window, logoff and
// shutdown), turned into the same orderly exit as SIGINT and SIGTERM elsewhere.
#define NOMINMAX
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <mutex>
#include <utility>

#include "ipc/stop_signals.h"

namespace qvr {

namespace {

// The system ends the process as soon as the handler returns from a close, logoff or
// shutdown event, so the handler holds it back this long to let the exit run in order.
constexpr DWORD kCloseGrace = 4000;

std::mutex handler_mutex;
std::function<void()>* active_request = nullptr;

BOOL WINAPI OnConsoleEvent(DWORD event) {
  {
    std::lock_guard lock(handler_mutex);
    if (active_request == nullptr) return FALSE;
    (*active_request)();
  }
  if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) {
    Sleep(kCloseGrace);  // the process normally ends during this pause
  }
  return TRUE;
}

}  // namespace

// Console events arrive on a thread the system makes; nothing to block beforehand.
void BlockStopSignals() {}

struct StopSignalWaiter::Native {
  std::function<void()> on_request;
};

StopSignalWaiter::StopSignalWaiter(std::function<void()> on_request)
    : native_(std::make_unique<Native>()) {
  native_->on_request = std::move(on_request);
  std::lock_guard lock(handler_mutex);
  active_request = &native_->on_request;
  SetConsoleCtrlHandler(&OnConsoleEvent, TRUE);
}

StopSignalWaiter::~StopSignalWaiter() {
  SetConsoleCtrlHandler(&OnConsoleEvent, FALSE);
  std::lock_guard lock(handler_mutex);
  active_request = nullptr;
}

}  // namespace qvr
