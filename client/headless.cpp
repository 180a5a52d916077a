#include "client/headless.h"

#include <iostream>

#include "client/client_form.h"
#include "client/error_text.h"
#include "client/settings_store.h"
#include "ipc/codepage.h"
#include "ipc/event_loop.h"
#include "ipc/stop_signals.h"

namespace qvr::client {

namespace {

// Says once whether messages will flow: a second copy of the client cannot own the slot,
// runs on and forwards nothing, which a headless user would otherwise never learn.
void ReportReader(const std::string& program, const ClientForm& form) {
  const std::string slot = Utf16ToUtf8(kSenderSlotName);
  if (form.ReaderOwnsSlot()) {
    std::cerr << program << ": ready, reading " << slot << std::endl;
  } else {
    std::cerr << program << ": warning: cannot own " << slot
              << " (another copy runs?); nothing will be forwarded" << std::endl;
  }
}

// Runs the window core until a stop request; forwarding failures are reported and the
// loop goes on, as the error box lets the tray program go on.
void RunForm(const std::string& program, TSettings& settings) {
  EventLoop loop;
  loop.SetExceptionHandler([&program](std::exception_ptr error) {
    std::cerr << program << ": " << ErrorBoxText(InnermostErrorText(error)) << std::endl;
  });
  ClientForm form(settings);
  StopSignalWaiter waiter([&loop] { loop.Quit(); });
  form.FormCreate();
  ReportReader(program, form);
  loop.Run();
  form.FormDestroy();
}

}  // namespace

int RunHeadless(const std::string& program) {
  TSettingsStore store;  // start step: the settings are loaded before any window exists
  RunForm(program, store.Settings());
  // End step, after the windows are gone. A settings file that cannot be written loses the
  // changes of this run but does not make the end a failure.
  if (auto error = store.Save()) std::cerr << program << ": " << *error << std::endl;
  return 0;
}

}  // namespace qvr::client
