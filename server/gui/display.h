// Whether the tray program can open a display here, asked before any Qt object exists.
#pragma once

namespace qvr::server_gui {

bool DisplayAvailable();

}  // namespace qvr::server_gui
