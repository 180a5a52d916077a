// Windows side of the report file: it lives below the per-user local application-data
// folder, beside the client's settings.
#define NOMINMAX
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <shlobj.h>

#include <string>

#include "server/gui/crash_report.h"

namespace qvr::server {

std::string PlatformDescription() {
  // GetVersionEx reports what the manifest allows; ntdll reports the truth.
  using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOW*);
  OSVERSIONINFOW version{};
  version.dwOSVersionInfoSize = sizeof version;
  const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
  // Through a generic function pointer type, which any function pointer converts to.
  const auto get_version = ntdll ? reinterpret_cast<RtlGetVersionFn>(reinterpret_cast<void (*)()>(
                                       ::GetProcAddress(ntdll, "RtlGetVersion")))
                                 : nullptr;
  if (get_version == nullptr || get_version(&version) != 0) return "Windows";
  SYSTEM_INFO system{};
  ::GetNativeSystemInfo(&system);
  const char* machine = system.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_AMD64   ? "x64"
                        : system.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_ARM64 ? "arm64"
                                                                                        : "x86";
  return "Windows " + std::to_string(version.dwMajorVersion) + '.' +
         std::to_string(version.dwMinorVersion) + " build " +
         std::to_string(version.dwBuildNumber) + ' ' + machine;
}

std::filesystem::path BugReportPath() {
  std::filesystem::path base;
  PWSTR folder = nullptr;
  if (SUCCEEDED(::SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &folder))) {
    base = folder;
  } else {
    base = std::filesystem::temp_directory_path();
  }
  ::CoTaskMemFree(folder);
  return base / "Quelvane" / "Remote Server" / "bugreport.txt";
}

}  // namespace qvr::server
