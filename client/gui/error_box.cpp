#include "client/gui/error_box.h"

#include <QChildEvent>
#include <QCoreApplication>
#include <QMessageBox>
#include <QPointer>
#include <string>

#include "client/error_text.h"
#include "gui_common/message_box.h"

namespace qvr::client_gui {

namespace {

// Turns every message box made over the owner into one that blocks only the owner's window.
// A box is polished before it is shown, so the modality is in place when it opens.
class WindowModalBoxes : public QObject {
 public:
  using QObject::QObject;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::ChildPolished) {
      auto* box = qobject_cast<QMessageBox*>(static_cast<QChildEvent*>(event)->child());
      if (box) box->setWindowModality(Qt::WindowModal);
    }
    return QObject::eventFilter(watched, event);
  }
};

QPointer<QWidget>& Owner() {
  static QPointer<QWidget> owner;
  return owner;
}

}  // namespace

void SetErrorBoxOwner(QWidget* owner) {
  Owner() = owner;
  if (owner) owner->installEventFilter(new WindowModalBoxes(owner));
}

QString ApplicationTitle() {
  const QString path = QCoreApplication::applicationFilePath();
  return QString::fromStdString(client::ApplicationTitle(path.toStdString()));
}

void ShowErrorText(std::string_view message) {
  const QString text = QString::fromStdString(client::ErrorBoxText(message));
  gui::MessageBox::Show(Owner().data(), QMessageBox::Critical, ApplicationTitle(), text,
                        QMessageBox::Ok);
}

void ShowErrorBox(std::exception_ptr error) {
  ShowErrorText(client::InnermostErrorText(error));
}

}  // namespace qvr::client_gui
