#include "server/gui/crash_report.h"

#include <fstream>
#include <iterator>
#include <sstream>
#include <system_error>
#include <typeinfo>

#include "server/gui/type_name.h"
#include "server/version.h"

namespace qvr::server {

namespace {

// Days since 1970-01-01 to a civil date (proleptic Gregorian), after H. Hinnant.
void CivilFromDays(long long days, long long& year, unsigned& month, unsigned& day) {
  days += 719468;
  const long long era = (days >= 0 ? days : days - 146096) / 146097;
  const auto doe = static_cast<unsigned>(days - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  day = doy - (153 * mp + 2) / 5 + 1;
  month = mp < 10 ? mp + 3 : mp - 9;
  year = static_cast<long long>(yoe) + era * 400 + (month <= 2 ? 1 : 0);
}

char* PutDigits(char* out, long long value, int width) {
  for (int i = width - 1; i >= 0; --i) {
    out[i] = static_cast<char>('0' + value % 10);
    value /= 10;
  }
  return out + width;
}

std::string ReadWhole(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Replaces the file's content through a temporary neighbour, so a failed write leaves the
// old reports in place.
void WriteWhole(const std::filesystem::path& file, const std::string& text) {
  std::error_code error;
  std::filesystem::create_directories(file.parent_path(), error);
  std::filesystem::path temp = file;
  temp += ".tmp";
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    out << text;
    if (!out.flush()) return;
  }
  std::filesystem::rename(temp, file, error);
}

}  // namespace

std::size_t FormatUtc(std::time_t when, char* out) {
  long long seconds = static_cast<long long>(when);
  long long days = seconds / 86400;
  long long rest = seconds % 86400;
  if (rest < 0) {
    rest += 86400;
    --days;
  }
  long long year = 0;
  unsigned month = 0;
  unsigned day = 0;
  CivilFromDays(days, year, month, day);
  char* p = PutDigits(out, year, 4);
  *p++ = '-';
  p = PutDigits(p, month, 2);
  *p++ = '-';
  p = PutDigits(p, day, 2);
  *p++ = ' ';
  p = PutDigits(p, rest / 3600, 2);
  *p++ = ':';
  p = PutDigits(p, rest / 60 % 60, 2);
  *p++ = ':';
  p = PutDigits(p, rest % 60, 2);
  for (char c : {' ', 'U', 'T', 'C'}) *p++ = c;
  return static_cast<std::size_t>(p - out);
}

std::string ProgramDescription() {
  return "QVRemoteServer " + std::string(kVersion);
}

std::pair<std::string, std::string> DescribeException(std::exception_ptr error) {
  try {
    std::rethrow_exception(error);
  } catch (const std::exception& e) {
    return {ReadableTypeName(typeid(e)), e.what()};
  } catch (...) {
    return {CurrentExceptionTypeName(), ""};
  }
}

BugReport MakeBugReport(std::exception_ptr error, std::string thread) {
  BugReport report;
  char time[32];
  report.time.assign(time, FormatUtc(std::time(nullptr), time));
  report.program = ProgramDescription();
  report.platform = PlatformDescription();
  std::tie(report.exception_type, report.message) = DescribeException(error);
  report.thread = std::move(thread);
  return report;
}

std::string FormatBugReport(const BugReport& report) {
  std::ostringstream out;
  out << kReportStart;
  out << "date/time : " << report.time << '\n';
  out << "program   : " << report.program << '\n';
  out << "platform  : " << report.platform << '\n';
  out << "exception : " << report.exception_type << '\n';
  out << "message   : " << report.message << '\n';
  out << "thread    : " << report.thread << '\n';
  if (!report.stack.empty()) out << "stack trace:\n" << report.stack;
  out << '\n';
  return out.str();
}

std::string TrimReports(std::string text, std::size_t limit) {
  while (text.size() > limit) {
    const std::size_t next = text.find(kReportStart, 1);
    if (next == std::string::npos) {
      text.resize(limit);
      break;
    }
    text.erase(0, next);
  }
  return text;
}

BugReportLog::BugReportLog(std::filesystem::path file, std::size_t limit)
    : file_(std::move(file)), limit_(limit) {}

bool BugReportLog::IsRepeat(const BugReport& report) const {
  return reported_.contains({report.exception_type, report.message});
}

bool BugReportLog::Record(const BugReport& report) {
  if (!reported_.emplace(report.exception_type, report.message).second) return false;
  try {
    Append(FormatBugReport(report));
  } catch (...) {
    // Losing the file entry must not stop the report from being shown.
  }
  return true;
}

void BugReportLog::Append(std::string_view text) const {
  std::string content = ReadWhole(file_);
  content.append(text);
  WriteWhole(file_, TrimReports(std::move(content), limit_));
}

void BugReportLog::EnforceLimit() const {
  try {
    std::error_code error;
    if (std::filesystem::file_size(file_, error) <= limit_ || error) return;
    WriteWhole(file_, TrimReports(ReadWhole(file_), limit_));
  } catch (...) {
  }
}

}  // namespace qvr::server
