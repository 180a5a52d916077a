#define NOMINMAX
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <mutex>
#include <utility>

#include "server/shutdown_signals.h"

namespace qvr::server {

namespace {

std::mutex handler_mutex;
std::function<void()>* active_request = nullptr;

BOOL WINAPI OnConsoleEvent(DWORD) {
  std::lock_guard lock(handler_mutex);
  if (active_request == nullptr) return FALSE;
  (*active_request)();
  return TRUE;
}

}  // namespace

// Console events arrive on a thread the system makes; nothing to block beforehand.
void BlockShutdownSignals() {}

struct ShutdownSignalWaiter::Native {
  std::function<void()> on_request;
};

ShutdownSignalWaiter::ShutdownSignalWaiter(std::function<void()> on_request)
    : native_(std::make_unique<Native>()) {
  native_->on_request = std::move(on_request);
  std::lock_guard lock(handler_mutex);
  active_request = &native_->on_request;
  SetConsoleCtrlHandler(&OnConsoleEvent, TRUE);
}

ShutdownSignalWaiter::~ShutdownSignalWaiter() {
  SetConsoleCtrlHandler(&OnConsoleEvent, FALSE);
  std::lock_guard lock(handler_mutex);
  active_request = nullptr;
}

}  // namespace qvr::server
