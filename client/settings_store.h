// The settings store: owns the client's one settings object for the whole run and keeps it
// in the settings file RemoteSender.cfg below the per-user application-data folder.
//
// Use from the program, on the UI thread:
//
//   qvr::TSettingsStore store;               // start step: before any window is made
//   ... windows read and change store.Settings() ...
//   if (auto error = store.Save()) Show(*error);   // end step: after the windows are gone
//   // the store (and the object) is released when it leaves scope
//
// Changes reach the file only through Save(). A process that ends without calling it keeps
// the file as it was.
#pragma once

#include <optional>
#include <string>

#include "client/settings.h"

namespace qvr {

class TSettingsStore {
 public:
  // The start step: builds SettingsFileName ("<local app data>/Quelvane/Remote Sender/
  // RemoteSender.cfg", or that path relative to the current folder when the platform names
  // no such folder), creates the folders (failure not looked at), makes the object with its
  // initial values (both flags true, empty host) and loads the file. Never throws for a
  // missing, unreadable or malformed file.
  TSettingsStore();
  ~TSettingsStore() = default;
  TSettingsStore(const TSettingsStore&) = delete;
  TSettingsStore& operator=(const TSettingsStore&) = delete;

  // The program's one settings object.
  TSettings& Settings() { return settings_; }
  const TSettings& Settings() const { return settings_; }

  // Full path of the settings file, fixed at start (UTF-8).
  const std::string& SettingsFileName() const { return settings_file_name_; }

  // Reads the file into the object if it exists. Swallows every failure: a text that breaks
  // the rules changes nothing, a binary file keeps the values read before its fault, and a
  // file larger than kMaxSettingsFileSize is not read at all.
  void Load();

  // The end step's write: replaces the file with the text form of the object, whether or not
  // anything changed. Returns nothing on success, or the error text for the user; the old
  // file is then left as it was.
  std::optional<std::string> Save();

 private:
  std::string settings_file_name_;
  TSettings settings_;
};

}  // namespace qvr
