#define NOMINMAX
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <system_error>
#include <utility>

#include "server/small_thread.h"

namespace qvr::server {

struct SmallThread::Native {
  HANDLE thread = nullptr;
};

namespace {

DWORD WINAPI RunBody(LPVOID arg) {
  std::unique_ptr<std::function<void()>> body(static_cast<std::function<void()>*>(arg));
  (*body)();
  return 0;
}

}  // namespace

SmallThread::SmallThread(std::size_t stack_size, std::function<void()> body)
    : native_(std::make_unique<Native>()) {
  auto heap_body = std::make_unique<std::function<void()>>(std::move(body));
  native_->thread = CreateThread(nullptr, stack_size, &RunBody, heap_body.get(),
                                 STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
  if (native_->thread == nullptr) {
    throw std::system_error(static_cast<int>(GetLastError()), std::system_category(),
                            "CreateThread");
  }
  heap_body.release();  // the thread owns it now
}

SmallThread::~SmallThread() {
  Join();
}

void SmallThread::Join() {
  if (!native_ || native_->thread == nullptr) return;
  WaitForSingleObject(native_->thread, INFINITE);
  CloseHandle(native_->thread);
  native_->thread = nullptr;
}

}  // namespace qvr::server
