// Where exceptions go that reach the top of the UI thread: Qt lets none pass through its
// event loop, so every entry point from the loop into the program's code catches and
// hands the exception to the one handler the program installed (a crash reporter, an
// error box).
#pragma once

#include <QApplication>
#include <exception>
#include <functional>
#include <utility>

namespace qvr::gui {

using ExceptionHandler = std::function<void(std::exception_ptr)>;

// Installs the handler for the process; returns the one it replaces. UI thread only.
ExceptionHandler SetTopLevelHandler(ExceptionHandler handler);

// Gives the exception to the installed handler; without one it is written to stderr and
// the program goes on.
void ReportTopLevel(std::exception_ptr error);

// Runs `step` and reports whatever it throws; for slots and other entry points.
template <class Step>
void RunGuarded(Step&& step) {
  try {
    std::forward<Step>(step)();
  } catch (...) {
    ReportTopLevel(std::current_exception());
  }
}

// An application object whose event delivery catches what handlers throw.
class GuardedApplication : public QApplication {
 public:
  GuardedApplication(int& argc, char** argv);
  bool notify(QObject* receiver, QEvent* event) override;
};

}  // namespace qvr::gui
