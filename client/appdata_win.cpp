// Per-user data on Windows: the shell's local application-data folder, Win32 file calls.
// Paths cross this interface as UTF-8 and are handed to the system as UTF-16.
#define NOMINMAX
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
// shlobj.h needs the declarations of windows.h first.
#include <shlobj.h>
// windows.h names its own ReplaceFile(W); this file defines qvr::ReplaceFile.
#undef ReplaceFile

#include <filesystem>
#include <stdexcept>
#include <string>
#include <system_error>

#include "client/appdata.h"
#include "ipc/codepage.h"

namespace qvr {

namespace {

// The shell's buffer for a path: MAX_PATH characters and the terminating zero.
constexpr UINT kPathBuffer = 261;

std::wstring Wide(const std::string& utf8) {
  const std::u16string text = Utf8ToUtf16(utf8);
  return std::wstring(text.begin(), text.end());
}

std::string Utf8(const wchar_t* wide) {
  const std::wstring text(wide);
  return Utf16ToUtf8(std::u16string(text.begin(), text.end()));
}

// The system's description of an error, without the line break it ends with.
std::string SystemMessage(DWORD error) {
  wchar_t* text = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  if (length == 0 || text == nullptr) return "System error " + std::to_string(error) + ".";
  std::string message = Utf8(text);
  LocalFree(text);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r')) {
    message.pop_back();
  }
  return message;
}

[[noreturn]] void Fail(const char* what, const std::string& path, DWORD error) {
  throw std::runtime_error(std::string(what) + " \"" + path + "\". " + SystemMessage(error));
}

// The path of one shell folder, or empty text.
std::string ShellFolder(int folder_id) {
  LPITEMIDLIST items = nullptr;
  if (FAILED(SHGetSpecialFolderLocation(nullptr, folder_id, &items)) || items == nullptr) {
    return {};
  }
  wchar_t path[kPathBuffer] = {};
  const BOOL found = SHGetPathFromIDListW(items, path);
  CoTaskMemFree(items);
  if (!found || path[0] == L'\0') return {};
  std::string folder = Utf8(path);
  if (folder.back() != '\\') folder.push_back('\\');
  return folder;
}

// Closes the handle it holds when it goes out of scope.
class File {
 public:
  explicit File(HANDLE handle) : handle_(handle) {}
  ~File() { Close(); }
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  HANDLE get() const { return handle_; }
  bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }
  // Closes now and tells whether the close succeeded.
  bool Close() {
    const HANDLE handle = handle_;
    handle_ = INVALID_HANDLE_VALUE;
    return handle == INVALID_HANDLE_VALUE || CloseHandle(handle) != 0;
  }

 private:
  HANDLE handle_;
};

// Removes the temporary file unless the rename has taken it over.
class TempFile {
 public:
  explicit TempFile(std::wstring path) : path_(std::move(path)) {}
  ~TempFile() {
    if (!path_.empty()) DeleteFileW(path_.c_str());
  }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  const std::wstring& path() const { return path_; }
  void Release() { path_.clear(); }

 private:
  std::wstring path_;
};

bool WriteAll(HANDLE file, std::string_view bytes) {
  while (!bytes.empty()) {
    const DWORD chunk = bytes.size() > 1u << 30 ? 1u << 30 : static_cast<DWORD>(bytes.size());
    DWORD written = 0;
    if (!WriteFile(file, bytes.data(), chunk, &written, nullptr)) return false;
    bytes.remove_prefix(written);
  }
  return true;
}

// A new temporary file beside `path`, not shared while it is open; the process id keeps two
// copies of the program apart, the counter steps past leftovers of a crashed run.
HANDLE OpenTemporary(const std::string& path, std::wstring& temp_path) {
  DWORD error = ERROR_FILE_EXISTS;
  for (int attempt = 0; attempt < 100 && error == ERROR_FILE_EXISTS; ++attempt) {
    temp_path =
        Wide(path + ".tmp" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(attempt));
    const HANDLE file = CreateFileW(temp_path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                    CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) return file;
    error = GetLastError();
  }
  Fail("Cannot create file", path, error);
}

}  // namespace

std::string GetLocalAppDataFolder() {
  std::string folder = ShellFolder(CSIDL_LOCAL_APPDATA);
  if (folder.empty()) folder = ShellFolder(CSIDL_LOCAL_APPDATA | CSIDL_FLAG_CREATE);
  // The 9x family, which would fall back to CSIDL_APPDATA, cannot run this program.
  return folder;
}

char PathSeparator() {
  return '\\';
}

void CreateFolderChain(const std::string& folder) {
  std::error_code ignored;
  std::filesystem::create_directories(std::filesystem::path(Wide(folder)), ignored);
}

std::optional<std::string> ReadFileIfExists(const std::string& path, std::size_t max_size) {
  const std::wstring wide = Wide(path);
  const DWORD attributes = GetFileAttributesW(wide.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return std::nullopt;
  }
  // Others may read the file meanwhile, but not write it.
  const File file(CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) Fail("Cannot open file", path, GetLastError());
  // One byte more than allowed shows that the file is too large, whatever its size was
  // when it was looked at.
  std::string content(max_size + 1, '\0');
  std::size_t length = 0;
  while (length < content.size()) {
    const std::size_t left = content.size() - length;
    const DWORD chunk = left > 1u << 30 ? 1u << 30 : static_cast<DWORD>(left);
    DWORD got = 0;
    if (!ReadFile(file.get(), content.data() + length, chunk, &got, nullptr)) {
      Fail("Cannot read file", path, GetLastError());
    }
    if (got == 0) break;
    length += got;
  }
  if (length > max_size) {
    throw std::runtime_error("File \"" + path + "\" is larger than " + std::to_string(max_size) +
                             " bytes.");
  }
  content.resize(length);
  return content;
}

void ReplaceFile(const std::string& path, std::string_view bytes) {
  std::wstring temp_path;
  File file(OpenTemporary(path, temp_path));
  TempFile temp(temp_path);
  if (!WriteAll(file.get(), bytes) || !FlushFileBuffers(file.get())) {
    Fail("Cannot write file", path, GetLastError());
  }
  if (!file.Close()) Fail("Cannot write file", path, GetLastError());
  if (!MoveFileExW(temp.path().c_str(), Wide(path).c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    Fail("Cannot create file", path, GetLastError());
  }
  temp.Release();
}

}  // namespace qvr
