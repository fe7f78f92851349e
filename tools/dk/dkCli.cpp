// tools/dk/dkCli.cpp
//
// Argument parsing and help texts of `dk`. The commands are a fixed table: each names its
// operands, and the help text of each is written out here so that `dk COMMAND --help` and a
// usage error name the same thing.

#include "dkCli.hpp"

#include <cstring>

namespace dkcli {

namespace {

struct Command {
    const char* name;
    int minOperands;   // REPO included
    int maxOperands;   // -1: any number
    const char* synopsis;
    const char* description;
};

const Command kCommands[] = {
    {"init", 1, 1, "dk init REPO",
     "Creates a new repository in the file REPO, with the entity \"document\" (title, filename,\n"
     "size, modified, mimetype) and the user named by --user (default admin), whose password\n"
     "is read as described under PASSWORDS. REPO must not exist yet.\n"},
    {"import", 2, 2, "dk import REPO DIR",
     "Adds one \"document\" item per regular file under DIR: title (the file name without its\n"
     "extension), filename (the path relative to DIR), size in bytes, modified (the file's\n"
     "modification time, UTC) and mimetype (from the file's extension). Folders named .git or\n"
     "build, CMake build trees and the repository's own files are skipped. On a terminal a\n"
     "progress bar is drawn on standard error; otherwise only the counts are printed.\n"},
    {"entities", 1, 1, "dk entities REPO",
     "Lists the entities of the repository, each with its attributes.\n"},
    {"query", 2, 2, "dk query REPO \"SELECT ...\" [--param NAME=VALUE]...",
     "Runs an SQL query and prints the rows found as a table. When the query selects the\n"
     "id column dk_id of one entity (SELECT * does), each row is an item and starts with its\n"
     "name (ENTITY:ID), which get, update and delete take. --param NAME=VALUE binds\n"
     "the query's parameter NAME (written :NAME in the query); a whole number is passed as a\n"
     "number, anything else as text. Only single read-only SELECT statements are run.\n"},
    {"get", 2, 2, "dk get REPO ENTITY:ID | PID",
     "Prints one item, attribute by attribute. The item is named by its entity and id\n"
     "(document:12) or by a full pid string as `dk get` and `dk query` print it.\n"},
    {"update", 3, -1, "dk update REPO ENTITY:ID|PID NAME=VALUE...",
     "Sets attributes of one item. Each VALUE is read as the attribute's type: a number,\n"
     "a timestamp (2024-05-01-12.30.00), a date (2024-05-01) or text.\n"},
    {"delete", 2, 2, "dk delete REPO ENTITY:ID|PID",
     "Deletes one item.\n"},
};

const Command* findCommand(const std::string& name) {
    for (const Command& c : kCommands)
        if (name == c.name) return &c;
    return nullptr;
}

const char kCommonHelp[] =
    "\nOPTIONS\n"
    "  --user NAME           the repository user (default admin)\n"
    "  --password-file FILE  read the password from the first line of FILE\n"
    "  -h, --help            show this help\n"
    "  --                    end of options (for values that begin with '-')\n"
    "\nPASSWORDS\n"
    "  Taken from --password-file, else from the environment variable DK_PASSWORD, else asked\n"
    "  for on the terminal without echo (twice for init, where it must not be empty).\n"
    "\nEXIT STATUS\n"
    "  0 done, 1 wrong command line (nothing was done), 2 the repository refused or failed;\n"
    "  the reason is printed on standard error.\n";

std::string logHelp(const std::string& logFile) {
    return "\nLOG\n  The library's log goes to " + logFile +
           "\n  (the folder is $DK_LOG_DIR when set, else ~/.dk).\n";
}

// Takes the value of an option given as "--name value" or "--name=value".
bool takeValue(const std::string& arg, const char* name, int& i, int argc, const char* const* argv,
               std::string& value) {
    const size_t n = std::strlen(name);
    if (arg.compare(0, n, name) != 0) return false;
    if (arg.size() == n) {
        if (i + 1 >= argc) throw UsageError("option " + arg + " needs a value");
        value = argv[++i];
        return true;
    }
    if (arg[n] != '=') return false;
    value = arg.substr(n + 1);
    return true;
}

}  // namespace

bool isCommand(const std::string& command) { return findCommand(command) != nullptr; }

Options parseArguments(int argc, const char* const* argv) {
    Options o;
    std::vector<std::string> words;
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (optionsEnded || arg.empty() || arg[0] != '-' || arg == "-") {
            words.push_back(arg);
            continue;
        }
        std::string value;
        if (arg == "--") {
            optionsEnded = true;
        } else if (arg == "-h" || arg == "--help") {
            o.help = true;
        } else if (takeValue(arg, "--user", i, argc, argv, value)) {
            if (value.empty()) throw UsageError("--user needs a name");
            o.user = value;
        } else if (takeValue(arg, "--password-file", i, argc, argv, value)) {
            o.passwordFile = value;
        } else if (takeValue(arg, "--param", i, argc, argv, value)) {
            o.params.push_back(value);
        } else {
            throw UsageError("unknown option " + arg);
        }
    }
    if (!words.empty()) {
        o.command = words.front();
        o.args.assign(words.begin() + 1, words.end());
    }
    // `dk help` and `dk help COMMAND` are --help spelled as a command.
    if (o.command == "help") {
        o.help = true;
        o.command = o.args.empty() ? "" : o.args.front();
        o.args.clear();
    }
    if (!o.help && o.command.empty()) throw UsageError("no command given");
    if (!o.command.empty() && !isCommand(o.command)) throw UsageError("unknown command '" + o.command + "'");
    return o;
}

void checkOperands(const Options& o) {
    const Command* c = findCommand(o.command);
    if (!c) throw UsageError("unknown command '" + o.command + "'");
    const int n = static_cast<int>(o.args.size());
    if (n < c->minOperands) throw UsageError("too few arguments; usage: " + std::string(c->synopsis), o.command);
    if (c->maxOperands >= 0 && n > c->maxOperands)
        throw UsageError("too many arguments; usage: " + std::string(c->synopsis), o.command);
    if (!o.params.empty() && o.command != "query") throw UsageError("--param is for dk query only", o.command);
    if (o.args.front().empty()) throw UsageError("the repository name is empty", o.command);
}

std::string helpText(const std::string& command, const std::string& logFile) {
    if (const Command* c = findCommand(command))
        return std::string("usage: ") + c->synopsis + "\n\n" + c->description + kCommonHelp + logHelp(logFile);
    std::string text =
        "dk - keep a folder of files as items of a repository, and query them\n\n"
        "usage: dk COMMAND REPO [ARGUMENTS] [OPTIONS]\n\nCOMMANDS\n";
    for (const Command& c : kCommands) text += std::string("  ") + c.synopsis + "\n";
    text += "\n`dk COMMAND --help` tells more about one command. REPO is the repository file.\n";
    return text + kCommonHelp + logHelp(logFile);
}

std::pair<std::string, std::string> splitAssignment(const std::string& text, const std::string& command) {
    const size_t eq = text.find('=');
    if (eq == std::string::npos || eq == 0) throw UsageError("expected NAME=VALUE, got '" + text + "'", command);
    return {text.substr(0, eq), text.substr(eq + 1)};
}

}  // namespace dkcli
