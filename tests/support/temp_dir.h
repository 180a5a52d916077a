// A temporary folder for one test, removed with everything in it at the end.
#pragma once

#include <filesystem>
#include <string>

namespace qvr::test {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

// Points XDG_RUNTIME_DIR (slots) and XDG_DATA_HOME (settings, reports) at a fresh temporary
// folder for the life of the object, so a test touches nothing of the user's own.
class IsolatedUserDirs {
 public:
  IsolatedUserDirs();
  ~IsolatedUserDirs();

  std::filesystem::path runtime_dir() const { return root_.path() / "run"; }
  std::filesystem::path data_dir() const { return root_.path() / "data"; }

 private:
  TempDir root_;
  std::string old_runtime_;
  std::string old_data_;
  bool had_runtime_;
  bool had_data_;
};

}  // namespace qvr::test
