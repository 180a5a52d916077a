#include "client/settings_store.h"

#include <exception>

#include "client/appdata.h"
#include "client/settings_file.h"

namespace qvr {

namespace {

std::string SettingsFolder() {
  const char separator = PathSeparator();
  return GetLocalAppDataFolder() + "Quelvane" + separator + "Remote Sender" + separator;
}

}  // namespace

TSettingsStore::TSettingsStore() : settings_file_name_(SettingsFolder()) {
  CreateFolderChain(settings_file_name_);
  settings_file_name_ += "RemoteSender.cfg";
  Load();
}

void TSettingsStore::Load() {
  try {
    if (const auto content = ReadFileIfExists(settings_file_name_, kMaxSettingsFileSize)) {
      ReadSettings(*content, settings_);
    }
  } catch (...) {
    // A settings file that cannot be read is not worth a word: the program starts with
    // what the object holds, and the end step writes a good file.
  }
}

std::optional<std::string> TSettingsStore::Save() {
  try {
    ReplaceFile(settings_file_name_, WriteSettingsText(settings_));
    return std::nullopt;
  } catch (const std::exception& e) {
    return std::string(e.what());
  }
}

}  // namespace qvr
