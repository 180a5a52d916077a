// Where the client keeps its per-user data, and the few file operations the settings store
// needs there. Each platform supplies one backend file; paths are UTF-8 text.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace qvr {

// The folder for local, per-user application data, ending in the path separator, or empty
// text when none is found (the caller then works relative to the current folder).
std::string GetLocalAppDataFolder();

// The separator between folder names in a path on this platform.
char PathSeparator();

// Creates the folder together with every missing folder above it. Failure is not reported:
// a later file operation will notice.
void CreateFolderChain(const std::string& folder);

// The whole content of the regular file at `path`, or nothing when no such file exists
// (a folder there counts as no file). Throws std::runtime_error when the file cannot be
// opened or read, or holds more than `max_size` bytes; such a file is never read whole.
std::optional<std::string> ReadFileIfExists(const std::string& path, std::size_t max_size);

// Replaces the file at `path` with `bytes` so that the file holds either its old content or
// the whole new one, whatever happens meanwhile: the bytes go to a temporary file in the same
// folder, are flushed to the disk, and that file is renamed over the old one. Throws
// std::runtime_error with a message for the user ("Cannot create file "<path>". <reason>")
// and leaves the old file untouched when that is impossible.
void ReplaceFile(const std::string& path, std::string_view bytes);

}  // namespace qvr
