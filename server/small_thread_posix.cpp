#include <pthread.h>

#include <system_error>
#include <utility>

#include "server/small_thread.h"

namespace qvr::server {

struct SmallThread::Native {
  pthread_t thread{};
  bool joinable = false;
};

namespace {

void* RunBody(void* arg) {
  std::unique_ptr<std::function<void()>> body(static_cast<std::function<void()>*>(arg));
  (*body)();
  return nullptr;
}

class ThreadAttributes {
 public:
  explicit ThreadAttributes(std::size_t stack_size) {
    pthread_attr_init(&attr_);
    if (stack_size != 0) pthread_attr_setstacksize(&attr_, stack_size);
  }
  ~ThreadAttributes() { pthread_attr_destroy(&attr_); }
  ThreadAttributes(const ThreadAttributes&) = delete;
  ThreadAttributes& operator=(const ThreadAttributes&) = delete;
  const pthread_attr_t* get() const { return &attr_; }

 private:
  pthread_attr_t attr_;
};

}  // namespace

SmallThread::SmallThread(std::size_t stack_size, std::function<void()> body)
    : native_(std::make_unique<Native>()) {
  ThreadAttributes attributes(stack_size);
  auto heap_body = std::make_unique<std::function<void()>>(std::move(body));
  const int error = pthread_create(&native_->thread, attributes.get(), &RunBody, heap_body.get());
  if (error != 0) throw std::system_error(error, std::generic_category(), "pthread_create");
  heap_body.release();  // the thread owns it now
  native_->joinable = true;
}

SmallThread::~SmallThread() {
  Join();
}

void SmallThread::Join() {
  if (!native_ || !native_->joinable) return;
  pthread_join(native_->thread, nullptr);
  native_->joinable = false;
}

}  // namespace qvr::server
