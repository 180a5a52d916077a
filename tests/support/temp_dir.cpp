#include "tests/support/temp_dir.h"

#include <cstdlib>
#include <stdexcept>
#include <system_error>

#include <unistd.h>

namespace qvr::test {

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "qvr-test-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

namespace {

void Restore(const char* name, bool had, const std::string& value) {
  if (had) {
    ::setenv(name, value.c_str(), 1);
  } else {
    ::unsetenv(name);
  }
}

}  // namespace

IsolatedUserDirs::IsolatedUserDirs() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  const char* data = std::getenv("XDG_DATA_HOME");
  had_runtime_ = runtime != nullptr;
  had_data_ = data != nullptr;
  if (runtime) old_runtime_ = runtime;
  if (data) old_data_ = data;
  std::filesystem::create_directory(runtime_dir());
  std::filesystem::permissions(runtime_dir(), std::filesystem::perms::owner_all,
                               std::filesystem::perm_options::replace);
  std::filesystem::create_directory(data_dir());
  ::setenv("XDG_RUNTIME_DIR", runtime_dir().c_str(), 1);
  ::setenv("XDG_DATA_HOME", data_dir().c_str(), 1);
}

IsolatedUserDirs::~IsolatedUserDirs() {
  Restore("XDG_RUNTIME_DIR", had_runtime_, old_runtime_);
  Restore("XDG_DATA_HOME", had_data_, old_data_);
}

}  // namespace qvr::test
