// A program run by a test: its standard streams are pipes of the test, and every wait is
// bounded, so a hung child fails the test instead of stalling it.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qvr::test {

inline constexpr std::chrono::milliseconds kChildWait{10000};

class ChildProcess {
 public:
  // Starts `program` with `args` (without the program name) and the test's environment.
  ChildProcess(const std::string& program, const std::vector<std::string>& args);
  // Kills a child that still runs.
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // Bytes for its standard input, written while the waits below run; then end of input.
  void SendInput(std::string bytes);

  // Collects output until standard error holds `text`; false at the limit, or when
  // the child ended without it.
  bool WaitForError(std::string_view text, std::chrono::milliseconds limit = kChildWait);
  // Collects output until standard output holds `count` line ends.
  bool WaitForOutputLines(std::size_t count, std::chrono::milliseconds limit = kChildWait);
  // Collects all output and the exit code (128 + the signal's number when a signal ended
  // it); none at the limit.
  std::optional<int> Wait(std::chrono::milliseconds limit = kChildWait);

  void Signal(int number);

  const std::string& out() const { return out_; }
  const std::string& err() const { return err_; }

 private:
  using Clock = std::chrono::steady_clock;

  // One round of poll over the open pipes; false when nothing is left to wait for.
  bool PumpOnce(Clock::time_point deadline);
  bool Reap(bool wait, Clock::time_point deadline);

  pid_t pid_ = -1;
  int in_ = -1;
  int out_fd_ = -1;
  int err_fd_ = -1;
  std::string input_;
  std::size_t input_at_ = 0;
  bool input_given_ = false;
  std::string out_;
  std::string err_;
  std::optional<int> exit_code_;
};

struct ChildResult {
  int exit_code = -1;  // -1: it did not end in time
  std::string out;
  std::string err;
};

// Runs `program` to its end with `input` on its standard input.
ChildResult RunChild(const std::string& program, const std::vector<std::string>& args,
                     std::string input = {});

}  // namespace qvr::test
