#include "client/gui/error_box.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <string>

#include "client/error_text.h"
#include "gui_common/message_box.h"

namespace qvr::client_gui {

QString ApplicationTitle() {
  const QString path = QCoreApplication::applicationFilePath();
  return QString::fromStdString(client::ApplicationTitle(path.toStdString()));
}

void ShowErrorText(std::string_view message) {
  const QString text = QString::fromStdString(client::ErrorBoxText(message));
  gui::MessageBox::Show(nullptr, QMessageBox::Critical, ApplicationTitle(), text, QMessageBox::Ok);
}

void ShowErrorBox(std::exception_ptr error) {
  ShowErrorText(client::InnermostErrorText(error));
}

}  // namespace qvr::client_gui
