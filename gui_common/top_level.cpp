#include "gui_common/top_level.h"

#include <cstdio>
#include <exception>
#include <typeinfo>

namespace qvr::gui {

namespace {

ExceptionHandler& InstalledHandler() {
  static ExceptionHandler handler;
  return handler;
}

void WriteToStderr(std::exception_ptr error) {
  try {
    std::rethrow_exception(error);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "Unhandled exception: %s\n", e.what());
  } catch (...) {
    std::fprintf(stderr, "Unhandled exception of unknown type\n");
  }
}

}  // namespace

ExceptionHandler SetTopLevelHandler(ExceptionHandler handler) {
  return std::exchange(InstalledHandler(), std::move(handler));
}

void ReportTopLevel(std::exception_ptr error) {
  // A copy, so a handler may replace itself while it runs.
  ExceptionHandler handler = InstalledHandler();
  if (!handler) {
    WriteToStderr(error);
    return;
  }
  try {
    handler(error);
  } catch (...) {
    // The handler is the last stop; what it throws itself must not re-enter it.
    WriteToStderr(std::current_exception());
  }
}

GuardedApplication::GuardedApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool GuardedApplication::notify(QObject* receiver, QEvent* event) {
  bool result = false;
  RunGuarded([&] { result = QApplication::notify(receiver, event); });
  return result;
}

}  // namespace qvr::gui
