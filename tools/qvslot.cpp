// qvslot: owns a slot and prints what arrives there, or writes messages and command
// documents into a slot; the stand-in for the presentation program in tests and scripts.
#include <cstdio>
#include <exception>
#include <string_view>
#include <vector>

#include "tools/console.h"
#include "tools/listen.h"
#include "tools/qvslot_args.h"
#include "tools/send.h"

namespace {

using namespace qvr::tools;

void Print(std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
}

struct Runner {
  int operator()(const HelpRequest&) const {
    Print(UsageText());
    return kExitOk;
  }
  int operator()(const VersionRequest&) const {
    Print("qvslot " QVSLOT_VERSION "\n");
    return kExitOk;
  }
  int operator()(const ListenArgs& args) const { return RunListen(args); }
  int operator()(const SendArgs& args) const { return RunSend(args); }
  int operator()(const CommandArgs& args) const { return RunCommand(args); }
  int operator()(const UsageError& error) const { return UsageFailure(error.message); }
};

}  // namespace

int main(int argc, char** argv) {
  try {
    const std::vector<std::string_view> args(argv + 1, argv + argc);
    return std::visit(Runner{}, ParseArgs(args));
  } catch (const std::exception& error) {
    Complain(error.what());
    return kExitNotPlaced;
  }
}
