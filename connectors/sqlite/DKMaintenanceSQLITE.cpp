// connectors/sqlite/DKMaintenanceSQLITE.cpp
//
// The maintenance extension of the SQLite connector and the datastore operations that hand it
// out. check runs SQLite's own consistency check and then compares the catalogue (dk_entities,
// dk_attrs, dk_repository) with the tables the file really holds; backup copies the repository
// with SQLite's online backup into a temporary file that becomes the named file only when whole.

#include "DKContentSQLITE.hpp"
#include "DKTemplatesSQLITE.hpp"
#include "PMaintenance.hpp"
#include "DKDatastoreSQLITE.hpp"
#include "PSqliteStatement.hpp"
#include "PSqliteValues.hpp"
#include "PRepositoryFile.hpp"

#include <dk/DKException.hpp>
#include <dk/dkThrow.hpp>

#include <sqlite3.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>

namespace fs = std::filesystem;
using namespace dksqlite;

namespace {

constexpr const char* kSource = "connectors/sqlite/DKMaintenanceSQLITE";

// Runs one of the connector's own queries and hands each row to f.
template <class F>
void eachRow(sqlite3* db, const char* sql, const char* function, F&& f) {
    PStmt s = prepare(db, sql, kSource, function);
    int rc;
    while ((rc = sqlite3_step(s.get())) == SQLITE_ROW) f(s.get());
    if (rc != SQLITE_DONE) throwSqlite(db, rc, kSource, function, DKString("checking the catalogue"));
}

// The files a backup under construction may have made; removed unless the backup was completed.
class PBackupFiles {
public:
    explicit PBackupFiles(fs::path temp) : temp_(std::move(temp)) {}
    ~PBackupFiles() {
        if (done_) return;
        std::error_code ec;
        for (const char* suffix : {"", "-journal", "-wal", "-shm"}) fs::remove(temp_.string() + suffix, ec);
    }
    void done() { done_ = true; }

private:
    fs::path temp_;
    bool done_ = false;
};

[[noreturn]] void backupFailed(sqlite3* db, int rc, const char* file, const char* function) {
    DKString detail(file);
    detail += ": ";
    detail += db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
    detail += " ";
    dkThrowServer<DKDatastoreError>(kMsgBackupFailed, kSource, function, detail, "", db ? sqlite3_extended_errcode(db) : rc);
}

std::string randomSuffix() {
    std::random_device rd;
    char buf[24];
    std::snprintf(buf, sizeof buf, "%08x%08x", rd(), rd());
    return buf;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// The datastore's extensions

dkExtension* DKDatastoreSQLITE::getExtension(const char* name) {
    static const char* const fn = "DKDatastoreSQLITE::getExtension";
    if (name != nullptr && std::strcmp(name, DKTemplatesSQLITE::kName) == 0) return templatesExtension(fn);
    if (name != nullptr && std::strcmp(name, DKContentSQLITE::kName) == 0) return contentExtension(fn);
    if (name != nullptr && std::strcmp(name, "DATASTORE_EXTENSION") == 0) return memberExtension(fn);
    if (name != nullptr && std::strcmp(name, DKAdminSQLITE::kName) == 0) return adminExtension(fn);
    if (name == nullptr || std::strcmp(name, DKMaintenanceSQLITE::kName) != 0) return nullptr;
    db(fn);
    if (!maintenance_) maintenance_ = std::make_unique<PMaintenance>(this);
    return maintenance_.get();
}

DKString* DKDatastoreSQLITE::listExtensionNames(long& count) {
    count = 5;
    DKString* names = new DKString[5];
    names[0] = DKMaintenanceSQLITE::kName;
    names[1] = DKTemplatesSQLITE::kName;
    names[2] = DKContentSQLITE::kName;
    names[3] = "DATASTORE_EXTENSION";
    names[4] = DKAdminSQLITE::kName;
    return names;
}

// ---------------------------------------------------------------------------------------------
// Checks

PMaintenance::PMaintenance(DKDatastoreSQLITE* ds) : ds_(ds) { setName(kName); }

PMaintenance::~PMaintenance() = default;

DKString* PMaintenance::check(short level, long& count) {
    static const char* const fn = "DKMaintenanceSQLITE::check";
    DKTraceScope t(ds_->trace_, fn, this);
    count = 0;
    sqlite3* db = ds_->db(fn);
    if (level != 0 && level != 1) dkThrow<DKUsageError>(kMsgBadCheckLevel, kSource, fn, DKString(static_cast<long>(level)));
    std::vector<std::string> problems;
    {
        PStmt s = prepare(db, level == 0 ? "PRAGMA quick_check" : "PRAGMA integrity_check", kSource, fn);
        int rc;
        while ((rc = sqlite3_step(s.get())) == SQLITE_ROW) {
            std::string row = textColumn(s.get(), 0);
            if (row != "ok") problems.push_back(std::move(row));
        }
        // Damage SQLite cannot even walk past is what the check is for: it is a finding. Any
        // other failure (I/O, memory, a lock) says nothing about the file and is thrown.
        const int primary = rc & 0xff;
        if (primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB)
            problems.push_back(std::string("the check stopped at damage: ") + sqlite3_errmsg(db));
        else if (rc != SQLITE_DONE)
            throwSqlite(db, rc, kSource, fn, DKString("checking the file"));
    }
    try {
        checkCatalogue(problems, fn);
    } catch (const DKException& e) {
        // A damaged file may not let its catalogue be read; the problems found so far are the
        // answer then, with this one added. A sound file whose catalogue fails is an error.
        if (problems.empty()) throw;
        problems.push_back(std::string("the catalogue could not be read: ") + e.what());
    }
    if (problems.empty()) return nullptr;
    count = static_cast<long>(problems.size());
    DKString* out = new DKString[problems.size()];
    for (size_t i = 0; i < problems.size(); ++i) out[i] = DKString(problems[i].c_str(), problems[i].size());
    return out;
}

void PMaintenance::checkCatalogue(std::vector<std::string>& problems, const char* fn) {
    sqlite3* db = ds_->db(fn);
    bool complete = true;
    for (const char* table : {"dk_repository", "dk_users", "dk_entities", "dk_attrs"}) {
        PStmt s = prepare(db, "SELECT count(*) FROM sqlite_schema WHERE type = 'table' AND name = ?1", kSource, fn);
        sqlite3_bind_text(s.get(), 1, table, -1, SQLITE_STATIC);
        if (stepCount(db, s.get(), kSource, fn, "checking the catalogue") == 0) {
            problems.push_back(std::string("the catalogue table ") + table + " is missing");
            complete = false;
        }
    }
    if (!complete) return;   // nothing else can be compared

    eachRow(db,
            "SELECT k.key, r.value FROM (SELECT 'format' AS key UNION ALL SELECT 'name') k"
            " LEFT JOIN dk_repository r ON r.key = k.key",
            fn, [&](sqlite3_stmt* s) {
                const std::string key = textColumn(s, 0), value = textColumn(s, 1);
                if (value.empty()) problems.push_back("dk_repository has no " + key);
                else if (key == "format" && !knownFormat(value)) problems.push_back("dk_repository names the unknown format " + value);
            });
    eachRow(db,
            "SELECT e.name,"
            " (SELECT count(*) FROM sqlite_schema t WHERE t.type = 'table' AND t.name = e.name COLLATE NOCASE),"
            " (SELECT count(*) FROM pragma_table_info(e.name) c WHERE c.name = 'dk_id' COLLATE NOCASE)"
            " FROM dk_entities e ORDER BY e.id",
            fn, [&](sqlite3_stmt* s) {
                const std::string entity = textColumn(s, 0);
                if (sqlite3_column_int(s, 1) == 0) problems.push_back("entity " + entity + " has no table");
                else if (sqlite3_column_int(s, 2) == 0) problems.push_back("table " + entity + " has no dk_id column");
            });
    eachRow(db,
            "SELECT a.entity, a.name, a.type, (SELECT count(*) FROM dk_entities e WHERE e.name = a.entity),"
            " (SELECT c.type FROM pragma_table_info(a.entity) c WHERE c.name = a.name COLLATE NOCASE),"
            " (SELECT count(*) FROM sqlite_schema t WHERE t.type = 'table' AND t.name = a.entity COLLATE NOCASE)"
            " FROM dk_attrs a ORDER BY a.entity, a.position",
            fn, [&](sqlite3_stmt* s) {
                const std::string attr = textColumn(s, 0) + "." + textColumn(s, 1);
                const auto type = static_cast<unsigned short>(sqlite3_column_int(s, 2));
                if (sqlite3_column_int(s, 3) == 0) {
                    problems.push_back("attribute " + attr + " belongs to no entity");
                } else if (sqlite3_column_int(s, 5) == 0) {
                    // The entity without its table is reported once, not once per attribute.
                } else if (!isStorableType(type)) {
                    problems.push_back("attribute " + attr + " has the unsupported type code " + std::to_string(type));
                } else if (sqlite3_column_type(s, 4) == SQLITE_NULL) {
                    problems.push_back("attribute " + attr + " has no column");
                } else if (upperName(textColumn(s, 4)) != columnTypeOf(type)) {
                    problems.push_back("column " + attr + " is " + textColumn(s, 4) + ", but a " + typeName(type) +
                                       " attribute is stored as " + columnTypeOf(type));
                }
            });
    eachRow(db,
            "SELECT e.name, c.name FROM dk_entities e, pragma_table_info(e.name) c"
            " WHERE c.name <> 'dk_id' COLLATE NOCASE"
            " AND NOT EXISTS (SELECT 1 FROM dk_attrs a WHERE a.entity = e.name AND a.name = c.name)",
            fn, [&](sqlite3_stmt* s) {
                problems.push_back("column " + textColumn(s, 0) + "." + textColumn(s, 1) + " has no attribute");
            });
    eachRow(db,
            "SELECT t.name FROM sqlite_schema t WHERE t.type = 'table'"
            " AND t.name NOT LIKE 'dk\\_%' ESCAPE '\\' AND t.name NOT LIKE 'sqlite\\_%' ESCAPE '\\'"
            " AND NOT EXISTS (SELECT 1 FROM dk_entities e WHERE e.name = t.name)",
            fn, [&](sqlite3_stmt* s) { problems.push_back("table " + textColumn(s, 0) + " has no entity"); });
}

// ---------------------------------------------------------------------------------------------
// Backup

void PMaintenance::backup(const char* file) {
    static const char* const fn = "DKMaintenanceSQLITE::backup";
    DKTraceScope t(ds_->trace_, fn, this);
    sqlite3* source = ds_->db(fn);
    if (file == nullptr || *file == '\0') dkThrow<DKUsageError>(kMsgBackupFailed, kSource, fn, DKString("no file name"));
    // Inside a transaction the connection would copy its own uncommitted writes.
    if (ds_->inTransaction_)
        dkThrow<DKUsageError>(kMsgTransactionOpen, kSource, fn,
                              DKString("a backup copies committed data only; commit or roll back first"));
    std::error_code ec;
    const fs::path target = fs::absolute(file, ec);
    if (ec) dkThrow<DKDatastoreError>(kMsgBackupFailed, kSource, fn, DKString(file) + ": " + ec.message().c_str());
    if (fs::exists(fs::symlink_status(target, ec))) dkThrow<DKUsageError>(kMsgBackupExists, kSource, fn, DKString(file));

    const fs::path temp = target.parent_path() / (target.filename().string() + ".dk-backup-" + randomSuffix());
    PBackupFiles made(temp);
    POwnedDb copy;
    {
        sqlite3* raw = nullptr;
        const int rc = sqlite3_open_v2(temp.c_str(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                                       nullptr);
        copy.reset(raw);
        if (rc != SQLITE_OK) backupFailed(copy.get(), rc, file, fn);
    }
    hardenConnection(copy.get());
    // The copy holds what the repository holds (password hashes among it): it gets the same
    // permissions before a byte is written.
    fs::permissions(temp, fs::status(ds_->path_, ec).permissions(), ec);

    // One step copies every page under one read transaction of the source: the copy is the
    // repository as committed at that moment, while WAL lets other connections go on writing.
    sqlite3_backup* b = sqlite3_backup_init(copy.get(), "main", source, "main");
    if (b == nullptr) backupFailed(copy.get(), sqlite3_errcode(copy.get()), file, fn);
    const int stepped = sqlite3_backup_step(b, -1);
    const int finished = sqlite3_backup_finish(b);
    if (stepped != SQLITE_DONE) backupFailed(copy.get(), stepped, file, fn);
    if (finished != SQLITE_OK) backupFailed(copy.get(), finished, file, fn);
    const int closed = sqlite3_close(copy.get());
    if (closed != SQLITE_OK) backupFailed(copy.get(), closed, file, fn);
    copy.release();

    // A second name never replaces a file that appeared meanwhile; where the file system has no
    // links, a rename after a last look does.
    fs::create_hard_link(temp, target, ec);
    if (ec == std::errc::file_exists) dkThrow<DKUsageError>(kMsgBackupExists, kSource, fn, DKString(file));
    if (ec) {
        if (fs::exists(fs::symlink_status(target, ec))) dkThrow<DKUsageError>(kMsgBackupExists, kSource, fn, DKString(file));
        fs::rename(temp, target, ec);
        if (ec) dkThrow<DKDatastoreError>(kMsgBackupFailed, kSource, fn, DKString(file) + ": " + ec.message().c_str());
        made.done();
    }
    // Linked: the temporary name goes with the other files made on the way.
}
