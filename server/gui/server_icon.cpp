#include "server/gui/server_icon.h"

// The pictures sit in a static library, whose resources are registered only on request.
static void LoadPictures() {
  static const bool loaded = [] {
    Q_INIT_RESOURCE(server_icons);
    return true;
  }();
  (void)loaded;
}

namespace qvr::server {

QIcon TrayPicture() {
  LoadPictures();
  return QIcon(QStringLiteral(":/server/tray_16.png"));
}

QIcon ApplicationIcon() {
  LoadPictures();
  QIcon icon;
  for (int size : {16, 24, 32, 48}) {
    icon.addFile(QStringLiteral(":/server/server_%1.png").arg(size), QSize(size, size));
  }
  return icon;
}

}  // namespace qvr::server
