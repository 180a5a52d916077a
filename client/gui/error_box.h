// The client's top-level error handling: a failure that reaches the top of the UI thread is
// shown in a modal error box, and the program goes on.
#pragma once

#include <QString>
#include <QWidget>
#include <exception>
#include <string_view>

namespace qvr::client_gui {

// The box title: the running executable's file name up to its first period, every
// character after the first in lower case ("Qvremoteclient").
QString ApplicationTitle();

// Makes `owner`, a window that is never shown, the parent of the error boxes to come. A box
// over it blocks that window only, so the tray icon, its menu and the settings dialog stay
// usable while the box is open. Without an owner a box blocks every window of the program.
void SetErrorBoxOwner(QWidget* owner);

// A modal box with the error icon, the application title, `message` followed by "." when it
// ends in a character above ".", and one "OK" button. `message` is UTF-8.
void ShowErrorText(std::string_view message);

// Shows the text of the innermost error that has one, as ShowErrorText does. The handler
// the tray program installs for its UI thread.
void ShowErrorBox(std::exception_ptr error);

}  // namespace qvr::client_gui
