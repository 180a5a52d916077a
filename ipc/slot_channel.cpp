#include "ipc/slot_channel.h"

namespace qvr::ipc {

std::u16string SlotPath(std::u16string_view name) {
  std::u16string path = u"\\\\.\\mailslot\\";
  path.append(name);
  return path;
}

}  // namespace qvr::ipc
