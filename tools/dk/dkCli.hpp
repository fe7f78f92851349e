// tools/dk/dkCli.hpp
#pragma once

// The command line of `dk`: the commands it knows, the options they take, their help texts and
// the exit codes. Nothing here touches a repository.

#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace dkcli {

// What `dk` returns to the shell.
enum ExitCode {
    kExitOk = 0,
    kExitUsage = 1,        // the command line is wrong; nothing was done
    kExitRepository = 2,   // the repository or the library refused or failed
};

// A mistake on the command line (an unknown command, a missing argument, a malformed pid or
// NAME=VALUE pair). main() prints it with a hint to --help and exits with kExitUsage.
class UsageError : public std::runtime_error {
public:
    UsageError(const std::string& text, std::string command = "")
        : std::runtime_error(text), command_(std::move(command)) {}
    const std::string& command() const { return command_; }

private:
    std::string command_;
};

// The parsed command line. Options may stand before or after the command; "--" ends them.
struct Options {
    std::string command;              // "init", "import", ...; empty when none was given
    std::vector<std::string> args;    // the operands after the command (REPO first)
    std::string user = "admin";       // --user NAME
    std::string passwordFile;         // --password-file FILE
    std::vector<std::string> params;  // --param NAME=VALUE (query), in the order given
    bool help = false;                // --help / -h / `dk help [COMMAND]`
};

// Parses argv; UsageError for an unknown option or a missing option value.
Options parseArguments(int argc, const char* const* argv);

// Checks the operand count of the command against what it takes; UsageError when wrong.
void checkOperands(const Options& options);

// The help text of one command, or of `dk` itself for an empty or unknown command. logFile is
// where the log goes, named in the text so a user can find it.
std::string helpText(const std::string& command, const std::string& logFile);

// True for the commands `dk` knows.
bool isCommand(const std::string& command);

// Splits NAME=VALUE at the first '='; UsageError when there is none or the name is empty.
std::pair<std::string, std::string> splitAssignment(const std::string& text, const std::string& command);

}  // namespace dkcli
