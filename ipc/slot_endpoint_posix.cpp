#include "ipc/slot_endpoint_posix.h"

#include <cerrno>
#include <cstdlib>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include "ipc/codepage.h"

namespace qvr::ipc::posix {

namespace {

constexpr std::string_view kFolderName = "qvremote-slots";
constexpr std::string_view kLockSuffix = ".lock";

bool IsPlain(char c) {
  return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' || c == '_' || c == '-';
}

void AppendEscaped(std::string& out, unsigned char byte) {
  constexpr char kHex[] = "0123456789ABCDEF";
  out.push_back('%');
  out.push_back(kHex[byte >> 4]);
  out.push_back(kHex[byte & 0x0F]);
}

bool EndsWith(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

// A real directory of ours, made with mode 0700 when missing and allowed to.
bool EnsurePrivateFolder(const std::string& path, bool create) {
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0) {
    if (errno != ENOENT || !create) return false;
    if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) return false;
    if (::lstat(path.c_str(), &info) != 0) return false;
  }
  return S_ISDIR(info.st_mode) && info.st_uid == ::geteuid();
}

std::string BaseFolder() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime != nullptr && *runtime != '\0') return runtime;
  return "/tmp/qvremote-" + std::to_string(::geteuid());
}

}  // namespace

std::string SlotFileName(std::u16string_view name) {
  const std::string utf8 = Utf16ToUtf8(name);
  std::string file;
  file.reserve(utf8.size());
  for (const char raw : utf8) {
    char c = raw;
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    // A leading dot would make a hidden file, or "." and "..".
    if (IsPlain(c) && !(c == '.' && file.empty())) {
      file.push_back(c);
    } else {
      AppendEscaped(file, static_cast<unsigned char>(c));
    }
  }
  // A socket file never ends in ".lock", so it never meets the lock file of another slot.
  if (EndsWith(file, kLockSuffix)) {
    file.replace(file.size() - kLockSuffix.size(), 1, "%2E");
  }
  return file;
}

std::string SlotFolder(bool create) {
  const std::string base = BaseFolder();
  if (!EnsurePrivateFolder(base, create)) return {};
  std::string folder = base + "/" + std::string(kFolderName);
  if (!EnsurePrivateFolder(folder, create)) return {};
  return folder;
}

std::optional<SlotEndpoint> ResolveEndpoint(std::u16string_view name, bool create_folder) {
  const std::string file = SlotFileName(name);
  if (file.empty()) return std::nullopt;
  const std::string folder = SlotFolder(create_folder);
  if (folder.empty()) return std::nullopt;
  SlotEndpoint endpoint;
  endpoint.socket_path = folder + "/" + file;
  if (endpoint.socket_path.size() >= sizeof(sockaddr_un::sun_path)) return std::nullopt;
  endpoint.lock_path = endpoint.socket_path + std::string(kLockSuffix);
  return endpoint;
}

}  // namespace qvr::ipc::posix
