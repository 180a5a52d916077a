// The server's pictures: the 16 x 16 tray picture and the application icon in 16, 24, 32
// and 48 pixels, from the PNG files under server/icons.
#pragma once

#include <QIcon>

namespace qvr::server {

QIcon TrayPicture();
QIcon ApplicationIcon();

}  // namespace qvr::server
