// The settings file RemoteSender.cfg: the text the client writes, and the text and binary
// forms it reads. Pure: bytes in, values out, and back.
#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>

#include "client/settings.h"

namespace qvr {

// Raised when a settings file cannot be read: too short, too large, a text that breaks the
// rules, or a binary form that is cut off or holds a value type this reader does not know.
class SettingsFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Larger files are not settings files; the store does not even read them whole.
inline constexpr std::size_t kMaxSettingsFileSize = 1024 * 1024;

// The exact bytes of the settings file for these values: the text form, 7-bit only, CR LF
// after every line, with no Host line when the host is empty.
std::string WriteSettingsText(const TSettings& settings);

// Reads a settings file, text or binary ("TPF0") form, into `settings`. Properties the object
// does not have are passed over, and so is a value of the wrong kind for a known property.
// A text is checked as a whole first, so a text that breaks the rules changes nothing; the
// binary form applies each value as it is read, so the values before a fault stay.
// Throws SettingsFileError.
void ReadSettings(std::string_view file_bytes, TSettings& settings);

}  // namespace qvr
