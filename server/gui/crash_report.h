// The file side of the server's crash reporter, free of any GUI: what a report holds, how
// it is written, the per-user file "bugreport.txt" that collects reports up to a size
// limit, and the rule that an exception already reported in this run is not reported again.
#pragma once

#include <cstddef>
#include <ctime>
#include <exception>
#include <filesystem>
#include <set>
#include <string>
#include <string_view>
#include <utility>

namespace qvr::server {

// The report file never grows beyond this; the oldest whole reports make room.
inline constexpr std::size_t kBugReportLimit = 100000;
// First line of every report; the file is cut only in front of such a line.
inline constexpr std::string_view kReportStart = "==== bug report ====\n";

struct BugReport {
  std::string time;  // "YYYY-MM-DD hh:mm:ss UTC"
  std::string program;
  std::string platform;
  std::string exception_type;
  std::string message;
  std::string thread;
  std::string stack;  // empty when no stack trace was taken
};

// "YYYY-MM-DD hh:mm:ss UTC" into `out` (at least 24 bytes, no terminating zero); returns the
// length. Pure arithmetic, so the fatal-signal path may use it.
std::size_t FormatUtc(std::time_t when, char* out);

// "QVRemoteServer 0.1.0"
std::string ProgramDescription();
// The operating system, its release and the machine.
std::string PlatformDescription();
// Dynamic type (demangled) and message of a caught exception.
std::pair<std::string, std::string> DescribeException(std::exception_ptr error);

// A report of `error` now, on the thread described by `thread`.
BugReport MakeBugReport(std::exception_ptr error, std::string thread);
// The report as text: kReportStart, one "name: value" line per field, the stack trace if
// any, then an empty line.
std::string FormatBugReport(const BugReport& report);
// Drops whole reports from the front until the text fits `limit`; a newest report that
// alone exceeds it keeps its beginning.
std::string TrimReports(std::string text, std::size_t limit);

// $XDG_DATA_HOME (default ~/.local/share) / "Quelvane/Remote Server/bugreport.txt".
std::filesystem::path BugReportPath();

class BugReportLog {
 public:
  explicit BugReportLog(std::filesystem::path file = BugReportPath(),
                        std::size_t limit = kBugReportLimit);

  // True when an exception of the same type and message was recorded in this run.
  bool IsRepeat(const BugReport& report) const;
  // Appends the report unless it is a repeat; false for a repeat. Never throws: a file
  // that cannot be written loses the report, the caller still shows it.
  bool Record(const BugReport& report);
  // Cuts the file back to the limit (a fatal report appends without looking at it).
  void EnforceLimit() const;

  const std::filesystem::path& file() const { return file_; }

 private:
  void Append(std::string_view text) const;

  std::filesystem::path file_;
  std::size_t limit_;
  std::set<std::pair<std::string, std::string>> reported_;
};

}  // namespace qvr::server
