// Writes messages into a slot that another process owns. Opens on the first write, stays
// open, and on a failed write reopens and tries exactly once more. Never raises on a channel
// failure: a message that cannot be placed is dropped and Write reports 0.
#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

#include "ipc/slot_channel.h"

namespace qvr {

class EStreamError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A byte stream in the manner of the platform's stream classes; seeking and sizes are
// unsupported unless a stream supplies them.
class TStream {
 public:
  enum class SeekOrigin { kBeginning, kCurrent, kEnd };

  virtual ~TStream() = default;

  virtual std::int64_t GetSize();
  virtual void SetSize(std::int64_t new_size);
  virtual std::int32_t Read(void* buffer, std::int32_t count) = 0;
  virtual std::int32_t Write(const void* buffer, std::int32_t count) = 0;
  virtual std::int64_t Seek(std::int64_t offset, SeekOrigin origin);
};

class TMailSlotWriter final : public TStream {
 public:
  // Opens nothing, so it does not fail when the slot is missing.
  explicit TMailSlotWriter(std::u16string_view slot_name,
                           ipc::SlotBackend& backend = ipc::SystemSlots());
  ~TMailSlotWriter() override;
  TMailSlotWriter(const TMailSlotWriter&) = delete;
  TMailSlotWriter& operator=(const TMailSlotWriter&) = delete;

  // Always raises EStreamError "Stream read error: " + SlotPath.
  std::int32_t Read(void* buffer, std::int32_t count) override;
  // One message of `count` bytes; the bytes written, or 0 when the message was not placed.
  std::int32_t Write(const void* buffer, std::int32_t count) override;
  // Writes 8-bit code-page text as one message and ignores the result.
  void WriteText(std::string_view text);

  const std::u16string& SlotPath() const { return slot_path_; }
  bool IsOpen() const { return handle_ != nullptr; }
  // Whether the last Write placed its message: Write's count cannot tell for an empty one.
  bool LastWritePlaced() const { return last_write_placed_; }

 private:
  void Open();
  void Close();
  // One attempt: -1 when the slot could not be opened or the write failed.
  std::int32_t Attempt(const void* buffer, std::int32_t count);

  ipc::SlotBackend& backend_;
  std::unique_ptr<ipc::SlotOpening> handle_;  // null while closed
  std::u16string slot_name_;
  std::u16string slot_path_;
  bool last_write_placed_ = false;
};

}  // namespace qvr
