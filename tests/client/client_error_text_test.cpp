// The texts of the client's top-level error report.
#include "client/error_text.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "client/forwarder.h"

namespace qvr::client {
namespace {

struct TextCase {
  std::string message;
  std::string shown;
};

void PrintTo(const TextCase& c, std::ostream* out) {
  *out << ::testing::PrintToString(c.message);
}

class ErrorBoxTextTest : public ::testing::TestWithParam<TextCase> {};

TEST_P(ErrorBoxTextTest, AddsAPeriodAfterACharacterAboveThePeriod) {
  EXPECT_EQ(ErrorBoxText(GetParam().message), GetParam().shown);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ErrorBoxTextTest,
    ::testing::Values(TextCase{"Connection refused", "Connection refused."},
                      TextCase{"Connect timed out.", "Connect timed out."},
                      TextCase{"Socket Error # 111\nConnection refused",
                               "Socket Error # 111\nConnection refused."},
                      TextCase{"ends in a dash -", "ends in a dash -"},   // '-' is below '.'
                      TextCase{"ends in a slash/", "ends in a slash/."},  // '/' is above '.'
                      TextCase{"ends in a blank ", "ends in a blank "},
                      TextCase{"number 0", "number 0."},
                      TextCase{"Gr\xC3\xBC\xC3\x9F", "Gr\xC3\xBC\xC3\x9F."},  // "Grüß"
                      TextCase{"", ""}));

struct TitleCase {
  std::string path;
  std::string title;
};

void PrintTo(const TitleCase& c, std::ostream* out) {
  *out << ::testing::PrintToString(c.path);
}

class ApplicationTitleTest : public ::testing::TestWithParam<TitleCase> {};

TEST_P(ApplicationTitleTest, FileNameUpToTheFirstPeriodCapitalisedOnce) {
  EXPECT_EQ(ApplicationTitle(GetParam().path), GetParam().title);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ApplicationTitleTest,
    ::testing::Values(TitleCase{"/usr/local/bin/QVRemoteClient", "Qvremoteclient"},
                      TitleCase{"QVRemoteClient.exe", "Qvremoteclient"},
                      TitleCase{"./build/bin/qv.Remote.client", "qv"},  // the first stays as it is,
                      TitleCase{"/opt/x.y/lOWER", "lower"},
                      TitleCase{"\xC3\x84RGER.bin", "\xC3\x84rger"},  // "ÄRGER" -> "Ärger"
                      TitleCase{"/bin/.hidden", ""}));

TEST(InnermostErrorTextTest, ShowsTheTextOfTheInnermostErrorThatHasOne) {
  std::exception_ptr error;
  try {
    try {
      throw SocketError(111, "Connection refused");
    } catch (...) {
      std::throw_with_nested(std::runtime_error("outer"));
    }
  } catch (...) {
    error = std::current_exception();
  }
  EXPECT_EQ(InnermostErrorText(error), "Socket Error # 111\nConnection refused");
  EXPECT_EQ(InnermostErrorText(std::make_exception_ptr(ConnectTimeoutError())),
            "Connect timed out.");
  EXPECT_EQ(InnermostErrorText(std::make_exception_ptr(42)), "");
}

}  // namespace
}  // namespace qvr::client
