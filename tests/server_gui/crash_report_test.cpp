#include "server/gui/crash_report.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>

#include "tests/support/temp_dir.h"

namespace qvr::server {
namespace {

class ETestFailure : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

std::string ReadFile(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::size_t Count(const std::string& text, std::string_view part) {
  std::size_t count = 0;
  for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

BugReport Report(std::string type, std::string message) {
  BugReport report;
  report.time = "2026-12-11 12:00:00 UTC";
  report.program = "QVRemoteServer 0.1.0";
  report.platform = "Linux 6.1 x86_64";
  report.exception_type = std::move(type);
  report.message = std::move(message);
  report.thread = "main thread (UI)";
  return report;
}

TEST(CrashReportTest, FormatsUtcTimes) {
  const struct {
    std::time_t when;
    const char* text;
  } cases[] = {
      {0, "1970-01-01 00:00:00 UTC"},
      {951782400, "2000-02-29 00:00:00 UTC"},
      {1781179199, "2026-06-11 11:59:59 UTC"},
      {4102444799, "2099-12-31 23:59:59 UTC"},
  };
  for (const auto& c : cases) {
    char out[32];
    EXPECT_EQ(std::string(out, FormatUtc(c.when, out)), c.text) << c.when;
  }
}

TEST(CrashReportTest, DescribesExceptionsByDynamicTypeAndMessage) {
  EXPECT_EQ(DescribeException(std::make_exception_ptr(std::runtime_error("a"))),
            (std::pair<std::string, std::string>{"std::runtime_error", "a"}));
  EXPECT_EQ(DescribeException(std::make_exception_ptr(ETestFailure("Could not bind"))),
            (std::pair<std::string, std::string>{"qvr::server::(anonymous namespace)::ETestFailure",
                                                 "Could not bind"}));
  EXPECT_EQ(DescribeException(std::make_exception_ptr(42)).first, "int");
}

TEST(CrashReportTest, ReportNamesEveryFieldAndEndsWithAnEmptyLine) {
  BugReport report = Report("qvr::EXmlError", "Illegal character in node name \"a b\"");
  report.stack = "frame 1\nframe 2\n";
  EXPECT_EQ(FormatBugReport(report),
            "==== bug report ====\n"
            "date/time : 2026-12-11 12:00:00 UTC\n"
            "program   : QVRemoteServer 0.1.0\n"
            "platform  : Linux 6.1 x86_64\n"
            "exception : qvr::EXmlError\n"
            "message   : Illegal character in node name \"a b\"\n"
            "thread    : main thread (UI)\n"
            "stack trace:\nframe 1\nframe 2\n"
            "\n");
}

TEST(CrashReportTest, MadeReportCarriesProgramPlatformAndException) {
  const BugReport report =
      MakeBugReport(std::make_exception_ptr(std::logic_error("bad")), "main thread (UI)");
  EXPECT_EQ(report.program.rfind("QVRemoteServer ", 0), 0u);
  EXPECT_FALSE(report.platform.empty());
  EXPECT_EQ(report.exception_type, "std::logic_error");
  EXPECT_EQ(report.message, "bad");
  EXPECT_EQ(report.time.size(), 23u);
}

TEST(CrashReportTest, TrimDropsWholeReportsFromTheFront) {
  const std::string a = FormatBugReport(Report("A", "first"));
  const std::string b = FormatBugReport(Report("B", "second"));
  const std::string c = FormatBugReport(Report("C", "third"));
  const struct {
    std::string text;
    std::size_t limit;
    std::string expected;
  } cases[] = {
      {a + b + c, (a + b + c).size(), a + b + c},  // fits exactly
      {a + b + c, (b + c).size(), b + c},
      {a + b + c, (b + c).size() - 1, c},
      {"foreign text\n" + a + b, (a + b).size(), a + b},  // not a report: goes first
      {a + b, 10, a.substr(0, 10)},                       // one report alone too long
  };
  for (const auto& c : cases) {
    EXPECT_EQ(TrimReports(c.text, c.limit), c.expected) << c.limit;
  }
}

TEST(CrashReportTest, PathFollowsXdgDataHome) {
  test::IsolatedUserDirs dirs;
  EXPECT_EQ(BugReportPath(), dirs.data_dir() / "Quelvane" / "Remote Server" / "bugreport.txt");
}

TEST(CrashReportTest, PathDefaultsToLocalShareBelowHome) {
  test::IsolatedUserDirs dirs;
  const std::string old_home = std::getenv("HOME") ? std::getenv("HOME") : "";
  ::unsetenv("XDG_DATA_HOME");
  ::setenv("HOME", "/home/someone", 1);
  const auto path = BugReportPath();
  ::setenv("HOME", old_home.c_str(), 1);
  EXPECT_EQ(path, std::filesystem::path("/home/someone/.local/share/Quelvane/Remote Server/"
                                        "bugreport.txt"));
}

TEST(CrashReportTest, RecordAppendsReportsAndMakesTheFolder) {
  test::IsolatedUserDirs dirs;
  BugReportLog log;
  const BugReport first = Report("A", "one");
  const BugReport second = Report("B", "two");
  EXPECT_TRUE(log.Record(first));
  EXPECT_TRUE(log.Record(second));
  EXPECT_EQ(ReadFile(BugReportPath()), FormatBugReport(first) + FormatBugReport(second));
}

TEST(CrashReportTest, RepeatOfTypeAndMessageIsNotRecordedAgain) {
  test::TempDir dir;
  BugReportLog log(dir.path() / "bugreport.txt");
  const BugReport report = Report("qvr::server::EIdCouldNotBindSocket", "in use");
  EXPECT_FALSE(log.IsRepeat(report));
  EXPECT_TRUE(log.Record(report));
  EXPECT_TRUE(log.IsRepeat(report));
  BugReport later = report;
  later.time = "2026-12-11 13:00:00 UTC";
  EXPECT_FALSE(log.Record(later));
  // Same type, other message, and same message, other type, are new exceptions.
  EXPECT_TRUE(log.Record(Report("qvr::server::EIdCouldNotBindSocket", "other")));
  EXPECT_TRUE(log.Record(Report("std::runtime_error", "in use")));
  EXPECT_EQ(Count(ReadFile(log.file()), kReportStart), 3u);
  // A new run (a new log) reports it again.
  BugReportLog next_run(log.file());
  EXPECT_TRUE(next_run.Record(report));
}

TEST(CrashReportTest, FileStaysWithinTheLimitByDroppingTheOldestReports) {
  test::TempDir dir;
  BugReportLog log(dir.path() / "bugreport.txt");
  std::string last;
  constexpr int kReports = 400;  // about 80 KB over the limit
  for (int i = 0; i < kReports; ++i) {
    BugReport report = Report("std::runtime_error", "failure number " + std::to_string(i));
    report.stack = std::string(300, 's') + '\n';
    last = FormatBugReport(report);
    ASSERT_TRUE(log.Record(report));
  }
  const std::string content = ReadFile(log.file());
  EXPECT_LE(content.size(), kBugReportLimit);
  EXPECT_GT(content.size(), kBugReportLimit - last.size());
  EXPECT_EQ(content.rfind(kReportStart, 0), 0u);  // starts with a whole report
  EXPECT_EQ(content.substr(content.size() - last.size()), last);
  EXPECT_EQ(content.find("failure number 0\n"), std::string::npos);
  // Whole reports only: every start has its last line.
  EXPECT_EQ(Count(content, kReportStart), Count(content, "thread    : "));
}

TEST(CrashReportTest, EnforceLimitCutsAnOversizedFile) {
  test::TempDir dir;
  const auto file = dir.path() / "bugreport.txt";
  const std::string one = FormatBugReport(Report("A", std::string(600, 'x')));
  std::string big;
  while (big.size() <= kBugReportLimit) big += one;
  std::ofstream(file, std::ios::binary) << big;
  BugReportLog(file).EnforceLimit();
  const std::string content = ReadFile(file);
  EXPECT_LE(content.size(), kBugReportLimit);
  EXPECT_EQ(content.size() % one.size(), 0u);
}

}  // namespace
}  // namespace qvr::server
