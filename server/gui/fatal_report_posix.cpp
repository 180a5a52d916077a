// Fatal reports on POSIX. The signal path uses only async-signal-safe calls (mkdir, open,
// write, backtrace_symbols_fd, raise) on texts prepared at installation; the terminate
// path runs on an intact heap and may format freely.
#include <execinfo.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <array>
#include <csignal>
#include <cstring>
#include <ctime>
#include <exception>
#include <string>

#include "server/gui/crash_report.h"
#include "server/gui/fatal_report.h"

namespace qvr::server {

namespace {

constexpr std::size_t kMaxText = 4096;
constexpr int kMaxFrames = 64;

struct Prepared {
  char file[kMaxText];
  char folder[kMaxText];
  char header[kMaxText];  // program and platform lines
};
Prepared prepared;
volatile std::sig_atomic_t dying = 0;
alignas(16) char alternate_stack[64 * 1024];

constexpr std::array<int, 5> kFatalSignals = {SIGSEGV, SIGABRT, SIGBUS, SIGFPE, SIGILL};

void Copy(char (&target)[kMaxText], const std::string& text) {
  const std::size_t n = text.size() < kMaxText - 1 ? text.size() : kMaxText - 1;
  std::memcpy(target, text.data(), n);
  target[n] = '\0';
}

void Put(int fd, const char* text) {
  std::size_t left = std::strlen(text);
  while (left > 0) {
    const ssize_t done = ::write(fd, text, left);
    if (done <= 0) return;
    text += done;
    left -= static_cast<std::size_t>(done);
  }
}

void PutNumber(int fd, long long value) {
  char digits[24];
  char* p = digits + sizeof digits;
  *--p = '\0';
  const bool negative = value < 0;
  unsigned long long magnitude = negative ? 0ULL - static_cast<unsigned long long>(value)
                                          : static_cast<unsigned long long>(value);
  do {
    *--p = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  if (negative) *--p = '-';
  Put(fd, p);
}

// Makes every missing folder of the prepared path, one level after the other.
void MakeFolders() {
  char partial[kMaxText];
  for (std::size_t i = 1; prepared.folder[i - 1] != '\0'; ++i) {
    if (prepared.folder[i] == '/' || prepared.folder[i] == '\0') {
      std::memcpy(partial, prepared.folder, i);
      partial[i] = '\0';
      ::mkdir(partial, 0700);
    }
  }
}

int OpenReportFile() {
  MakeFolders();
  return ::open(prepared.file, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
}

void PutHead(int fd) {
  char time[32];
  const std::size_t length = FormatUtc(std::time(nullptr), time);
  time[length] = '\0';
  Put(fd, kReportStart.data());
  Put(fd, "date/time : ");
  Put(fd, time);
  Put(fd, "\n");
  Put(fd, prepared.header);
}

void PutThread(int fd) {
  const long tid = ::syscall(SYS_gettid);
  Put(fd, "thread    : ");
  if (tid == ::getpid()) {
    Put(fd, "main thread");
  } else {
    Put(fd, "thread ");
    PutNumber(fd, tid);
  }
  Put(fd, "\n");
}

void PutStack(int fd) {
  void* frames[kMaxFrames];
  const int count = ::backtrace(frames, kMaxFrames);
  Put(fd, "stack trace:\n");
  ::backtrace_symbols_fd(frames, count, fd);
  Put(fd, "\n");
}

const char* SignalName(int signal) {
  switch (signal) {
    case SIGSEGV:
      return "SIGSEGV";
    case SIGABRT:
      return "SIGABRT";
    case SIGBUS:
      return "SIGBUS";
    case SIGFPE:
      return "SIGFPE";
    case SIGILL:
      return "SIGILL";
    default:
      return "signal";
  }
}

void OnFatalSignal(int signal) {
  if (dying == 0) {
    dying = 1;
    const int fd = OpenReportFile();
    if (fd >= 0) {
      PutHead(fd);
      Put(fd, "exception : fatal signal ");
      Put(fd, SignalName(signal));
      Put(fd, "\nmessage   : the program was stopped by signal ");
      PutNumber(fd, signal);
      Put(fd, "\n");
      PutThread(fd);
      PutStack(fd);
      ::close(fd);
    }
  }
  // The handler was installed for one shot: the default action now ends the process.
  ::raise(signal);
}

void OnTerminate() {
  if (dying == 0) {
    dying = 1;
    std::string type = "std::terminate";
    std::string message = "terminate called without an active exception";
    if (std::exception_ptr error = std::current_exception()) {
      auto described = DescribeException(error);
      type = described.first;
      message = "terminate called after throwing: " + described.second;
    }
    const int fd = OpenReportFile();
    if (fd >= 0) {
      PutHead(fd);
      Put(fd, ("exception : " + type + "\nmessage   : " + message + "\n").c_str());
      PutThread(fd);
      PutStack(fd);
      ::close(fd);
    }
  }
  std::signal(SIGABRT, SIG_DFL);
  std::abort();
}

}  // namespace

void InstallFatalReport(const std::filesystem::path& file) {
  Copy(prepared.file, file.string());
  Copy(prepared.folder, file.parent_path().string());
  Copy(prepared.header,
       "program   : " + ProgramDescription() + "\nplatform  : " + PlatformDescription() + "\n");
  // backtrace loads its unwinder on first use; do that now, not inside a signal handler.
  void* warm_up[1];
  ::backtrace(warm_up, 1);

  stack_t stack{};
  stack.ss_sp = alternate_stack;
  stack.ss_size = sizeof alternate_stack;
  ::sigaltstack(&stack, nullptr);  // lets a stack overflow still be reported

  struct sigaction action {};
  action.sa_handler = OnFatalSignal;
  action.sa_flags = SA_RESETHAND | SA_ONSTACK;
  sigemptyset(&action.sa_mask);
  for (int signal : kFatalSignals) ::sigaction(signal, &action, nullptr);
  std::set_terminate(OnTerminate);
}

}  // namespace qvr::server
