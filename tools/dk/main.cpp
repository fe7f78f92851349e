// tools/dk/main.cpp
//
// `dk`: a command-line front to a repository of the SQLite connector. main() installs the tool's
// log (before the first library call, so nothing lands in the current folder and log trouble
// only warns), parses the command line and maps failures to exit codes: 1 for a wrong command
// line, 2 for a repository that refused or failed, each with its reason on standard error. A
// reader that goes away (`dk query ... | head`) ends the command quietly.

#include "dkCli.hpp"
#include "dkCommands.hpp"
#include "dkToolLog.hpp"

#include <dk/DKException.hpp>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <iostream>

#include <unistd.h>

namespace {

// The log folder: $DK_LOG_DIR, else ~/.dk, else (no home) a ".dk" folder beside the repository.
std::filesystem::path logFolder(const dkcli::Options* options) {
    if (const char* dir = std::getenv("DK_LOG_DIR"); dir && *dir) return dir;
    if (const char* home = std::getenv("HOME"); home && *home) return std::filesystem::path(home) / ".dk";
    if (options && !options->args.empty()) {
        std::error_code ec;
        return std::filesystem::absolute(options->args.front(), ec).parent_path() / ".dk";
    }
    return std::filesystem::temp_directory_path() / "dk";
}

int usage(const dkcli::UsageError& e) {
    std::cerr << "dk: " << dkcli::terminalSafe(e.what()) << "\n";
    if (e.command().empty())
        std::cerr << "Try 'dk --help'.\n";
    else
        std::cerr << "Try 'dk " << e.command() << " --help'.\n";
    return dkcli::kExitUsage;
}

// The banner line of one run: what was asked, never a password (only the file that holds one).
std::string banner(int argc, char** argv) {
    std::string text = std::string("dk ") + DK_TOOL_VERSION + " pid " + std::to_string(getpid()) + ":";
    for (int i = 1; i < argc; ++i) text += std::string(" ") + argv[i];
    return text;
}

}  // namespace

int main(int argc, char** argv) {
    // A closed pipe is seen as EPIPE by the writer, which ends the command quietly.
    std::signal(SIGPIPE, SIG_IGN);
    dkcli::Options options;
    try {
        options = dkcli::parseArguments(argc, argv);
    } catch (const dkcli::UsageError& e) {
        return usage(e);
    }
    if (options.version) {
        std::cout << "dk " << DK_TOOL_VERSION << "\n";
        return dkcli::kExitOk;
    }
    const std::filesystem::path folder = logFolder(&options);
    if (options.help) {
        std::cout << dkcli::helpText(options.command, (folder / dkcli::ToolLog::kFileName).string());
        return dkcli::kExitOk;
    }
    try {
        dkcli::checkOperands(options);
    } catch (const dkcli::UsageError& e) {
        return usage(dkcli::UsageError(e.what(), options.command));
    }
    // Kept to the end of the process (the library holds it as its log manager, and objects it
    // made keep the pointer).
    dkcli::ToolLog& log = *new dkcli::ToolLog(folder);
    log.install(banner(argc, argv));

    try {
        return dkcli::runCommand(options);
    } catch (const dkcli::OutputClosed&) {
        return dkcli::kExitOk;
    } catch (const dkcli::UsageError& e) {
        return usage(dkcli::UsageError(e.what(), e.command().empty() ? options.command : e.command()));
    } catch (DKExceptionBase& e) {
        const char* text = e.text(0);
        std::cerr << "dk: " << dkcli::terminalSafe(text ? text : e.toString().c_str()) << "\n";
        if (log.isOpen()) std::cerr << "(details in " << log.file().string() << ")\n";
        return dkcli::kExitRepository;
    } catch (const std::exception& e) {
        std::cerr << "dk: " << dkcli::terminalSafe(e.what()) << "\n";
        return dkcli::kExitRepository;
    }
}
