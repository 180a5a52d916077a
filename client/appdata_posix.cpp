// Per-user data on POSIX systems: the XDG data folder, plain POSIX file calls.
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "client/appdata.h"

namespace qvr {

namespace {

bool IsAbsolute(const char* path) {
  return path != nullptr && path[0] == '/';
}

std::string WithSeparator(std::string folder) {
  if (folder.empty() || folder.back() != '/') folder.push_back('/');
  return folder;
}

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

[[noreturn]] void Fail(const char* what, const std::string& path, int error) {
  throw std::runtime_error(std::string(what) + " \"" + path + "\". " + std::strerror(error));
}

// Closes the descriptor it holds when it goes out of scope.
class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;

  int get() const { return fd_; }
  // Closes now and tells whether the close succeeded (a late write error shows here).
  bool Close() {
    const int fd = fd_;
    fd_ = -1;
    return ::close(fd) == 0;
  }

 private:
  int fd_;
};

// Removes the temporary file unless the rename has taken it over.
class TempFile {
 public:
  explicit TempFile(std::string path) : path_(std::move(path)) {}
  ~TempFile() {
    if (!path_.empty()) ::unlink(path_.c_str());
  }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  const std::string& path() const { return path_; }
  void Release() { path_.clear(); }

 private:
  std::string path_;
};

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

// Opens a new temporary file beside `path`; the name carries the process id so that two
// copies of the program do not meet, and a counter steps past leftovers of a crashed run.
int OpenTemporary(const std::string& path, std::string& temp_path) {
  int error = EEXIST;
  for (int attempt = 0; attempt < 100 && error == EEXIST; ++attempt) {
    temp_path = path + ".tmp" + std::to_string(::getpid()) + "-" + std::to_string(attempt);
    const int fd = ::open(temp_path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) return fd;
    error = errno;
  }
  Fail("Cannot create file", path, error);
}

void SyncFolder(const std::string& folder) {
  const Fd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.get() >= 0) ::fsync(dir.get());  // best effort: the file itself is already safe
}

// A settings file that is a link to a file elsewhere stays a link: the file it names is
// replaced, in that file's folder.
std::string LinkTarget(const std::string& path) {
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return path;
  char* resolved = ::realpath(path.c_str(), nullptr);
  if (resolved == nullptr) return path;  // a dangling link is replaced by the file
  std::string target(resolved);
  std::free(resolved);
  return target;
}

}  // namespace

std::string GetLocalAppDataFolder() {
  const char* data_home = std::getenv("XDG_DATA_HOME");
  if (IsAbsolute(data_home)) return WithSeparator(data_home);
  const char* home = std::getenv("HOME");
  if (IsAbsolute(home)) return WithSeparator(home) + ".local/share/";
  return {};
}

char PathSeparator() {
  return '/';
}

void CreateFolderChain(const std::string& folder) {
  std::error_code ignored;
  std::filesystem::create_directories(folder, ignored);
}

std::optional<std::string> ReadFileIfExists(const std::string& path, std::size_t max_size) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
  const Fd file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (file.get() < 0) Fail("Cannot open file", path, errno);
  // Read at most one byte more than allowed: enough to see that the file is too large,
  // whatever its size was when it was looked at.
  std::string content(max_size + 1, '\0');
  std::size_t length = 0;
  while (length < content.size()) {
    const ssize_t n = ::read(file.get(), content.data() + length, content.size() - length);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) Fail("Cannot read file", path, errno);
    if (n == 0) break;
    length += static_cast<std::size_t>(n);
  }
  if (length > max_size) {
    throw std::runtime_error("File \"" + path + "\" is larger than " + std::to_string(max_size) +
                             " bytes.");
  }
  content.resize(length);
  return content;
}

void ReplaceFile(const std::string& file_name, std::string_view bytes) {
  const std::string path = LinkTarget(file_name);
  std::string temp_path;
  Fd file(OpenTemporary(path, temp_path));
  TempFile temp(temp_path);
  // The new file keeps the access rights of the one it replaces.
  struct stat old {};
  if (::stat(path.c_str(), &old) == 0 && S_ISREG(old.st_mode)) {
    ::fchmod(file.get(), old.st_mode & 07777);
  }
  if (!WriteAll(file.get(), bytes) || ::fsync(file.get()) != 0) {
    Fail("Cannot write file", path, errno);
  }
  if (!file.Close()) Fail("Cannot write file", path, errno);
  if (::rename(temp.path().c_str(), path.c_str()) != 0) Fail("Cannot create file", path, errno);
  temp.Release();
  SyncFolder(FolderOf(path));
}

}  // namespace qvr
