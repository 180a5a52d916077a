// The tray program: the application object, the GUI thread's dispatcher, the crash
// reporter and the hidden main window, with the window's exit order.
#include <QProcess>

#include "gui_common/qt_dispatcher.h"
#include "gui_common/top_level.h"
#include "ipc/stop_signals.h"
#include "server/gui/crash_reporter.h"
#include "server/gui/display.h"
#include "server/gui/fatal_report.h"
#include "server/gui/main_form.h"
#include "server/gui/server_icon.h"
#include "server/tray_entry.h"

namespace qvr::server {

namespace {

// How the run ends, as the reporter's buttons or the tray menu decided.
struct Ending {
  bool requested = false;
  bool restart = false;

  void Request(bool restart_after) {
    requested = true;
    restart = restart || restart_after;
    // Ends every running loop, a dialog's too; a loop not started yet is not started.
    QCoreApplication::exit(0);
  }
};

void StartAnew() {
  QProcess::startDetached(QCoreApplication::applicationFilePath(),
                          QCoreApplication::arguments().mid(1));
}

}  // namespace

bool TrayProgramAvailable() {
  return server_gui::DisplayAvailable();
}

int RunTrayProgram(int argc, char** argv) {
  gui::GuardedApplication app(argc, argv);
  // Closing a message box or the reporter's dialog must not end a program without windows.
  app.setQuitOnLastWindowClosed(false);
  app.setWindowIcon(ApplicationIcon());

  BugReportLog log;
  log.EnforceLimit();
  InstallFatalReport(log.file());
  Ending ending;
  CrashReporter reporter(log, {.close = [&] { ending.Request(false); },
                               .restart = [&] { ending.Request(true); },
                               .send_mail = {},
                               .grab_screen = {}});
  gui::SetTopLevelHandler([&](std::exception_ptr error) { reporter.Handle(error); });

  // The core hands connection messages to the thread's dispatcher: it must come first.
  gui::QtDispatcher dispatcher;
  {
    TMainForm form({}, [&] { ending.Request(false); });
    // SIGTERM or SIGINT (logout, kill) ends the program as "&Beenden" does.
    StopSignalWaiter signals(
        [&] { dispatcher.Post([&] { gui::RunGuarded([&] { form.Beenden1Click(); }); }); });
    // A bind failure goes to the reporter; "continue application" runs on without listener.
    gui::RunGuarded([&] { form.FormCreate(); });
    if (!ending.requested) app.exec();
  }  // the window's exit order: listener, writer, then the components
  gui::SetTopLevelHandler({});
  if (ending.restart) StartAnew();
  return 0;
}

}  // namespace qvr::server
