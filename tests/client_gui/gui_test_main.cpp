// Entry of the client's GUI tests: one application object for all tests, on the offscreen
// platform, so the tests need no display and never put a window on one.
#include <gtest/gtest.h>

#include <cstdlib>

#include "gui_common/top_level.h"

int main(int argc, char** argv) {
  ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  qvr::gui::GuardedApplication app(argc, argv);
  app.setQuitOnLastWindowClosed(false);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
