// Whether the tray program can open a display here, asked before any Qt object exists.
#pragma once

namespace qvr::client_gui {

bool DisplayAvailable();

}  // namespace qvr::client_gui
