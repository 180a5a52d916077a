// The settings store's end step in the tray program, after both windows are gone.
#pragma once

#include "client/settings_store.h"

namespace qvr::client_gui {

// Writes the settings file. A file that cannot be written loses this run's changes: the
// user is told in the error box, and the program still ends normally.
void SaveSettingsAtEnd(TSettingsStore& store);

}  // namespace qvr::client_gui
