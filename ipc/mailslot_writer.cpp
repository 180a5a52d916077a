#include "ipc/mailslot_writer.h"

#include "ipc/codepage.h"

namespace qvr {

namespace {
constexpr const char* kCannotSeek = "Stream does not support seeking";
}

std::int64_t TStream::GetSize() {
  throw EStreamError(kCannotSeek);
}

void TStream::SetSize(std::int64_t /*new_size*/) {}

std::int64_t TStream::Seek(std::int64_t /*offset*/, SeekOrigin /*origin*/) {
  throw EStreamError(kCannotSeek);
}

TMailSlotWriter::TMailSlotWriter(std::u16string_view slot_name, ipc::SlotBackend& backend)
    : backend_(backend), slot_name_(slot_name), slot_path_(ipc::SlotPath(slot_name)) {}

TMailSlotWriter::~TMailSlotWriter() {
  Close();
}

std::int32_t TMailSlotWriter::Read(void* /*buffer*/, std::int32_t /*count*/) {
  throw EStreamError("Stream read error: " + Utf16ToUtf8(slot_path_));
}

std::int32_t TMailSlotWriter::Write(const void* buffer, std::int32_t count) {
  last_write_placed_ = false;
  if (count < 0) return 0;
  std::int32_t result = Attempt(buffer, count);
  if (result < 0) {
    // The opening may be outdated (the owner closed or re-created the slot): once more.
    Close();
    result = Attempt(buffer, count);
  }
  last_write_placed_ = result >= 0;
  return result < 0 ? 0 : result;
}

void TMailSlotWriter::WriteText(std::string_view text) {
  Write(text.data(), static_cast<std::int32_t>(text.size()));
}

void TMailSlotWriter::Open() {
  if (!handle_) handle_ = backend_.Open(slot_name_);
}

void TMailSlotWriter::Close() {
  handle_.reset();
}

std::int32_t TMailSlotWriter::Attempt(const void* buffer, std::int32_t count) {
  Open();
  if (!handle_) return -1;
  const bool placed =
      handle_->Write(static_cast<const char*>(buffer), static_cast<std::size_t>(count));
  return placed ? count : -1;
}

}  // namespace qvr
