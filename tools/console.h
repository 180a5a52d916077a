// What qvslot tells its user on standard error.
#pragma once

#include <string_view>

namespace qvr::tools {

// "qvslot: " + message + LF on standard error.
void Complain(std::string_view message);

// Complains, adds the usage text and returns kExitUsage.
int UsageFailure(std::string_view message);

}  // namespace qvr::tools
