#include "client/gui/icons.h"

#include <QString>

namespace qvr::client_gui {

namespace {

QIcon Sizes(const QString& name) {
  QIcon icon;
  for (int size : {16, 24, 32, 48}) {
    icon.addFile(QStringLiteral(":/client/icons/%1-%2.png").arg(name).arg(size), QSize(size, size));
  }
  return icon;
}

}  // namespace

QIcon SenderIcon() {
  return Sizes(QStringLiteral("sender"));
}

QIcon SettingsIcon() {
  return Sizes(QStringLiteral("settings"));
}

}  // namespace qvr::client_gui
