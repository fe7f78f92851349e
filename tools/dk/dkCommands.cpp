// tools/dk/dkCommands.cpp
//
// What the small commands of `dk` do with the repository (init, entities, get, update, delete,
// check, backup) and what every command shares: how REPO is opened and how output options
// become writer options. init makes a file, or a database on a server, which it removes again
// when the set-up fails. The connector does the work; this file turns operands into data
// objects and calls, and results into text. Changes to many items run in one transaction that
// is checked for damage before it commits.

#include "dkCommands.hpp"
#include "dkDocument.hpp"
#include "dkPassword.hpp"
#include "dkServerDatabase.hpp"
#include "dkValues.hpp"

#include <dk/DKDDO.hpp>
#include <dk/DKException.hpp>
#include <dk/PRepositoryMaintenance.hpp>
#include <dk/dkDatastore.hpp>
#include <dk/dkResultSetCursor.hpp>

#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <map>

#include <sys/ioctl.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace dkcli {

namespace {

constexpr short kSql = 4;   // the query-language code of SQL

std::size_t terminalColumns() {
    struct winsize ws {};
    if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &ws) == 0 && ws.ws_col > 0) return ws.ws_col;
    if (const char* c = std::getenv("COLUMNS")) return static_cast<std::size_t>(std::strtoul(c, nullptr, 10));
    return 0;
}

// Deletes an array returned by a list...Names call when the scope ends.
struct NameArray {
    DKString* names = nullptr;
    long count = 0;
    ~NameArray() { delete[] names; }
};

// An item named on the command line or selected by --where: its entity and row id.
struct ItemName {
    std::string entity;
    std::string id;
};

// The items the read-only query of --where selects. Each row must be an item, so the query
// must select the dk_id column of one entity.
std::vector<ItemName> selectedItems(Repository& repo, const Options& o) {
    std::unique_ptr<dkResultSetCursor> cursor(repo.datastore().execute(o.where.c_str(), kSql, nullptr));
    std::vector<ItemName> items;
    while (std::unique_ptr<DKDDO> row{cursor->fetchNext()}) {
        const DKPid& pid = row->getPid();
        if (pid.getObjectType().length() == 0 || pid.getIdStringCount() == 0 || pid.getPrimaryId().length() == 0)
            throw UsageError("the query of --where must select the dk_id of one entity's items "
                             "(SELECT dk_id FROM document WHERE ...)",
                             o.command);
        items.push_back({pid.getObjectType().c_str(), pid.getPrimaryId().c_str()});
    }
    cursor->close();
    return items;
}

// Sets the NAME=VALUE changes on item, each read as its attribute's type.
void applyChanges(DKDDO& item, const std::vector<std::pair<std::string, std::string>>& changes,
                  const std::vector<std::pair<std::string, unsigned short>>& attributes, const std::string& itemName) {
    for (const auto& [name, value] : changes) {
        auto attr = std::find_if(attributes.begin(), attributes.end(), [&key = name](const auto& a) { return a.first == key; });
        const unsigned short id = attr == attributes.end() ? 0 : item.dataId(name.c_str());
        if (id == 0) {
            std::string known;
            for (const auto& a : attributes) known += (known.empty() ? "" : ", ") + a.first;
            throw UsageError(itemName + " has no attribute " + name + " (it has " + known + ")", "update");
        }
        item.setData(id, valueOfType(attr->second, value, name));
    }
}

// Sets up the entities of a new repository in the repository just opened.
void defineEntities(const std::string& name, const Options& o, const std::string& password) {
    Repository repo(name, o.user, password, openModeFor(o, false));
    defineDocumentEntity(repo.datastore());
    defineFolderEntity(repo.datastore());
}

// Whether the server's database holds a repository already. Sets missing when the database does
// not exist: init makes it, and only then may drop it. A database without a repository is
// neither (create=1 takes it only when it is empty, and it is never dropped). Logon failures and
// a server that is not there leave as they are.
bool serverRepositoryExists(const std::string& name, const Options& o, const std::string& password, bool& missing) {
    Options probe = o;
    probe.command = "entities";   // opened as a reading command opens it, never created
    try {
        Repository repo(name, o.user, password, openModeFor(probe, true));
        return true;
    } catch (DKServerNotAvailable& e) {
        if (e.errorState() == nullptr || std::string(e.errorState()) != "3D000") throw;
        missing = true;
    } catch (DKLogonFailure&) {
        throw;
    } catch (DKException&) {
        // A database that is no repository: create=1 takes it only when it is empty.
    }
    return false;
}

int runInit(const Options& o) {
    const std::string& name = o.args[0];
    const std::string password = readPassword(o.passwordFile, o.user, true);
    const bool onServer = isServerName(name);
    bool missing = false;
    if (onServer && serverRepositoryExists(name, o, password, missing))
        throw std::runtime_error("the repository " + name + " exists already");
    try {
        defineEntities(name, o, password);
    } catch (DKExceptionBase&) {
        // A repository that could not be set up completely is no use; the file or database was
        // not there before this command, so removing it loses nothing.
        if (!onServer) {
            std::error_code ec;
            for (const char* suffix : {"", "-journal", "-wal", "-shm"}) fs::remove(name + suffix, ec);
        } else if (missing) {
            const std::string why = dropServerDatabase(name, o.user, password);
            if (!why.empty()) std::cerr << "dk: the new database could not be dropped: " << terminalSafe(why) << "\n";
        }
        throw;
    }
    std::cout << "created repository " << name << " with the entities " << kDocument << " and " << kFolder
              << (onServer ? " for the user " : " and the user ") << o.user << "\n";
    return kExitOk;
}

int runEntities(const Options& o, Repository* shared) {
    RepositoryRef repo(o, shared, true);
    dkDatastore& ds = repo->datastore();
    NameArray entities;
    entities.names = ds.listEntityNames(entities.count);
    for (long i = 0; i < entities.count; ++i) {
        std::cout << terminalSafe(entities.names[i].c_str()) << "\n";
        for (const auto& [name, type] : attributesOf(ds, entities.names[i].c_str()))
            std::cout << "  " << terminalSafe(name) << " (" << typeName(type) << ")\n";
    }
    std::cout << "(" << plural(static_cast<std::size_t>(entities.count), "entity)", "entities)") << "\n";
    return kExitOk;
}

int runGet(const Options& o, Repository* shared) {
    RepositoryRef repo(o, shared, true);
    std::unique_ptr<DKDDO> item = repo->itemOf(o.args[1]);
    item->retrieve();
    std::vector<std::string> columns = {"item"};
    std::vector<Cell> cells = {Cell{Cell::kText, Repository::shortName(item->getPid())}};
    for (unsigned short id = 1; id <= item->dataCount(); ++id) {
        if (item->getData(id).typeCode() == DKAny::tc_collection) continue;   // parts, members, links: own commands
        columns.emplace_back(item->getDataName(id).c_str());
        cells.push_back(cellOf(item->getData(id)));
    }
    columns.emplace_back("pid");
    cells.push_back(Cell{Cell::kText, item->getPid().pidString().c_str()});
    RowWriter out(STDOUT_FILENO, outputOptionsFor(o, Format::line));
    out.begin(columns);
    out.row(cells);
    out.end();
    return kExitOk;
}

std::vector<std::pair<std::string, std::string>> changesOf(const Options& o, std::size_t first) {
    std::vector<std::pair<std::string, std::string>> changes;
    for (std::size_t i = first; i < o.args.size(); ++i) {
        changes.push_back(splitAssignment(o.args[i], o.command));
        for (std::size_t k = 0; k + 1 < changes.size(); ++k)
            if (changes[k].first == changes.back().first)
                throw UsageError(changes.back().first + " is given twice", o.command);
    }
    return changes;
}

void listItems(const std::vector<ItemName>& items) {
    for (const ItemName& i : items) std::cout << terminalSafe(i.entity) << ":" << i.id << "\n";
}

int runUpdate(const Options& o, Repository* shared) {
    // Every NAME=VALUE is checked before anything is asked of the repository.
    const auto changes = changesOf(o, o.whereGiven ? 1 : 2);
    RepositoryRef repo(o, shared, o.dryRun);
    if (!o.whereGiven) {
        std::unique_ptr<DKDDO> item = repo->itemOf(o.args[1]);
        item->retrieve();
        const std::string name = Repository::shortName(item->getPid());
        applyChanges(*item, changes, attributesOf(repo->datastore(), item->getPid().getObjectType().c_str()), name);
        item->update();
        std::cout << "updated " << terminalSafe(name) << ": " << plural(changes.size(), "attribute", "attributes")
                  << "\n";
        return kExitOk;
    }
    const std::vector<ItemName> items = selectedItems(*repo, o);
    if (o.dryRun) {
        listItems(items);
        std::cout << "would update " << plural(items.size(), "item", "items") << "\n";
        return kExitOk;
    }
    std::map<std::string, std::vector<std::pair<std::string, unsigned short>>> attributes;   // by entity
    Transaction tx(*repo);
    for (const ItemName& i : items) {
        auto known = attributes.find(i.entity);
        if (known == attributes.end()) known = attributes.emplace(i.entity, attributesOf(repo->datastore(), i.entity)).first;
        std::unique_ptr<DKDDO> item = repo->itemOf(i.entity, i.id);
        applyChanges(*item, changes, known->second, i.entity + ":" + i.id);
        item->update();
    }
    tx.commit();
    std::cout << "updated " << plural(items.size(), "item", "items") << "\n";
    return kExitOk;
}

int runDelete(const Options& o, Repository* shared) {
    RepositoryRef repo(o, shared, o.dryRun);
    if (!o.whereGiven) {
        std::unique_ptr<DKDDO> item = repo->itemOf(o.args[1]);
        item->del();
        std::cout << "deleted " << terminalSafe(Repository::shortName(item->getPid())) << "\n";
        return kExitOk;
    }
    const std::vector<ItemName> items = selectedItems(*repo, o);
    if (o.dryRun) {
        listItems(items);
        std::cout << "would delete " << plural(items.size(), "item", "items") << "\n";
        return kExitOk;
    }
    Transaction tx(*repo);
    for (const ItemName& i : items) repo->itemOf(i.entity, i.id)->del();
    tx.commit();
    std::cout << "deleted " << plural(items.size(), "item", "items") << "\n";
    return kExitOk;
}

int runCheck(const Options& o, Repository* shared) {
    RepositoryRef repo(o, shared, true);
    long count = 0;
    std::unique_ptr<DKString[]> problems(repo->maintenance().check(1, count));
    if (count == 0) {
        std::cout << "ok\n";
        return kExitOk;
    }
    for (long i = 0; i < count; ++i) std::cout << terminalSafe(problems[i].c_str()) << "\n";
    std::cout << plural(static_cast<std::size_t>(count), "problem", "problems") << " found in " << terminalSafe(repo->file())
              << "\n";
    return kExitRepository;
}

int runBackup(const Options& o, Repository* shared) {
    const std::string& target = o.args[1];
    std::error_code ec;
    if (fs::exists(target, ec) || fs::is_symlink(target, ec))
        throw std::runtime_error("the backup file " + target + " exists already");
    RepositoryRef repo(o, shared, true);
    repo->maintenance().backup(target.c_str());
    std::cout << "backed up " << terminalSafe(repo->file()) << " to " << terminalSafe(target) << "\n";
    return kExitOk;
}

}  // namespace

Transaction::Transaction(Repository& repo) : repo_(repo) { repo_.datastore().startTransaction(); }

Transaction::~Transaction() {
    if (!open_) return;
    try {
        repo_.datastore().rollback();
    } catch (DKExceptionBase&) {
        // The failure that brought us here is the one to report.
    }
}

void Transaction::commit() {
    // A file may have been damaged behind the connector's back; a server keeps its own pages and
    // its connector no check.
    long count = 0;
    PRepositoryMaintenance* maintenance = repo_.maintenanceIfKept();
    std::unique_ptr<DKString[]> problems(maintenance ? maintenance->check(0, count) : nullptr);
    if (count > 0)
        throw std::runtime_error("the repository " + repo_.file() + " is damaged (" + problems[0].c_str() +
                                 "); nothing was changed. `dk check` tells more.");
    repo_.datastore().commit();
    open_ = false;
}

RepositoryRef::RepositoryRef(const Options& o, Repository* shared, bool readOnly) : repo_(shared) {
    if (repo_) return;
    own_ = std::make_unique<Repository>(o.args[0], o.user, readPassword(o.passwordFile, o.user, false),
                                        openModeFor(o, readOnly));
    repo_ = own_.get();
}

OpenMode openModeFor(const Options& o, bool readOnly) {
    OpenMode m;
    m.create = o.command == "init";
    m.readOnly = readOnly && !m.create;
    m.queryTimeoutMs = o.timeoutSeconds * 1000;
    m.heapLimitBytes = o.maxMemoryMiB * 1024 * 1024;
    return m;
}

OutputOptions outputOptionsFor(const Options& o, Format defaultFormat) {
    OutputOptions out;
    out.format = defaultFormat;
    if (!o.format.empty() && !parseFormat(o.format, out.format))
        throw UsageError("unknown format '" + o.format + "' (table, csv, tsv, json, jsonl or line)", o.command);
    out.header = !o.noHeader;
    out.nullText = o.nullText;
    out.wide = o.wide;
    out.terminal = isatty(STDOUT_FILENO) == 1;
    out.terminalWidth = out.terminal ? terminalColumns() : 0;
    return out;
}

std::string plural(std::size_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

int runCommand(const Options& o, Repository* shared) {
    if (o.command == "init") return runInit(o);
    if (o.command == "import") return runImport(o, shared);
    if (o.command == "entities") return runEntities(o, shared);
    if (o.command == "query") return runQuery(o, shared);
    if (o.command == "search") return runSearch(o, shared);
    if (o.command == "get") return runGet(o, shared);
    if (o.command == "update") return runUpdate(o, shared);
    if (o.command == "delete") return runDelete(o, shared);
    if (o.command == "check") return runCheck(o, shared);
    if (o.command == "backup") return runBackup(o, shared);
    if (o.command == "shell") return runShell(o);
    if (o.command == "find") return runFind(o, shared);
    if (o.command == "template") return runTemplate(o, shared);
    if (o.command == "put") return runPut(o, shared);
    if (o.command == "cat") return runCat(o, shared);
    if (o.command == "parts") return runParts(o, shared);
    if (o.command == "mkfolder") return runMakeFolder(o, shared);
    if (o.command == "file" || o.command == "unfile") return runFile(o, shared);
    if (o.command == "ls") return runList(o, shared);
    if (o.command == "link") return runLink(o, shared);
    if (o.command == "links") return runLinks(o, shared);
    if (isAdminCommand(o.command)) return runAdmin(o, shared);
    throw UsageError("unknown command '" + o.command + "'");
}

}  // namespace dkcli
