// Feeds arbitrary bytes to the settings file reader. Nothing may crash; a text that is
// refused changes nothing; and every file that is accepted writes back as a text that reads
// to the same values.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "client/settings.h"
#include "client/settings_file.h"

namespace {

// Values unlike the initial ones, so that a value taken over from the file shows.
qvr::TSettings Before() {
  qvr::TSettings settings;
  settings.SetFilter_Message(false);
  settings.SetHost(u"before");
  return settings;
}

bool IsBinary(std::string_view bytes) {
  return bytes.substr(0, 4) == "TPF0";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  qvr::TSettings read = Before();
  try {
    qvr::ReadSettings(bytes, read);
  } catch (const qvr::SettingsFileError&) {
    // A refused text has changed nothing; a binary form keeps what came before its fault.
    if (!IsBinary(bytes) && !(read == Before())) std::abort();
    return 0;
  }
  const std::string text = qvr::WriteSettingsText(read);
  qvr::TSettings again;
  try {
    qvr::ReadSettings(text, again);
  } catch (const qvr::SettingsFileError&) {
    std::abort();  // the program's own text must always read
  }
  if (!(again == read)) std::abort();
  if (qvr::WriteSettingsText(again) != text) std::abort();
  return 0;
}
