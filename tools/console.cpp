#include "tools/console.h"

#include <cstdio>
#include <string>

#include "tools/qvslot_args.h"

namespace qvr::tools {

void Complain(std::string_view message) {
  std::string line = "qvslot: ";
  line.append(message);
  line.push_back('\n');
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);
}

int UsageFailure(std::string_view message) {
  Complain(message);
  const std::string_view usage = UsageText();
  std::fwrite(usage.data(), 1, usage.size(), stderr);
  std::fflush(stderr);
  return kExitUsage;
}

}  // namespace qvr::tools
