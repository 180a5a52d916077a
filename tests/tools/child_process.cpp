#include "tests/tools/child_process.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <stdexcept>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

namespace qvr::test {

namespace {

struct Pipe {
  int read = -1;
  int write = -1;
};

Pipe MakePipe() {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) throw std::runtime_error("pipe2 failed");
  return Pipe{fds[0], fds[1]};
}

void CloseFd(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

void SetNonBlocking(int fd) {
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
}

int MillisecondsLeft(std::chrono::steady_clock::time_point deadline) {
  const auto left =
      std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
  return left.count() < 0 ? 0 : static_cast<int>(left.count());
}

// Reads what is there; false at end of file.
bool Drain(int fd, std::string& into) {
  char buffer[65536];
  while (true) {
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got > 0) {
      into.append(buffer, static_cast<std::size_t>(got));
      continue;
    }
    if (got == 0) return false;
    return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
  }
}

}  // namespace

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& args) {
  // Writing to the input of a child that has ended must fail, not kill the test.
  std::signal(SIGPIPE, SIG_IGN);
  Pipe in = MakePipe();
  Pipe out = MakePipe();
  Pipe err = MakePipe();
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  pid_ = ::fork();
  if (pid_ < 0) throw std::runtime_error("fork failed");
  if (pid_ == 0) {
    ::dup2(in.read, STDIN_FILENO);
    ::dup2(out.write, STDOUT_FILENO);
    ::dup2(err.write, STDERR_FILENO);
    ::execv(program.c_str(), argv.data());
    ::_exit(127);
  }
  ::close(in.read);
  ::close(out.write);
  ::close(err.write);
  in_ = in.write;
  out_fd_ = out.read;
  err_fd_ = err.read;
  SetNonBlocking(in_);
  SetNonBlocking(out_fd_);
  SetNonBlocking(err_fd_);
}

ChildProcess::~ChildProcess() {
  if (!exit_code_ && pid_ > 0) {
    ::kill(pid_, SIGKILL);
    int status = 0;
    ::waitpid(pid_, &status, 0);
  }
  CloseFd(in_);
  CloseFd(out_fd_);
  CloseFd(err_fd_);
}

void ChildProcess::SendInput(std::string bytes) {
  input_ = std::move(bytes);
  input_at_ = 0;
  input_given_ = true;
  if (input_.empty()) CloseFd(in_);
}

void ChildProcess::Signal(int number) {
  ::kill(pid_, number);
}

bool ChildProcess::PumpOnce(Clock::time_point deadline) {
  pollfd fds[3];
  nfds_t count = 0;
  if (out_fd_ >= 0) fds[count++] = pollfd{out_fd_, POLLIN, 0};
  if (err_fd_ >= 0) fds[count++] = pollfd{err_fd_, POLLIN, 0};
  const bool writing = input_given_ && in_ >= 0;
  if (writing) fds[count++] = pollfd{in_, POLLOUT, 0};
  if (count == 0) return false;
  const int ready = ::poll(fds, count, MillisecondsLeft(deadline));
  if (ready <= 0) return ready < 0 && errno == EINTR;
  if (out_fd_ >= 0 && !Drain(out_fd_, out_)) CloseFd(out_fd_);
  if (err_fd_ >= 0 && !Drain(err_fd_, err_)) CloseFd(err_fd_);
  if (writing) {
    const ssize_t put = ::write(in_, input_.data() + input_at_, input_.size() - input_at_);
    if (put > 0) input_at_ += static_cast<std::size_t>(put);
    if (put < 0 && errno != EAGAIN && errno != EINTR) input_at_ = input_.size();
    if (input_at_ == input_.size()) CloseFd(in_);
  }
  return true;
}

bool ChildProcess::Reap(bool wait, Clock::time_point deadline) {
  while (!exit_code_) {
    int status = 0;
    const pid_t done = ::waitpid(pid_, &status, WNOHANG);
    if (done == pid_) {
      exit_code_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      break;
    }
    if (!wait || Clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

bool ChildProcess::WaitForError(std::string_view text, std::chrono::milliseconds limit) {
  const auto deadline = Clock::now() + limit;
  while (err_.find(text) == std::string::npos) {
    if (Clock::now() >= deadline || !PumpOnce(deadline))
      return err_.find(text) != std::string::npos;
  }
  return true;
}

bool ChildProcess::WaitForOutputLines(std::size_t count, std::chrono::milliseconds limit) {
  const auto deadline = Clock::now() + limit;
  auto lines = [this] {
    return static_cast<std::size_t>(std::count(out_.begin(), out_.end(), '\n'));
  };
  while (lines() < count) {
    if (Clock::now() >= deadline || !PumpOnce(deadline)) return lines() >= count;
  }
  return true;
}

std::optional<int> ChildProcess::Wait(std::chrono::milliseconds limit) {
  const auto deadline = Clock::now() + limit;
  while (Clock::now() < deadline && PumpOnce(deadline)) {
  }
  if (!Reap(true, deadline)) return std::nullopt;
  return exit_code_;
}

ChildResult RunChild(const std::string& program, const std::vector<std::string>& args,
                     std::string input) {
  ChildProcess child(program, args);
  child.SendInput(std::move(input));
  const std::optional<int> code = child.Wait();
  return ChildResult{code.value_or(-1), child.out(), child.err()};
}

}  // namespace qvr::test
