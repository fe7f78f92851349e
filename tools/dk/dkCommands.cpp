// tools/dk/dkCommands.cpp
//
// What each `dk` command does with the repository. The connector does the work; this file only
// turns command-line operands into data objects and calls, and results into text.

#include "dkCommands.hpp"
#include "dkImport.hpp"
#include "dkPassword.hpp"
#include "dkRepository.hpp"
#include "dkTable.hpp"

#include <dk/DKDDO.hpp>
#include <dk/DKDate.hpp>
#include <dk/DKException.hpp>
#include <dk/DKNVPair.hpp>
#include <dk/dkDatastore.hpp>
#include <dk/dkDatastoreDef.hpp>
#include <dk/dkResultSetCursor.hpp>

#include <algorithm>
#include <charconv>
#include <ctime>
#include <filesystem>
#include <iostream>
#include <memory>

#include <unistd.h>

namespace fs = std::filesystem;

namespace dkcli {

namespace {

constexpr const char* kDocument = "document";
constexpr short kSql = 4;   // the query-language code of SQL

// The attributes of a document item, in the order they are defined and shown.
struct AttributeSpec {
    const char* name;
    DKAny::TypeCode type;
    const char* description;
};
const AttributeSpec kDocumentAttributes[] = {
    {"title", DKAny::tc_string, "the file name without its extension"},
    {"filename", DKAny::tc_string, "the path relative to the imported folder"},
    {"size", DKAny::tc_long, "the size in bytes"},
    {"modified", DKAny::tc_timestamp, "the time of the last change, UTC"},
    {"mimetype", DKAny::tc_string, "the MIME type, from the file name's extension"},
};

void defineDocumentEntity(dkDatastore& ds) {
    std::unique_ptr<dkEntityDef> entity(ds.datastoreDef()->createEntity());
    entity->setName(kDocument);
    entity->setDescription("one imported file");
    for (const AttributeSpec& a : kDocumentAttributes) {
        std::unique_ptr<dkAttrDef> attr(entity->createAttr());
        attr->setName(a.name);
        attr->setType(a.type);
        attr->setDescription(a.description);
        entity->addAttr(attr.get());   // the entity keeps it from here on
        attr.release();
    }
    entity->add();
}

DKTimestamp utcTimestamp(std::time_t seconds, long nanos) {
    std::tm tm{};
    gmtime_r(&seconds, &tm);
    return DKTimestamp(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec,
                       static_cast<int>(nanos));
}

// Deletes an array returned by a list...Names call when the scope ends.
struct NameArray {
    DKString* names = nullptr;
    long count = 0;
    ~NameArray() { delete[] names; }
};

// A query parameter: a whole number is passed as a number, anything else as text.
DKAny parameterValue(const std::string& text) {
    long n = 0;
    const char* end = text.data() + text.size();
    auto [p, ec] = std::from_chars(text.data(), end, n);
    if (!text.empty() && ec == std::errc() && p == end) return DKAny(n);
    return DKAny(DKString(text));
}

std::string plural(std::size_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

int runInit(const Options& o) {
    const std::string& file = o.args[0];
    const std::string password = readPassword(o.passwordFile, o.user, true);
    try {
        Repository repo(file, o.user, password, true);
        defineDocumentEntity(repo.datastore());
    } catch (DKExceptionBase&) {
        // A repository that could not be set up completely is no use; the file was not there
        // before this command, so removing it loses nothing.
        std::error_code ec;
        for (const char* suffix : {"", "-journal", "-wal", "-shm"}) fs::remove(file + suffix, ec);
        throw;
    }
    std::cout << "created repository " << file << " with the entity " << kDocument << " and the user " << o.user
              << "\n";
    return kExitOk;
}

int runImport(const Options& o) {
    const std::string& file = o.args[0];
    const fs::path dir = o.args[1];
    std::vector<std::string> unreadable;
    // The repository's own files may lie inside the imported folder; they are not documents.
    const std::vector<fs::path> own = {file, file + "-journal", file + "-wal", file + "-shm"};
    const std::vector<ImportFile> files = collectFiles(dir, own, unreadable);
    for (const std::string& u : unreadable) std::cerr << "dk: skipped a folder that cannot be read: " << u << "\n";

    Repository repo(file, o.user, readPassword(o.passwordFile, o.user, false), false);
    dkDatastore& ds = repo.datastore();
    const bool terminal = isatty(STDERR_FILENO) == 1;
    if (!terminal) std::cout << "found " << plural(files.size(), "file", "files") << " under " << dir.string() << "\n";

    Progress progress(stderr, files.size(), terminal);
    // One transaction for the whole folder: all files or none, and far faster than one each.
    ds.startTransaction();
    try {
        for (std::size_t i = 0; i < files.size(); ++i) {
            const ImportFile& f = files[i];
            std::unique_ptr<DKDDO> item(ds.createDDO(kDocument, 0));
            item->setData(item->dataId("title"), DKAny(DKString(f.title)));
            item->setData(item->dataId("filename"), DKAny(DKString(f.relative)));
            item->setData(item->dataId("size"), DKAny(static_cast<long>(f.size)));
            item->setData(item->dataId("modified"), DKAny(utcTimestamp(f.modified, f.modifiedNanos)));
            item->setData(item->dataId("mimetype"), DKAny(DKString(f.mimeType)));
            item->add();
            progress.step(i + 1);
        }
        ds.commit();
    } catch (...) {
        progress.finish();
        try {
            ds.rollback();
        } catch (DKExceptionBase&) {
            // The first failure is the one to report.
        }
        throw;
    }
    progress.finish();
    std::cout << "imported " << plural(files.size(), "file", "files") << " into " << file << "\n";
    return kExitOk;
}

int runEntities(const Options& o) {
    Repository repo(o.args[0], o.user, readPassword(o.passwordFile, o.user, false), false);
    dkDatastore& ds = repo.datastore();
    NameArray entities;
    entities.names = ds.listEntityNames(entities.count);
    for (long i = 0; i < entities.count; ++i) {
        std::cout << entities.names[i] << "\n";
        for (const auto& [name, type] : attributesOf(ds, entities.names[i].c_str()))
            std::cout << "  " << name << " (" << typeName(type) << ")\n";
    }
    std::cout << "(" << plural(static_cast<std::size_t>(entities.count), "entity)", "entities)") << "\n";
    return kExitOk;
}

int runQuery(const Options& o) {
    // Parameters bind by name (:NAME in the query); the list ends with an entry without a name.
    std::vector<DKNVPair> params;
    for (const std::string& p : o.params) {
        auto [name, value] = splitAssignment(p, "query");
        if (name[0] != ':' && name[0] != '@' && name[0] != '$') name = ":" + name;
        params.emplace_back(name.c_str(), parameterValue(value));
    }
    params.emplace_back("");

    Repository repo(o.args[0], o.user, readPassword(o.passwordFile, o.user, false), false);
    dkDatastore& ds = repo.datastore();
    std::unique_ptr<dkResultSetCursor> cursor(ds.execute(o.args[1].c_str(), kSql, params.data()));

    // Rows are gathered first: the columns are every attribute name met, in the order met, after
    // the item's name (column 0) when the rows are items of an entity.
    std::vector<std::string> columns = {"item"};
    std::vector<bool> numeric = {false};
    std::vector<std::vector<std::pair<std::size_t, DKAny>>> rows;   // (column, value)
    bool anyItem = false;
    while (std::unique_ptr<DKDDO> item{cursor->fetchNext()}) {
        std::vector<std::pair<std::size_t, DKAny>> row;
        if (item->getPid().getObjectType().length() > 0 && item->getPid().getIdStringCount() > 0 &&
            item->getPid().getIdString(0).length() > 0) {
            row.emplace_back(0, DKAny(DKString(Repository::shortName(item->getPid()))));
            anyItem = true;
        }
        for (unsigned short id = 1; id <= item->dataCount(); ++id) {
            // An item of an entity has every attribute; those the query did not select are unset.
            if (!item->isDataSet(id)) continue;
            const std::string name = item->getDataName(id).c_str();
            const DKAny value = item->getData(id);
            auto at = std::find(columns.begin() + 1, columns.end(), name);
            if (at == columns.end()) {
                columns.push_back(name);
                numeric.push_back(true);
                at = columns.end() - 1;
            }
            const std::size_t column = at - columns.begin();
            const auto t = value.typeCode();
            const bool isNumber = t == DKAny::tc_null || t == DKAny::tc_short || t == DKAny::tc_ushort ||
                                  t == DKAny::tc_long || t == DKAny::tc_ulong || t == DKAny::tc_double ||
                                  t == DKAny::tc_float || t == DKAny::tc_decimal;
            if (!isNumber) numeric[column] = false;
            row.emplace_back(column, value);
        }
        rows.push_back(std::move(row));
    }
    cursor->close();

    const std::size_t first = anyItem ? 0 : 1;   // without items, no item column
    TablePrinter table(std::vector<std::string>(columns.begin() + first, columns.end()));
    for (std::size_t c = first; c < columns.size(); ++c) table.setRightAligned(c - first, numeric[c]);
    for (const auto& row : rows) {
        std::vector<std::string> cells(columns.size() - first);
        for (const auto& [column, value] : row) cells[column - first] = textOf(value);
        table.addRow(std::move(cells));
    }
    table.print(std::cout);
    return kExitOk;
}

int runGet(const Options& o) {
    Repository repo(o.args[0], o.user, readPassword(o.passwordFile, o.user, false), false);
    std::unique_ptr<DKDDO> found = repo.itemOf(o.args[1]);
    DKDDO& item = *found;
    item.retrieve();

    std::size_t width = 4;
    for (unsigned short id = 1; id <= item.dataCount(); ++id) width = std::max(width, item.getDataName(id).length());
    std::cout << std::string("item") + std::string(width - 4, ' ') << " : " << Repository::shortName(item.getPid())
              << "\n";
    for (unsigned short id = 1; id <= item.dataCount(); ++id) {
        const std::string name = item.getDataName(id).c_str();
        std::cout << name << std::string(width - name.size(), ' ') << " : " << textOf(item.getData(id)) << "\n";
    }
    std::cout << "pid" << std::string(width - 3, ' ') << " : " << item.getPid().pidString() << "\n";
    return kExitOk;
}

int runUpdate(const Options& o) {
    // Every NAME=VALUE is checked before anything is asked of the repository.
    std::vector<std::pair<std::string, std::string>> changes;
    for (std::size_t i = 2; i < o.args.size(); ++i) changes.push_back(splitAssignment(o.args[i], "update"));

    Repository repo(o.args[0], o.user, readPassword(o.passwordFile, o.user, false), false);
    dkDatastore& ds = repo.datastore();
    std::unique_ptr<DKDDO> found = repo.itemOf(o.args[1]);
    DKDDO& item = *found;
    item.retrieve();
    const auto attributes = attributesOf(ds, item.getPid().getObjectType().c_str());
    for (const auto& change : changes) {
        const std::string& name = change.first;
        const std::string& value = change.second;
        auto attr = std::find_if(attributes.begin(), attributes.end(), [&](const auto& a) { return a.first == name; });
        const unsigned short id = item.dataId(name.c_str());
        if (attr == attributes.end() || id == 0) {
            std::string known;
            for (const auto& a : attributes) known += (known.empty() ? "" : ", ") + a.first;
            throw UsageError(Repository::shortName(item.getPid()) + " has no attribute " + name + " (it has " +
                             known + ")");
        }
        item.setData(id, valueOfType(attr->second, value, name));
    }
    item.update();
    std::cout << "updated " << Repository::shortName(item.getPid()) << ": "
              << plural(changes.size(), "attribute", "attributes") << "\n";
    return kExitOk;
}

int runDelete(const Options& o) {
    Repository repo(o.args[0], o.user, readPassword(o.passwordFile, o.user, false), false);
    std::unique_ptr<DKDDO> item = repo.itemOf(o.args[1]);
    item->del();
    std::cout << "deleted " << Repository::shortName(item->getPid()) << "\n";
    return kExitOk;
}

}  // namespace

int runCommand(const Options& o) {
    if (o.command == "init") return runInit(o);
    if (o.command == "import") return runImport(o);
    if (o.command == "entities") return runEntities(o);
    if (o.command == "query") return runQuery(o);
    if (o.command == "get") return runGet(o);
    if (o.command == "update") return runUpdate(o);
    if (o.command == "delete") return runDelete(o);
    throw UsageError("unknown command '" + o.command + "'");
}

}  // namespace dkcli
