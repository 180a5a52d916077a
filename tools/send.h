// The writing subcommands of qvslot; each returns the process exit code.
#pragma once

#include "tools/qvslot_args.h"

namespace qvr::tools {

// One message from TEXT or all of standard input, or one message per input line.
int RunSend(const SendArgs& args);

// The command document for the action, into the presentation program's slot.
int RunCommand(const CommandArgs& args);

}  // namespace qvr::tools
