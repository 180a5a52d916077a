// The tray program: the settings store's start step, the application with its main window
// and settings dialog, the message loop, and the end step after both windows are gone.
#include <QMetaObject>
#include <QSessionManager>
#include <QSystemTrayIcon>
#include <iostream>

#include "client/gui/display.h"
#include "client/gui/end_step.h"
#include "client/gui/error_box.h"
#include "client/gui/icons.h"
#include "client/gui/main_form.h"
#include "client/gui/settings_dialog.h"
#include "client/settings_store.h"
#include "client/tray_entry.h"
#include "gui_common/qt_dispatcher.h"
#include "gui_common/top_level.h"
#include "ipc/stop_signals.h"

namespace qvr::client {

namespace {

using client_gui::TdlSettings;
using client_gui::TMainForm;

// Makes the main window, then the dialog, and runs the loop. On leaving, the dialog goes
// first, then the main window (reader, relay connection, tray icon).
int RunWindows(TSettings& settings) {
  TMainForm MainForm(settings);
  TdlSettings dlSettings(settings);
  MainForm.SetSettingsDialog(&dlSettings);
  if (!QSystemTrayIcon::isSystemTrayAvailable()) {
    std::cerr << "QVRemoteClient: no notification area; end the program with SIGTERM\n";
  }

  // A stop request from outside ends the program as "Beenden" does. The waiter goes before
  // the main window, and a call queued to a window that is gone is dropped.
  TMainForm* form = &MainForm;
  StopSignalWaiter waiter([form] {
    QMetaObject::invokeMethod(
        form, [form] { form->Beenden1Click(); }, Qt::QueuedConnection);
  });
  return QApplication::exec();
}

}  // namespace

bool TrayProgramAvailable() {
  return client_gui::DisplayAvailable();
}

int RunTrayProgram(int argc, char** argv) {
  TSettingsStore store;  // start step: the settings are loaded before any window exists
  gui::GuardedApplication app(argc, argv);
  app.setQuitOnLastWindowClosed(false);
  app.setWindowIcon(client_gui::SenderIcon());
  gui::QtDispatcher dispatcher;
  gui::SetTopLevelHandler(&client_gui::ShowErrorBox);
  // The session ends: the file is written now, in case the process does not get as far as
  // the end step.
  QObject::connect(&app, &QGuiApplication::commitDataRequest, &app,
                   [&store](QSessionManager&) { store.Save(); });

  const int status = RunWindows(store.Settings());
  client_gui::SaveSettingsAtEnd(store);  // end step, after both windows are gone
  gui::SetTopLevelHandler(nullptr);
  return status;
}

}  // namespace qvr::client
