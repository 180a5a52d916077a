// Readable names of exception types, as the compiler's runtime can tell them.
#pragma once

#include <string>
#include <typeinfo>

namespace qvr::server {

// "std::runtime_error" rather than the mangled name.
std::string ReadableTypeName(const std::type_info& type);
// The type of the exception being handled inside catch (...), or "unknown".
std::string CurrentExceptionTypeName();

}  // namespace qvr::server
