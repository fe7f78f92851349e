// tools/dk/dkCli.hpp
#pragma once

// The command line of `dk`: the commands it knows, the options they take, their help texts and
// the exit codes. Nothing here touches a repository. The same parser reads the lines of
// `dk shell`, where the repository is implied.

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
    std::string newPasswordFile;      // --new-password-file FILE (user add, user passwd)
    bool help = false;                // --help / -h / `dk help [COMMAND]`
    bool version = false;             // --version

    // query (and get, for the output options)
    std::vector<std::pair<std::string, std::string>> params;   // --param NAME=VALUE, in order
    std::string format;               // --format NAME (empty: the command's default)
    bool noHeader = false;            // --no-header
    std::string nullText;             // --null TEXT
    bool nullTextGiven = false;
    bool wide = false;                // --wide
    long timeoutSeconds = 60;         // --timeout SECONDS; 0 none
    long maxMemoryMiB = 512;          // --max-memory MIB; 0 none
    bool count = false;               // --count: the size of the result only

    // search
    std::string templateName;         // --template NAME
    bool templateGiven = false;

    // import
    std::vector<std::string> excludes;   // --exclude GLOB
    bool noDefaultExcludes = false;      // --no-default-excludes
    bool deleteMissing = false;          // --delete-missing

    // update, delete
    std::string where;                // --where "SELECT dk_id FROM ..."
    bool whereGiven = false;
    bool dryRun = false;              // --dry-run
};

// Parses argv (argv[0] is the program and is skipped). UsageError for an unknown option, an
// option the command does not take, an option given twice, a missing value or a bad number.
Options parseArguments(int argc, const char* const* argv);
Options parseArguments(const std::vector<std::string>& words);

// Checks the operand count of the command against what it takes; UsageError when wrong.
void checkOperands(const Options& options);

// The help text of one command, or of `dk` itself for an empty or unknown command. logFile is
// where the log goes, named in the text so a user can find it.
std::string helpText(const std::string& command, const std::string& logFile);

// True for the commands `dk` knows.
bool isCommand(const std::string& command);
// True for the commands that only read the repository (opened read-only).
bool isReadingCommand(const std::string& command);

// Splits NAME=VALUE at the first '='; UsageError when there is none or the name is empty.
std::pair<std::string, std::string> splitAssignment(const std::string& text, const std::string& command);

// Splits one line of `dk shell` into words: blanks separate, '...' and "..." quote (a backslash
// escapes the next character outside single quotes). UsageError for an unclosed quote.
std::vector<std::string> splitLine(const std::string& line);

}  // namespace dkcli
