// The fatal report on POSIX: each case ends a child process the way a crash would, and the
// parent reads the report file.
#include "server/gui/fatal_report.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>

#include "server/gui/crash_report.h"
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

TEST(FatalReportDeathTest, FatalSignalAppendsAReportWithStackTrace) {
  const struct {
    int signal;
    const char* name;
  } cases[] = {{SIGSEGV, "SIGSEGV"},
               {SIGABRT, "SIGABRT"},
               {SIGFPE, "SIGFPE"},
               {SIGBUS, "SIGBUS"},
               {SIGILL, "SIGILL"}};
  for (const auto& c : cases) {
    test::TempDir dir;
    const auto file = dir.path() / "deep" / "folder" / "bugreport.txt";
    EXPECT_EXIT(
        {
          InstallFatalReport(file);
          std::raise(c.signal);
        },
        testing::KilledBySignal(c.signal), "");
    const std::string content = ReadFile(file);
    EXPECT_EQ(content.rfind(kReportStart, 0), 0u) << c.name;
    EXPECT_NE(content.find(std::string("exception : fatal signal ") + c.name + "\n"),
              std::string::npos)
        << content;
    EXPECT_NE(content.find("program   : QVRemoteServer "), std::string::npos);
    EXPECT_NE(content.find("thread    : main thread\n"), std::string::npos);
    // At least one frame follows the heading.
    const auto stack = content.find("stack trace:\n");
    ASSERT_NE(stack, std::string::npos);
    EXPECT_GT(content.size(), stack + 20);
  }
}

TEST(FatalReportDeathTest, TerminateAppendsTheUncaughtException) {
  test::TempDir dir;
  const auto file = dir.path() / "bugreport.txt";
  BugReport earlier;
  earlier.exception_type = "Earlier";
  std::ofstream(file) << FormatBugReport(earlier);
  EXPECT_EXIT(
      {
        InstallFatalReport(file);
        try {
          throw ETestFailure("lost");
        } catch (...) {
          std::terminate();
        }
      },
      testing::KilledBySignal(SIGABRT), "");
  const std::string content = ReadFile(file);
  EXPECT_EQ(Count(content, kReportStart), 2u) << content;  // once, not again for SIGABRT
  EXPECT_NE(content.find("exception : qvr::server::(anonymous namespace)::ETestFailure\n"),
            std::string::npos)
      << content;
  EXPECT_NE(content.find("message   : terminate called after throwing: lost\n"), std::string::npos);
  EXPECT_NE(content.find("stack trace:\n"), std::string::npos);
}

}  // namespace
}  // namespace qvr::server
