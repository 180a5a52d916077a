// How a failure that reaches the client's top level is put before the user: the text and
// title of the error box, and the same text on the headless program's error output.
#pragma once

#include <exception>
#include <string>
#include <string_view>

namespace qvr::client {

// The error's text, followed by "." when its last character has a code above that of ".".
std::string ErrorBoxText(std::string_view message);

// The executable's file name up to its first period, every character after the first in
// lower case: "/opt/bin/QVRemoteClient" -> "Qvremoteclient". Text is UTF-8.
std::string ApplicationTitle(std::string_view executable_path);

// The text of the innermost error that has one, following std::nested_exception; empty when
// no error in the chain carries a text.
std::string InnermostErrorText(std::exception_ptr error);

}  // namespace qvr::client
