// GCC and Clang: the Itanium C++ ABI's demangler and exception type query.
#include <cxxabi.h>

#include <cstdlib>
#include <memory>

#include "server/gui/type_name.h"

namespace qvr::server {

std::string ReadableTypeName(const std::type_info& type) {
  int status = 0;
  std::unique_ptr<char, void (*)(void*)> demangled(
      abi::__cxa_demangle(type.name(), nullptr, nullptr, &status), std::free);
  return status == 0 && demangled ? std::string(demangled.get()) : std::string(type.name());
}

std::string CurrentExceptionTypeName() {
  const std::type_info* type = abi::__cxa_current_exception_type();
  return type != nullptr ? ReadableTypeName(*type) : "unknown";
}

}  // namespace qvr::server
