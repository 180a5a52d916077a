// The listening subcommand of qvslot: it stands in for the presentation program as the
// owner of a slot.
#pragma once

#include "tools/qvslot_args.h"

namespace qvr::tools {

// Owns the slot and prints its messages until the count, the time-out or a stop signal;
// returns the process exit code.
int RunListen(const ListenArgs& args);

}  // namespace qvr::tools
