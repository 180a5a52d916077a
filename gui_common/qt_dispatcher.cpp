#include "gui_common/qt_dispatcher.h"

#include <QMetaObject>
#include <utility>

#include "gui_common/top_level.h"

namespace qvr::gui {

QtDispatcher::QtDispatcher()
    : context_(std::make_unique<QObject>()), previous_(MakeCurrent(this)) {}

QtDispatcher::~QtDispatcher() {
  if (Current() == this) MakeCurrent(previous_);
}

void QtDispatcher::Post(Task task) {
  // Queued calls to one receiver are delivered in the order they were posted.
  QMetaObject::invokeMethod(
      context_.get(), [task = std::move(task)] { RunGuarded(task); }, Qt::QueuedConnection);
}

}  // namespace qvr::gui
