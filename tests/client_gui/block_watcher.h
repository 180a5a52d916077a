// A window that notes whether a modal window blocks its input: a stand-in for the tray
// icon's window and its menu.
#pragma once

#include <QEvent>
#include <QWidget>

namespace qvr::client_gui {

class BlockWatcher : public QWidget {
 public:
  bool blocked = false;

 protected:
  bool event(QEvent* e) override {
    if (e->type() == QEvent::WindowBlocked) blocked = true;
    if (e->type() == QEvent::WindowUnblocked) blocked = false;
    return QWidget::event(e);
  }
};

}  // namespace qvr::client_gui
