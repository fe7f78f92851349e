// tools/dk/dkShell.cpp
//
// `dk shell REPO`: one log-in, then the commands of dk line by line without "dk" and REPO. On a
// terminal lines are read with libedit (editing keys, history); from a pipe they are read
// plainly, so a script can feed a shell. A failing command prints its reason and the shell goes
// on; at the end of a script the exit status says whether any command failed.

#include "dkCommands.hpp"
#include "dkPassword.hpp"

#include <dk/DKException.hpp>

#include <cstdio>
#include <cstdlib>
#include <iostream>

#include <editline/readline.h>
#include <unistd.h>

namespace dkcli {

namespace {

const char kShellHelp[] =
    "Commands (REPO is implied):\n"
    "  entities | query \"SELECT ...\" [OPTIONS] | get ITEM | update ITEM NAME=VALUE...\n"
    "  update --where \"SELECT dk_id ...\" NAME=VALUE... | delete ITEM | delete --where \"...\"\n"
    "  import DIR [OPTIONS] | check | backup FILE | help [COMMAND] | quit\n";

// Reads the next line; false at the end of the input.
bool nextLine(bool terminal, std::string& line) {
    if (terminal) {
        char* raw = readline("dk> ");
        if (!raw) return false;
        line = raw;
        std::free(raw);
        if (line.find_first_not_of(" \t") != std::string::npos) add_history(line.c_str());
        return true;
    }
    return static_cast<bool>(std::getline(std::cin, line));
}

}  // namespace

int runShell(const Options& o) {
    const std::string& file = o.args[0];
    const std::string password = readPassword(o.passwordFile, o.user, false);
    // A repository that cannot be written is still worth a shell: it is opened read-only then,
    // and the commands that change it say why they cannot.
    const bool writable = access(file.c_str(), W_OK) == 0;
    Repository repo(file, o.user, password, openModeFor(o, !writable));
    const bool terminal = isatty(STDIN_FILENO) == 1;
    if (terminal)
        std::cout << "dk shell on " << terminalSafe(file) << (writable ? "" : " (read-only)")
                  << "; \"help\" lists the commands, \"quit\" ends.\n";
    bool failed = false;
    std::string line;
    while (nextLine(terminal, line)) {
        std::vector<std::string> words;
        try {
            words = splitLine(line);
        } catch (const UsageError& e) {
            std::cerr << "dk: " << e.what() << "\n";
            failed = true;
            continue;
        }
        if (words.empty() || words[0][0] == '#') continue;
        if (words[0] == "quit" || words[0] == "exit") break;
        if (words[0] == "help" && words.size() == 1) {
            std::cout << kShellHelp;
            continue;
        }
        // The line is a command line of its own with REPO put back after the command, and the
        // shell's log-in and limits kept.
        words.insert(words.begin() + 1, file);
        try {
            Options line = parseArguments(words);
            line.user = o.user;
            line.timeoutSeconds = o.timeoutSeconds;
            line.maxMemoryMiB = o.maxMemoryMiB;
            if (line.help) {
                std::cout << helpText(line.command, "the log of the shell");
                continue;
            }
            if (line.command == "init" || line.command == "shell")
                throw UsageError("dk " + line.command + " is not a command of the shell");
            checkOperands(line);
            if (runCommand(line, &repo) != kExitOk) failed = true;
        } catch (const OutputClosed&) {
            return kExitOk;
        } catch (const UsageError& e) {
            std::cerr << "dk: " << e.what() << "\n";
            failed = true;
        } catch (DKExceptionBase& e) {
            const char* text = e.text(0);
            std::cerr << "dk: " << terminalSafe(text ? text : e.toString().c_str()) << "\n";
            failed = true;
        } catch (const std::exception& e) {
            std::cerr << "dk: " << terminalSafe(e.what()) << "\n";
            failed = true;
        }
    }
    return failed && !terminal ? kExitRepository : kExitOk;
}

}  // namespace dkcli
