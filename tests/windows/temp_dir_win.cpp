// Windows: a fresh folder below the user's temporary folder. Slots and the settings folder
// do not depend on environment variables there; they are still pointed at the folder so
// that code which reads them stays inside it.
#include <cstdlib>
#include <random>
#include <stdexcept>
#include <system_error>

#include "tests/support/temp_dir.h"

namespace qvr::test {

TempDir::TempDir() {
  std::random_device random;
  for (int attempt = 0; attempt < 100; ++attempt) {
    const auto candidate =
        std::filesystem::temp_directory_path() / ("qvr-test-" + std::to_string(random()));
    std::error_code error;
    if (std::filesystem::create_directory(candidate, error)) {
      path_ = candidate;
      return;
    }
  }
  throw std::runtime_error("cannot make a temporary folder");
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

namespace {

void Set(const char* name, const std::string& value) {
  _putenv_s(name, value.c_str());
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
  std::filesystem::create_directory(data_dir());
  Set("XDG_RUNTIME_DIR", runtime_dir().string());
  Set("XDG_DATA_HOME", data_dir().string());
}

IsolatedUserDirs::~IsolatedUserDirs() {
  // An empty value removes the variable.
  Set("XDG_RUNTIME_DIR", had_runtime_ ? old_runtime_ : std::string());
  Set("XDG_DATA_HOME", had_data_ ? old_data_ : std::string());
}

}  // namespace qvr::test
