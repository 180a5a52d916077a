// Fatal reports on Windows: an unhandled structured exception, abort() and std::terminate
// each append one report with the return addresses of the stack before the process ends.
// The texts are prepared at installation; the crash path only formats numbers and writes.
#define NOMINMAX
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <csignal>
#include <cstdlib>
#include <ctime>
#include <exception>
#include <string>
#include <system_error>

#include "server/gui/crash_report.h"
#include "server/gui/fatal_report.h"

namespace qvr::server {

namespace {

constexpr int kMaxFrames = 62;  // CaptureStackBackTrace takes fewer than 63

struct Prepared {
  std::wstring file;
  std::wstring folder;
  std::string header;  // program and platform lines
};
Prepared* prepared = nullptr;
volatile LONG dying = 0;

void Put(HANDLE file, const char* text, DWORD length) {
  DWORD written = 0;
  ::WriteFile(file, text, length, &written, nullptr);
}

void Put(HANDLE file, const std::string& text) {
  Put(file, text.data(), static_cast<DWORD>(text.size()));
}

std::string Hex(unsigned long long value) {
  static const char digits[] = "0123456789abcdef";
  std::string text = "0x";
  for (int shift = 60; shift >= 0; shift -= 4) text += digits[(value >> shift) & 0xF];
  return text;
}

void AppendReport(const std::string& type, const std::string& message) {
  std::error_code ignored;
  std::filesystem::create_directories(prepared->folder, ignored);
  const HANDLE file = ::CreateFileW(prepared->file.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ,
                                    nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  char time[32];
  const std::size_t length = FormatUtc(std::time(nullptr), time);
  Put(file, std::string(kReportStart));
  Put(file, "date/time : " + std::string(time, length) + "\n");
  Put(file, prepared->header);
  Put(file, "exception : " + type + "\nmessage   : " + message + "\n");
  Put(file, "thread    : thread " + std::to_string(::GetCurrentThreadId()) + "\n");
  void* frames[kMaxFrames];
  const USHORT count = ::CaptureStackBackTrace(0, kMaxFrames, frames, nullptr);
  Put(file, "stack trace:\n");
  for (USHORT i = 0; i < count; ++i) {
    Put(file, Hex(reinterpret_cast<unsigned long long>(frames[i])) + "\n");
  }
  Put(file, "\n");
  ::CloseHandle(file);
}

bool FirstDeath() {
  return ::InterlockedExchange(&dying, 1) == 0;
}

LONG WINAPI OnUnhandled(EXCEPTION_POINTERS* info) {
  if (FirstDeath()) {
    AppendReport("structured exception " + Hex(info->ExceptionRecord->ExceptionCode),
                 "at address " + Hex(reinterpret_cast<unsigned long long>(
                                     info->ExceptionRecord->ExceptionAddress)));
  }
  return EXCEPTION_CONTINUE_SEARCH;  // the system ends the process as it would have
}

void OnAbort(int) {
  if (FirstDeath()) AppendReport("fatal signal SIGABRT", "the program was aborted");
  std::signal(SIGABRT, SIG_DFL);
}

void OnTerminate() {
  if (FirstDeath()) {
    std::string type = "std::terminate";
    std::string message = "terminate called without an active exception";
    if (std::exception_ptr error = std::current_exception()) {
      auto described = DescribeException(error);
      type = described.first;
      message = "terminate called after throwing: " + described.second;
    }
    AppendReport(type, message);
  }
  std::signal(SIGABRT, SIG_DFL);
  std::abort();
}

}  // namespace

void InstallFatalReport(const std::filesystem::path& file) {
  static Prepared texts;
  texts.file = file.wstring();
  texts.folder = file.parent_path().wstring();
  texts.header =
      "program   : " + ProgramDescription() + "\nplatform  : " + PlatformDescription() + "\n";
  prepared = &texts;
  ::SetUnhandledExceptionFilter(OnUnhandled);
  std::signal(SIGABRT, OnAbort);
  std::set_terminate(OnTerminate);
}

}  // namespace qvr::server
