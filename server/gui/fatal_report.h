// The crash reporter's last word: when the process dies of a fatal signal (SIGSEGV,
// SIGABRT, SIGBUS, SIGFPE, SIGILL) or through std::terminate, one report with a stack trace
// is appended to the report file before the process ends as it would have anyway.
#pragma once

#include <filesystem>

namespace qvr::server {

// Call once, early, on the main thread. The file and its folder are made only when a
// crash happens.
void InstallFatalReport(const std::filesystem::path& file);

}  // namespace qvr::server
