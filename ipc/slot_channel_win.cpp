// The slot channel on Windows: the system's mailslots.
//
// Closing the owner's handle from another thread does not reliably end a ReadFile that waits
// on it (nor, under Wine, does cancelling an overlapped read of a mailslot). So the slot is
// made with a short read time-out, one slice, and Read calls ReadFile slice after slice until
// a message comes, the caller's time-out has passed, or Close() was called; kWaitForever never
// times out. Close() sets the stop flag, waits for the read in progress to return (one slice
// at most) and then closes the handle, which frees the name and drops queued messages.
#define NOMINMAX
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <limits>
#include <mutex>
#include <string>
#include <utility>

#include "ipc/slot_channel.h"

namespace qvr::ipc {

namespace {

// The longest a ReadFile waits before Read looks at the stop request again; also the most a
// Close() waits for a read in progress to give the handle back.
constexpr DWORD kReadSliceMs = 100;

std::wstring WidePath(std::u16string_view name) {
  const std::u16string path = SlotPath(name);
  return std::wstring(path.begin(), path.end());
}

// Closes the handle it holds when it goes out of scope.
class Handle {
 public:
  Handle() = default;
  explicit Handle(HANDLE handle) : handle_(handle) {}
  ~Handle() { Reset(); }
  Handle(Handle&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
  Handle& operator=(Handle&&) = delete;
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;

  HANDLE get() const { return handle_; }
  bool valid() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }
  void Reset() {
    if (valid()) CloseHandle(handle_);
    handle_ = nullptr;
  }

 private:
  HANDLE handle_ = nullptr;
};

class WinSlotOwner final : public SlotOwner {
 public:
  WinSlotOwner(Handle slot, int read_timeout_ms)
      : slot_(std::move(slot)), read_timeout_ms_(read_timeout_ms) {}
  ~WinSlotOwner() override { Close(); }

  ReadResult Read(char* buffer, std::size_t capacity, std::size_t& length) override {
    std::lock_guard lock(read_mutex_);
    length = 0;
    const DWORD size =
        static_cast<DWORD>(std::min<std::size_t>(capacity, std::numeric_limits<DWORD>::max()));
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(std::max(read_timeout_ms_, 0));
    while (!closed_.load()) {
      DWORD got = 0;
      if (ReadFile(slot_.get(), buffer, size, &got, nullptr)) {
        length = got;
        return ReadResult::kMessage;
      }
      const DWORD error = GetLastError();
      if (error != ERROR_SEM_TIMEOUT)
        return closed_.load() ? ReadResult::kClosed : ReadResult::kFailed;
      if (read_timeout_ms_ != kWaitForever && std::chrono::steady_clock::now() >= deadline) {
        return ReadResult::kTimedOut;
      }
    }
    return ReadResult::kClosed;
  }

  void Close() override {
    if (closed_.exchange(true)) return;
    // A read in progress sees the flag within one slice and gives the handle back.
    std::lock_guard lock(read_mutex_);
    slot_.Reset();
  }

 private:
  Handle slot_;
  const int read_timeout_ms_;
  std::mutex read_mutex_;
  std::atomic<bool> closed_{false};
};

class WinSlotOpening final : public SlotOpening {
 public:
  explicit WinSlotOpening(Handle file) : file_(std::move(file)) {}

  bool Write(const char* data, std::size_t count) override {
    if (count > std::numeric_limits<DWORD>::max()) return false;
    DWORD written = 0;
    const BOOL ok = WriteFile(file_.get(), data, static_cast<DWORD>(count), &written, nullptr);
    return ok && written == count;
  }

 private:
  Handle file_;
};

class WinSlotBackend final : public SlotBackend {
 public:
  std::unique_ptr<SlotOwner> Create(std::u16string_view name, std::uint32_t max_message,
                                    int read_timeout_ms) override {
    // The system waits at most one slice per ReadFile; Read loops over the slices up to the
    // caller's time-out, or without end for kWaitForever.
    const DWORD timeout = read_timeout_ms == kWaitForever
                              ? kReadSliceMs
                              : std::min(static_cast<DWORD>(read_timeout_ms), kReadSliceMs);
    Handle slot(CreateMailslotW(WidePath(name).c_str(), max_message, timeout, nullptr));
    if (!slot.valid()) return nullptr;
    return std::make_unique<WinSlotOwner>(std::move(slot), read_timeout_ms);
  }

  std::unique_ptr<SlotOpening> Open(std::u16string_view name) override {
    Handle file(CreateFileW(WidePath(name).c_str(), GENERIC_WRITE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) return nullptr;
    return std::make_unique<WinSlotOpening>(std::move(file));
  }
};

}  // namespace

SlotBackend& SystemSlots() {
  static WinSlotBackend backend;
  return backend;
}

}  // namespace qvr::ipc
