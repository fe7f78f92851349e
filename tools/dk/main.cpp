// tools/dk/main.cpp
//
// `dk`: a small command-line front to a repository of the SQLite connector. main() settles where
// the library's log goes (before the first library call, so nothing lands in the current
// folder), parses the command line and maps failures to exit codes: 1 for a wrong command
// line, 2 for a repository that refused or failed, each with its reason on standard error.

#include "dkCli.hpp"
#include "dkCommands.hpp"
#include "dkLogRoot.hpp"

#include <dk/DKException.hpp>

#include <cstdlib>
#include <filesystem>
#include <iostream>

namespace {

// The log folder: $DK_LOG_DIR, else ~/.dk, else (no home) a ".dk" folder beside the repository.
std::filesystem::path logFolder(const dkcli::Options* options) {
    if (const char* dir = std::getenv("DK_LOG_DIR"); dir && *dir) return dir;
    if (const char* home = std::getenv("HOME"); home && *home) return std::filesystem::path(home) / ".dk";
    if (options && !options->args.empty())
        return std::filesystem::absolute(options->args.front()).parent_path() / ".dk";
    return std::filesystem::temp_directory_path() / "dk";
}

int usage(const dkcli::UsageError& e) {
    std::cerr << "dk: " << e.what() << "\n";
    if (e.command().empty())
        std::cerr << "Try 'dk --help'.\n";
    else
        std::cerr << "Try 'dk " << e.command() << " --help'.\n";
    return dkcli::kExitUsage;
}

}  // namespace

int main(int argc, char** argv) {
    dkcli::Options options;
    try {
        options = dkcli::parseArguments(argc, argv);
    } catch (const dkcli::UsageError& e) {
        return usage(e);
    }
    const std::filesystem::path logDir = logFolder(&options);
    if (options.help) {
        std::cout << dkcli::helpText(options.command, (logDir / "dklog.log").string());
        return dkcli::kExitOk;
    }

    std::filesystem::path logFile;
    try {
        dkcli::checkOperands(options);
        logFile = dktools::prepareLogRoot(logDir);
    } catch (const dkcli::UsageError& e) {
        return usage(dkcli::UsageError(e.what(), options.command));
    } catch (const std::filesystem::filesystem_error& e) {
        std::cerr << "dk: cannot prepare the log folder " << logDir.string() << ": " << e.code().message()
                  << " (set DK_LOG_DIR to a folder of your own)\n";
        return dkcli::kExitUsage;
    }

    try {
        return dkcli::runCommand(options);
    } catch (const dkcli::UsageError& e) {
        return usage(dkcli::UsageError(e.what(), options.command));
    } catch (DKExceptionBase& e) {
        const char* text = e.text(0);
        std::cerr << "dk: " << (text ? text : e.toString().c_str()) << "\n";
        std::cerr << "(details in " << logFile.string() << ")\n";
        return dkcli::kExitRepository;
    } catch (const std::exception& e) {
        std::cerr << "dk: " << e.what() << "\n";
        return dkcli::kExitRepository;
    }
}
