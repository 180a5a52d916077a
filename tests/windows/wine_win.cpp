// Wine's ntdll exports wine_get_version; Windows' ntdll does not.
#define NOMINMAX
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include "tests/support/wine.h"

namespace qvr::test {

std::string WineVersion() {
  const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  if (ntdll == nullptr) return {};
  using GetVersion = const char*(__cdecl*)();
  const auto get_version = reinterpret_cast<GetVersion>(
      reinterpret_cast<void*>(GetProcAddress(ntdll, "wine_get_version")));
  if (get_version == nullptr) return {};
  const char* version = get_version();
  return version != nullptr ? version : "unknown";
}

}  // namespace qvr::test
