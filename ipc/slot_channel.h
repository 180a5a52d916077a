// The local message slot (a mailslot on Windows): one owner reads whole messages that any
// number of writers place. Each platform supplies one backend; tests may supply another.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace qvr::ipc {

// Largest message the reader's slots take; also the size of its one read buffer.
inline constexpr std::uint32_t kSlotMaxMessage = 65535;
// Read time-out meaning "wait without limit".
inline constexpr int kWaitForever = -1;

// "\\.\mailslot\" followed by the name, on every platform.
std::u16string SlotPath(std::u16string_view name);

// The owning end of a slot. Destruction closes it.
class SlotOwner {
 public:
  enum class ReadResult { kMessage, kTimedOut, kClosed, kFailed };

  virtual ~SlotOwner() = default;

  // Takes the oldest whole message into `buffer` (capacity at least the slot's limit);
  // on kMessage `length` is its size, which may be 0. Waits up to the slot's read
  // time-out. Only one thread reads.
  virtual ReadResult Read(char* buffer, std::size_t capacity, std::size_t& length) = 0;

  // Frees the name and drops the messages still queued; a Read waiting on another thread
  // returns kClosed at once. Thread-safe and idempotent.
  virtual void Close() = 0;
};

// A writer's opening of a slot.
class SlotOpening {
 public:
  virtual ~SlotOpening() = default;

  // Places one message of `count` bytes. False when it cannot: the owner has closed the
  // slot since this opening was made, the message is longer than the owner's limit, or the
  // owner's queue stayed full for a second. Never throws.
  virtual bool Write(const char* data, std::size_t count) = 0;
};

// The platform's slots.
class SlotBackend {
 public:
  virtual ~SlotBackend() = default;

  // Null when the name is already owned or the slot cannot be made.
  // `read_timeout_ms` is kWaitForever or a number of milliseconds.
  virtual std::unique_ptr<SlotOwner> Create(std::u16string_view name, std::uint32_t max_message,
                                            int read_timeout_ms) = 0;

  // Null when no owner holds the name.
  virtual std::unique_ptr<SlotOpening> Open(std::u16string_view name) = 0;
};

// The backend of the platform the program was built for.
SlotBackend& SystemSlots();

}  // namespace qvr::ipc
