// tools/dk/dkCommands.hpp
#pragma once

// The commands of `dk`, each given the parsed command line. They print their results on
// standard output and return an exit code; command-line mistakes leave as UsageError and
// repository failures as DKException (or std::runtime_error), which main() turns into messages
// and exit codes. A command runs on the repository a shell keeps open when one is given, and
// otherwise opens REPO itself: read-only for the commands that only read.

#include "dkCli.hpp"
#include "dkOutput.hpp"
#include "dkRepository.hpp"

#include <cstddef>
#include <memory>
#include <string>

class dkResultSetCursor;

namespace dkcli {

int runCommand(const Options& options, Repository* shared = nullptr);

// The commands with sources of their own.
int runImport(const Options& options, Repository* shared);
int runQuery(const Options& options, Repository* shared);
// `dk search`: the words' text search, or with --template the stored template's search.
int runSearch(const Options& options, Repository* shared);
int runShell(const Options& options);
int runFind(const Options& options, Repository* shared);
int runTemplate(const Options& options, Repository* shared);
int runTemplateSearch(const Options& options, Repository* shared);
int runPut(const Options& options, Repository* shared);
int runCat(const Options& options, Repository* shared);
// Membership (dkCmdMembers.cpp): an item's parts, folders and their members, links.
int runParts(const Options& options, Repository* shared);
int runMakeFolder(const Options& options, Repository* shared);
int runFile(const Options& options, Repository* shared);   // file and unfile
int runList(const Options& options, Repository* shared);
int runLink(const Options& options, Repository* shared);
int runLinks(const Options& options, Repository* shared);
// Administration (dkCmdAdmin.cpp): users, groups, ACLs, rights, check-out.
int runAdmin(const Options& options, Repository* shared);
bool isAdminCommand(const std::string& command);
// Stores file as part 1 of the item (entity, id), replacing the part when it is stored.
void storeFileContent(Repository& repo, const std::string& entity, long id, const std::string& file,
                      const std::string& mimeType);

// The operator a command line names (==, <>, LIKE, BETWEEN ... in any case); UsageError naming
// the known ones otherwise.
short operatorOf(const std::string& text, const std::string& command);
std::string operatorName(short op);   // "==", "LIKE" ...

// Prints the rows of cursor as `dk query` does (items with their ENTITY:ID first) and closes it.
int printRows(dkResultSetCursor& cursor, const OutputOptions& output);

// The repository a command works on: the shared one, or one opened for this command alone.
class RepositoryRef {
public:
    RepositoryRef(const Options& options, Repository* shared, bool readOnly);
    Repository& operator*() { return *repo_; }
    Repository* operator->() { return repo_; }

private:
    std::unique_ptr<Repository> own_;
    Repository* repo_;
};

// One transaction around a change of many items. commit() checks the file for damage first, so
// a change is never committed into a damaged repository; leaving without commit() rolls back.
class Transaction {
public:
    explicit Transaction(Repository& repo);
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    void commit();

private:
    Repository& repo_;
    bool open_ = true;
};

// How a command opens REPO: read-only or not, with the run's query limits.
OpenMode openModeFor(const Options& options, bool readOnly);

// The writer options of the output options on the command line.
OutputOptions outputOptionsFor(const Options& options, Format defaultFormat);

// "1 file", "3 files".
std::string plural(std::size_t n, const char* one, const char* many);

}  // namespace dkcli
