// MSVC: type names come readable, with a "class " or "struct " in front.
#include <string_view>

#include "server/gui/type_name.h"

namespace qvr::server {

std::string ReadableTypeName(const std::type_info& type) {
  std::string_view name = type.name();
  for (std::string_view prefix : {"class ", "struct "}) {
    if (name.starts_with(prefix)) name.remove_prefix(prefix.size());
  }
  return std::string(name);
}

std::string CurrentExceptionTypeName() {
  return "unknown";
}

}  // namespace qvr::server
