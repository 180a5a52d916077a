// Where a slot lives on a POSIX system: a socket file and its lock file in a private folder
// of the user. The layout is fixed in docs/slot-endpoint.md so that other programs can own
// or write a slot without this code.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace qvr::ipc::posix {

// The name of a slot's socket file: UTF-8, ASCII letters lowered, every other byte outside
// [a-z0-9._-] as %XX. Empty when the name has no file name (an empty name).
std::string SlotFileName(std::u16string_view name);

// The folder that holds the slots: "qvremote-slots" in $XDG_RUNTIME_DIR, or in
// /tmp/qvremote-<uid> without one. With `create`, missing folders are made with mode 0700.
// Empty when the folder is missing, is no real directory, or belongs to another user.
std::string SlotFolder(bool create);

struct SlotEndpoint {
  std::string socket_path;
  std::string lock_path;
};

// Both paths of a slot; none when the folder is unusable or the socket path is too long
// for an AF_UNIX address.
std::optional<SlotEndpoint> ResolveEndpoint(std::u16string_view name, bool create_folder);

}  // namespace qvr::ipc::posix
