// A joinable thread with a stack of a chosen size. std::thread cannot set one, and a server
// with one thread per connection holds thousands of them.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>

namespace qvr::server {

class SmallThread {
 public:
  // Starts `body` at once; throws std::system_error when the system refuses a thread.
  SmallThread(std::size_t stack_size, std::function<void()> body);
  // Joins when not joined yet.
  ~SmallThread();
  SmallThread(const SmallThread&) = delete;
  SmallThread& operator=(const SmallThread&) = delete;

  void Join();

 private:
  struct Native;  // the platform's thread handle
  std::unique_ptr<Native> native_;
};

}  // namespace qvr::server
