// The client's pictures, each at 16, 24, 32 and 48 pixels.
#pragma once

#include <QIcon>

namespace qvr::client_gui {

// The tray picture, also the program's icon.
QIcon SenderIcon();
// The settings dialog's window icon.
QIcon SettingsIcon();

}  // namespace qvr::client_gui
