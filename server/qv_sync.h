// The blocking hand-off from connection threads to the UI thread. A connection thread hands
// over the messages of one read and waits until the UI thread has shown and forwarded each
// of them; an exception there comes back to the connection thread. Once closed, hand-offs
// are dropped and waiting threads are released at once, so stopping never waits for the
// UI thread.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ipc/dispatcher.h"

namespace qvr::server {

class TQVSyncClass {
 public:
  // Runs on the UI thread, once per message.
  using Step = std::function<void(const std::u16string& text)>;

  // `ui` runs the steps; it must outlive this object or drop its pending tasks.
  TQVSyncClass(Dispatcher& ui, Step show_and_forward);
  // Closes.
  ~TQVSyncClass();
  TQVSyncClass(const TQVSyncClass&) = delete;
  TQVSyncClass& operator=(const TQVSyncClass&) = delete;

  // Connection thread. Runs the step for each text in order, in one UI-thread task, and
  // waits for it. False when the hand-off was dropped (closed, or the task was discarded
  // by the dispatcher). Rethrows what the step threw; the texts after it are not shown.
  bool Deliver(std::vector<std::u16string> texts);

  // UI thread. Drops every hand-off now waiting or still to come.
  void Close();

 private:
  struct Core;
  struct Pending;
  class Ticket;

  Dispatcher& ui_;
  std::shared_ptr<Core> core_;
};

}  // namespace qvr::server
