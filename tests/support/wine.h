// Wine's mailslots differ from Windows' in a few measured ways (Wine 8): a zero-byte message
// makes the reader's ReadFile fail, the owner's size limit is not enforced, and writes
// through an opening made before the owner closed still succeed. Tests of exactly those
// rules skip under Wine, with these reasons; everywhere else they are enforced.
#pragma once

#include <string>

namespace qvr::test {

// The Wine version the test runs under, or empty text on Windows itself and elsewhere.
std::string WineVersion();

inline constexpr const char* kWineZeroByteMessages =
    "Wine's mailslots fail the reader's ReadFile on a zero-byte message";
inline constexpr const char* kWineSizeLimit =
    "Wine's mailslots do not enforce the owner's largest message";
inline constexpr const char* kWineOutdatedOpening =
    "Wine's mailslots still take writes through an opening made before the owner closed";

}  // namespace qvr::test

// Skips the current test under Wine, naming the Wine version and the reason.
#define QVR_SKIP_UNDER_WINE(reason)                                     \
  do {                                                                  \
    const std::string qvr_wine_version = ::qvr::test::WineVersion();    \
    if (!qvr_wine_version.empty()) {                                    \
      GTEST_SKIP() << (reason) << " (Wine " << qvr_wine_version << ")"; \
    }                                                                   \
  } while (false)
