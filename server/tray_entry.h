// The seam to the tray program, which exists only in builds with the GUI.
#pragma once

namespace qvr::server {

// True when the tray program is built in and a display can be opened.
bool TrayProgramAvailable();

// Runs the tray program until its exit entry is picked; returns the exit status.
int RunTrayProgram(int argc, char** argv);

}  // namespace qvr::server
