// tools/dk/dkCommands.hpp
#pragma once

// The seven commands of `dk`, each given the parsed command line. They print their results on
// standard output and return an exit code; command-line mistakes leave as UsageError and
// repository failures as DKException, which main() turns into messages and exit codes.

#include "dkCli.hpp"

namespace dkcli {

int runCommand(const Options& options);

}  // namespace dkcli
