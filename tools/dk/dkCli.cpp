// tools/dk/dkCli.cpp
//
// Argument parsing and help texts of `dk`. The commands and the options are fixed tables: each
// command names its operands, each option the commands that take it, so `dk COMMAND --help` and a
// usage error name the same thing, and a misplaced or repeated option is refused before anything
// is opened.

#include "dkCli.hpp"

#include <charconv>
#include <cstring>
#include <set>

namespace dkcli {

namespace {

struct Command {
    const char* name;
    int minOperands;   // REPO included
    int maxOperands;   // -1: any number
    bool reads;        // only reads the repository
    const char* synopsis;
    const char* description;
};

const Command kCommands[] = {
    {"init", 1, 1, false, "dk init REPO",
     "Creates a new repository in the file REPO, with the entity \"document\" (title, filename,\n"
     "size, modified, mimetype, root; title and filename are searched by `dk search`) and the\n"
     "user named by --user (default admin), whose password is read as described under\n"
     "PASSWORDS. REPO must not exist yet; it is a file name (\":memory:\" and \"file:...\"\n"
     "are files of that name too), or a postgresql:// URI naming a database, which is made\n"
     "(the server's role --user needs CREATEDB) and dropped again if the set-up fails.\n"},
    {"import", 2, -1, false, "dk import REPO DIR|URL... [--exclude GLOB]... [--no-default-excludes] [--delete-missing]",
     "Keeps one \"document\" item per regular file under DIR: title (the file name without its\n"
     "extension), filename (the path relative to DIR), size in bytes, modified (the file's\n"
     "modification time, UTC), mimetype (from the file's extension) and root (DIR as an\n"
     "absolute path), and the file's bytes as its content (part 1, which cat prints). Importing\n"
     "the same DIR again adds new files, updates the items (and content) of files whose size or\n"
     "modification time changed and keeps the others; --delete-missing also\n"
     "deletes the items of files that are gone. All of it is one transaction.\n"
     "Left out: symbolic links (never followed), the repository's own files, folders named\n"
     ".git, .hg, .svn or build, and CMake build trees (folders holding a CMakeCache.txt);\n"
     "--no-default-excludes imports those folders too. --exclude GLOB (repeatable) leaves out\n"
     "files and folders whose name matches GLOB, or whose path relative to DIR matches it when\n"
     "GLOB holds a '/'. The summary counts what was left out and names the first few.\n"
     "On a terminal a progress bar is drawn on standard error.\n"
     "An http:// or file:// URL is fetched and kept as one item whose filename is the URL\n"
     "(root empty), updated when its size changed. MIME types come from share/dk/vtxcc2mime.ini.\n"},
    {"entities", 1, 1, true, "dk entities REPO",
     "Lists the entities of the repository, each with its attributes.\n"},
    {"query", 2, 2, true, "dk query REPO \"SELECT ...\" [--param NAME=VALUE]... [OUTPUT OPTIONS]",
     "Runs an SQL query and prints the rows as they are found. When the query selects the id\n"
     "column dk_id of one entity (SELECT * does), each row is an item and starts with its name\n"
     "(ENTITY:ID), which get, update and delete take. --param NAME=VALUE binds the query's\n"
     "parameter NAME (written :NAME in the query); a whole number is passed as a number,\n"
     "anything else as text. Only single read-only SELECT statements are run, on a repository\n"
     "opened read-only. --timeout SECONDS (default 60, 0 for none) and --max-memory MIB\n"
     "(default 512, 0 for none) end a runaway query with an error. --count prints only the\n"
     "number of rows the query finds.\n"},
    {"find", 5, -1, true, "dk find REPO ENTITY NAME OP VALUE... [OUTPUT OPTIONS]",
     "Prints the items of ENTITY whose attribute NAME compares with the VALUEs by OP, as query\n"
     "prints items. OP, in any case: == <> > < >= <= LIKE NOTLIKE (one value), BETWEEN\n"
     "NOTBETWEEN (two), IN NOTIN (one or more). Each VALUE is read as the attribute's type, as\n"
     "update reads it, and is compared as a value, never as query text; under LIKE, % and _\n"
     "match any text and any one character.\n"},
    {"template", 4, -1, false, "dk template REPO NAME ENTITY ATTR[:OP,...]...",
     "Stores the search template NAME over ENTITY in the repository: one criterion per ATTR,\n"
     "with the operators it allows (as find writes them, the first being its default; == when\n"
     "none are given). search --template runs it.\n"},
    {"search", 1, -1, true, "dk search REPO WORDS... [OUTPUT OPTIONS]\n"
                            "       dk search REPO --template NAME [ATTR[:OP]=VALUE]... [OUTPUT OPTIONS]",
     "Finds the items whose text-searchable attributes (title and filename of a document) hold\n"
     "every one of WORDS, best match first, and prints them as query does. Each word is one\n"
     "full-text term in double quotes, so quote marks, AND, OR, NOT, ':' and '(' in it are only\n"
     "text; a word of several parts (foo-bar, a.txt) matches those parts one after the other;\n"
     "a word ending in '*' matches every word that begins with the rest (pars* finds parser).\n"
     "Case and accents are ignored.\n"
     "With --template, runs the stored search template NAME with the given values instead and\n"
     "prints the items it finds. Each ATTR=VALUE sets a criterion's value (given again, one more\n"
     "value: BETWEEN and IN take several) compared by its default operator, or by OP when one is\n"
     "given. The criteria left without a value do not restrict the search; at least one must\n"
     "have one. --timeout and --max-memory work as for query.\n"},
    {"get", 2, 2, true, "dk get REPO ENTITY:ID | PID [OUTPUT OPTIONS]",
     "Prints one item, attribute by attribute. The item is named by its entity and id\n"
     "(document:12) or by a full pid string as `dk get` prints it.\n"},
    {"put", 3, 3, false, "dk put REPO ENTITY:ID|PID FILE",
     "Stores the bytes of FILE as the item's content (part 1), replacing what it held, in one\n"
     "transaction; the file is read a chunk at a time, whatever its size.\n"},
    {"cat", 2, 3, true, "dk cat REPO ENTITY:ID|PID [PART]",
     "Writes the item's content (part PART, default 1) to standard output, byte for byte, as\n"
     "one version of it even while others write.\n"},
    {"parts", 2, 2, true, "dk parts REPO ENTITY:ID|PID",
     "Lists the item's content parts: number, size in bytes and MIME type.\n"},
    {"mkfolder", 2, 2, false, "dk mkfolder REPO NAME",
     "Makes a new folder item titled NAME and prints its name (folder:ID).\n"},
    {"file", 3, -1, false, "dk file REPO FOLDER ITEM...",
     "Files the ITEMs (ENTITY:ID or pid strings) in FOLDER, all in one transaction; an item\n"
     "filed already stays filed once. Deleting a folder leaves its items where they are.\n"},
    {"unfile", 3, -1, false, "dk unfile REPO FOLDER ITEM...",
     "Takes the ITEMs out of FOLDER, in one transaction; the items themselves stay.\n"},
    {"ls", 2, 2, true, "dk ls REPO FOLDER",
     "Lists the items in FOLDER in the order they were filed, each with its title.\n"},
    {"link", 4, 4, false, "dk link REPO SOURCE TARGET TYPE",
     "Links the item SOURCE to the item TARGET with the link type TYPE (any text).\n"},
    {"links", 2, 2, true, "dk links REPO ENTITY:ID|PID",
     "Lists the item's links: \"->\" for those from it, \"<-\" for those to it, with the type\n"
     "and the item at the other end.\n"},
    {"update", 2, -1, false, "dk update REPO ENTITY:ID|PID NAME=VALUE...\n"
                             "       dk update REPO --where \"SELECT dk_id FROM ...\" [--dry-run] NAME=VALUE...",
     "Sets attributes of one item, or of every item the query of --where selects (in one\n"
     "transaction; --dry-run lists them and changes nothing). Each VALUE is read as the\n"
     "attribute's type: a whole number, a number, a timestamp (2024-05-01 12:30:00, with up\n"
     "to nine digits of a second after a '.'; 2024-05-01-12.30.00 is read too), a date\n"
     "(2024-05-01), a time (12:30:00) or text. A date or time that does not exist is refused.\n"
     "Values are printed by get and query in the form update takes.\n"},
    {"delete", 2, 2, false, "dk delete REPO ENTITY:ID|PID\n"
                            "       dk delete REPO --where \"SELECT dk_id FROM ...\" [--dry-run]",
     "Deletes one item, or every item the query of --where selects (in one transaction;\n"
     "--dry-run lists them and deletes nothing).\n"},
    {"check", 1, 1, true, "dk check REPO",
     "Checks the repository file (SQLite's integrity check) and the repository's catalogue\n"
     "against its tables. Prints \"ok\" and exits 0 when both are sound; otherwise prints each\n"
     "problem and exits 2.\n"},
    {"backup", 2, 2, true, "dk backup REPO FILE",
     "Copies the repository into the new file FILE while others may go on writing to it; the\n"
     "copy is one consistent state. FILE must not exist.\n"},
    {"user add", 2, 2, false, "dk user add REPO NAME [--new-password-file FILE]",
     "Adds the user NAME. Its password is asked twice on the terminal, or read from the first\n"
     "line of --new-password-file; never from the command line. Administrators only.\n"},
    {"user del", 2, 2, false, "dk user del REPO NAME",
     "Deletes the user; its open connections fail at their next operation. The last\n"
     "administrator cannot be deleted.\n"},
    {"user list", 1, 1, true, "dk user list REPO", "Lists the users in the order they were made, administrators marked.\n"},
    {"user passwd", 1, 2, false, "dk user passwd REPO [NAME] [--new-password-file FILE]",
     "Changes the password of NAME (default: the --user). Users change their own with their\n"
     "password; an administrator changes another's without it.\n"},
    {"group add", 2, 2, false, "dk group add REPO NAME", "Adds the group NAME (users and groups share names).\n"},
    {"group del", 2, 2, false, "dk group del REPO NAME", "Deletes the group and its ACL entries.\n"},
    {"group list", 1, 2, true, "dk group list REPO [GROUP]", "Lists the groups, or the members of GROUP.\n"},
    {"group adduser", 3, 3, false, "dk group adduser REPO GROUP USER", "Adds USER to GROUP.\n"},
    {"group rmuser", 3, 3, false, "dk group rmuser REPO GROUP USER",
     "Takes USER out of GROUP; the administrators group keeps at least one member.\n"},
    {"acl create", 2, -1, false, "dk acl create REPO NAME [PRINCIPAL=SET]...",
     "Makes the access-control list NAME, each user or group PRINCIPAL holding the privilege\n"
     "set SET (reader, editor, owner), in one transaction.\n"},
    {"acl list", 1, 1, true, "dk acl list REPO", "Lists the access-control lists.\n"},
    {"acl show", 2, 2, true, "dk acl show REPO NAME", "Lists the entries of the ACL as PRINCIPAL=SET.\n"},
    {"chacl", 3, 3, false, "dk chacl REPO ENTITY:ID|PID ACL",
     "Gives the item the access-control list ACL (\"default\" for the repository's default).\n"},
    {"rights", 1, 2, true, "dk rights REPO [ENTITY:ID|PID]",
     "Prints the --user's value of each privilege (0 none, 1 granted, 2 with the right to\n"
     "grant) on the item, or on a new item.\n"},
    {"checkout", 2, 2, false, "dk checkout REPO ENTITY:ID|PID",
     "Checks the item out: until it is checked in, only this user changes it.\n"},
    {"checkin", 2, 2, false, "dk checkin REPO ENTITY:ID|PID", "Checks the item in.\n"},
    {"shell", 1, 1, false, "dk shell REPO",
     "Logs in once, then reads commands line by line: the commands above without \"dk\" and\n"
     "REPO (query \"SELECT * FROM document\" --format csv), and help, quit. Lines are edited\n"
     "with the usual keys on a terminal and read plainly from a pipe. Exits 2 when a command\n"
     "failed and the lines did not come from a terminal.\n"},
};

const Command* findCommand(const std::string& name) {
    for (const Command& c : kCommands)
        if (name == c.name) return &c;
    return nullptr;
}

// An option and the commands that take it ("*": every command).
struct OptionSpec {
    const char* name;
    bool takesValue;
    const char* commands;   // blank-separated
};

const OptionSpec kOptions[] = {
    {"--user", true, "*"},
    {"--password-file", true, "*"},
    {"--new-password-file", true, "user"},
    {"--param", true, "query"},
    {"--format", true, "query get find search"},
    {"--no-header", false, "query find search"},
    {"--null", true, "query get find search"},
    {"--wide", false, "query get find search"},
    {"--count", false, "query"},
    {"--template", true, "search"},
    {"--timeout", true, "query search shell"},
    {"--max-memory", true, "query search shell"},
    {"--exclude", true, "import"},
    {"--no-default-excludes", false, "import"},
    {"--delete-missing", false, "import"},
    {"--where", true, "update delete"},
    {"--dry-run", false, "update delete"},
};

bool takes(const OptionSpec& o, const std::string& command) {
    if (std::strcmp(o.commands, "*") == 0 || command.empty()) return true;
    const std::string list = std::string(" ") + o.commands + " ";
    // A two-word command ("user add") takes the options of its first word.
    return list.find(" " + command.substr(0, command.find(' ')) + " ") != std::string::npos;
}

long numberOption(const std::string& name, const std::string& value, long max) {
    long n = -1;
    const char* end = value.data() + value.size();
    auto [p, ec] = std::from_chars(value.data(), end, n);
    if (value.empty() || ec != std::errc() || p != end || n < 0 || n > max)
        throw UsageError(name + " needs a whole number from 0 to " + std::to_string(max) + ", not '" + value + "'");
    return n;
}

const char kCommonHelp[] =
    "\nOPTIONS\n"
    "  --user NAME           the repository user (default admin)\n"
    "  --password-file FILE  read the password from the first line of FILE\n"
    "  -h, --help            show this help\n"
    "  --version             print the version\n"
    "  --                    end of options (for values that begin with '-')\n"
    "\nOUTPUT OPTIONS (query, get, find, search)\n"
    "  --format FORMAT       table (default), csv (RFC 4180), tsv, json, jsonl or line\n"
    "  --no-header           no header line (table, csv, tsv)\n"
    "  --null TEXT           how NULL is shown in table, line and tsv (default: nothing)\n"
    "  --wide                never cut cells (on a terminal, long cells are cut to fit)\n"
    "\nPASSWORDS\n"
    "  Taken from --password-file, else from the environment variable DK_PASSWORD, else asked\n"
    "  for on the terminal without echo (twice for init, where it must not be empty).\n"
    "\nEXIT STATUS\n"
    "  0 done, 1 wrong command line (nothing was done), 2 the repository refused or failed;\n"
    "  the reason is printed on standard error.\n";

std::string logHelp(const std::string& logFile) {
    return "\nLOG\n  The tool's log goes to " + logFile +
           "\n  (the folder is $DK_LOG_DIR when set, else ~/.dk); when it cannot be written, dk\n"
           "  warns once and goes on without it.\n";
}

}  // namespace

bool isCommand(const std::string& command) { return findCommand(command) != nullptr; }

bool isReadingCommand(const std::string& command) {
    const Command* c = findCommand(command);
    return c != nullptr && c->reads;
}

Options parseArguments(int argc, const char* const* argv) {
    std::vector<std::string> words;
    for (int i = 1; i < argc; ++i) words.emplace_back(argv[i]);
    return parseArguments(words);
}

Options parseArguments(const std::vector<std::string>& argv) {
    Options o;
    std::vector<std::string> words;
    std::vector<std::pair<std::string, std::string>> given;   // option, value
    bool optionsEnded = false;
    for (std::size_t i = 0; i < argv.size(); ++i) {
        const std::string& arg = argv[i];
        if (optionsEnded || arg.empty() || arg[0] != '-' || arg == "-") {
            words.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
        } else if (arg == "-h" || arg == "--help") {
            o.help = true;
        } else if (arg == "--version") {
            o.version = true;
        } else {
            const std::size_t eq = arg.find('=');
            const std::string name = arg.substr(0, eq);
            const OptionSpec* known = nullptr;
            for (const OptionSpec& s : kOptions)
                if (name == s.name) known = &s;
            if (!known) throw UsageError("unknown option " + name);
            std::string value;
            if (known->takesValue) {
                if (eq != std::string::npos) {
                    value = arg.substr(eq + 1);
                } else {
                    if (i + 1 >= argv.size()) throw UsageError("option " + name + " needs a value");
                    value = argv[++i];
                }
            } else if (eq != std::string::npos) {
                throw UsageError("option " + name + " takes no value");
            }
            given.emplace_back(name, value);
        }
    }
    if (!words.empty()) {
        o.command = words.front();
        o.args.assign(words.begin() + 1, words.end());
        // user, group and acl take a second word before REPO.
        if ((o.command == "user" || o.command == "group" || o.command == "acl") && !o.args.empty()) {
            o.command += " " + o.args.front();
            o.args.erase(o.args.begin());
        }
    }
    // `dk help` and `dk help COMMAND` are --help spelled as a command.
    if (o.command == "help") {
        o.help = true;
        o.command = o.args.empty() ? "" : o.args.front();
        o.args.clear();
    }
    if (o.version || o.help) return o;
    if (o.command.empty()) throw UsageError("no command given");
    if (!isCommand(o.command)) throw UsageError("unknown command '" + o.command + "'");

    // Every option is checked before anything is done: does the command take it, is it given
    // once (--param and --exclude may repeat, a parameter name may not).
    std::set<std::string> seen;
    std::set<std::string> paramNames;
    for (const auto& [name, value] : given) {
        const OptionSpec* known = nullptr;
        for (const OptionSpec& s : kOptions)
            if (name == s.name) known = &s;
        if (!takes(*known, o.command)) throw UsageError(name + " is not an option of dk " + o.command, o.command);
        const bool repeatable = name == "--param" || name == "--exclude";
        if (!repeatable && !seen.insert(name).second) throw UsageError(name + " is given twice", o.command);
        if (name == "--user") {
            if (value.empty()) throw UsageError("--user needs a name", o.command);
            o.user = value;
        } else if (name == "--password-file") {
            o.passwordFile = value;
        } else if (name == "--new-password-file") {
            o.newPasswordFile = value;
        } else if (name == "--param") {
            auto assignment = splitAssignment(value, o.command);
            std::string key = assignment.first;
            if (key[0] == ':' || key[0] == '@' || key[0] == '$') key.erase(0, 1);
            if (key.empty()) throw UsageError("--param needs NAME=VALUE, got '" + value + "'", o.command);
            if (!paramNames.insert(key).second)
                throw UsageError("--param " + key + " is given twice", o.command);
            o.params.push_back(assignment);
        } else if (name == "--format") {
            o.format = value;
        } else if (name == "--no-header") {
            o.noHeader = true;
        } else if (name == "--null") {
            o.nullText = value;
            o.nullTextGiven = true;
        } else if (name == "--wide") {
            o.wide = true;
        } else if (name == "--timeout") {
            o.timeoutSeconds = numberOption(name, value, 2000000);
        } else if (name == "--max-memory") {
            o.maxMemoryMiB = numberOption(name, value, 1L << 30);
        } else if (name == "--exclude") {
            if (value.empty()) throw UsageError("--exclude needs a pattern", o.command);
            o.excludes.push_back(value);
        } else if (name == "--no-default-excludes") {
            o.noDefaultExcludes = true;
        } else if (name == "--delete-missing") {
            o.deleteMissing = true;
        } else if (name == "--where") {
            o.where = value;
            o.whereGiven = true;
        } else if (name == "--dry-run") {
            o.dryRun = true;
        } else if (name == "--count") {
            o.count = true;
        } else if (name == "--template") {
            o.templateName = value;
            o.templateGiven = true;
        }
    }
    if (o.dryRun && !o.whereGiven) throw UsageError("--dry-run goes with --where", o.command);
    if (o.templateGiven && o.templateName.empty()) throw UsageError("--template needs a NAME", o.command);
    return o;
}

void checkOperands(const Options& o) {
    const Command* c = findCommand(o.command);
    if (!c) throw UsageError("unknown command '" + o.command + "'");
    int min = c->minOperands;
    int max = c->maxOperands;
    // With --where the query names the items: update takes REPO and assignments, delete REPO.
    if (o.whereGiven && o.command == "update") min = 2;
    if (o.whereGiven && o.command == "delete") min = max = 1;
    if (!o.whereGiven && o.command == "update") min = 3;
    const int n = static_cast<int>(o.args.size());
    if (n < min) throw UsageError("too few arguments; usage: " + std::string(c->synopsis), o.command);
    if (max >= 0 && n > max) throw UsageError("too many arguments; usage: " + std::string(c->synopsis), o.command);
    if (o.args.front().empty()) throw UsageError("the repository name is empty", o.command);
    if (o.whereGiven && o.where.find_first_not_of(" \t\r\n") == std::string::npos)
        throw UsageError("--where needs a query", o.command);
}

std::string helpText(const std::string& command, const std::string& logFile) {
    if (const Command* c = findCommand(command))
        return std::string("usage: ") + c->synopsis + "\n\n" + c->description + kCommonHelp + logHelp(logFile);
    std::string text =
        "dk - keep a folder of files as items of a repository, and query them\n\n"
        "usage: dk COMMAND REPO [ARGUMENTS] [OPTIONS]\n\nCOMMANDS\n";
    for (const Command& c : kCommands) text += std::string("  ") + c.synopsis + "\n";
    text += "\n`dk COMMAND --help` tells more about one command. REPO is the repository file,\n"
            "or a database on a PostgreSQL server: postgresql://HOST:PORT/DATABASE, the server's\n"
            "roles being the users.\n";
    return text + kCommonHelp + logHelp(logFile);
}

std::pair<std::string, std::string> splitAssignment(const std::string& text, const std::string& command) {
    const size_t eq = text.find('=');
    if (eq == std::string::npos || eq == 0) throw UsageError("expected NAME=VALUE, got '" + text + "'", command);
    return {text.substr(0, eq), text.substr(eq + 1)};
}

std::vector<std::string> splitLine(const std::string& line) {
    std::vector<std::string> words;
    std::string word;
    bool inWord = false;
    char quote = 0;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quote == '\'') {
            if (c == '\'') quote = 0;
            else word += c;
        } else if (c == '\\' && i + 1 < line.size() && quote != '\'') {
            word += line[++i];
            inWord = true;
        } else if (quote == '"') {
            if (c == '"') quote = 0;
            else word += c;
        } else if (c == '\'' || c == '"') {
            quote = c;
            inWord = true;
        } else if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
            if (inWord) words.push_back(word);
            word.clear();
            inWord = false;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (quote) throw UsageError(std::string("the line ends inside ") + (quote == '"' ? "\"...\"" : "'...'"));
    if (inWord) words.push_back(word);
    return words;
}

}  // namespace dkcli
