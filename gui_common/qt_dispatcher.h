// The dispatcher of a Qt GUI thread: tasks posted from any thread run on the thread that
// made it, through its Qt event loop, in the order of posting; nested loops (modal
// dialogs, message boxes) deliver them too.
#pragma once

#include <QObject>
#include <memory>

#include "ipc/dispatcher.h"

namespace qvr::gui {

class QtDispatcher final : public Dispatcher {
 public:
  // Becomes the dispatcher of the constructing thread, which must run a Qt event loop.
  QtDispatcher();
  // Tasks still pending are dropped.
  ~QtDispatcher() override;
  QtDispatcher(const QtDispatcher&) = delete;
  QtDispatcher& operator=(const QtDispatcher&) = delete;

  // Thread-safe. A task that throws goes to the top-level handler (top_level.h).
  void Post(Task task) override;

 private:
  // The receiver of the queued calls; deleting it discards those not yet delivered.
  std::unique_ptr<QObject> context_;
  Dispatcher* previous_;
};

}  // namespace qvr::gui
