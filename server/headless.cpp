#include "server/headless.h"

#include <iostream>

#include "ipc/event_loop.h"
#include "ipc/stop_signals.h"
#include "server/server_form.h"

namespace qvr::server {

int RunHeadless() {
  EventLoop loop;
  ServerForm form;
  try {
    form.FormCreate();
  } catch (const EIdCouldNotBindSocket& e) {
    std::cerr << "QVRemoteServer: " << e.what() << std::endl;
    return 1;
  }
  std::cerr << "QVRemoteServer: ready, listening on port " << form.ListeningPort() << std::endl;
  {
    StopSignalWaiter signals([&loop] { loop.Quit(); });
    loop.Run();
  }
  form.FormDestroy();
  return 0;
}

}  // namespace qvr::server
