// tests/connectors/dkSqliteTestSupport.hpp
#pragma once

// What the SQLite connector's suites share: the connector's conformance context, datastores made
// through its factory, SQL run on a file directly as another program would, and running a test's
// body as a user without privileges (file modes mean nothing to root, and CI runs as root).

#include "dkConnectorSupport.hpp"

#include <DKContentSQLITE.hpp>
#include <DKTemplatesSQLITE.hpp>

#include <sqlite3.h>

#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>

namespace dksqlitetest {

namespace fs = std::filesystem;

constexpr const char* kCheap = "pbkdf2_iterations=1000";   // cheap hashes keep the suites quick

inline std::string rawQuery(const std::string& path, const std::string& sql);

inline dkconf::ConnectorContext sqliteContext() {
    dkconf::ConnectorContext c;
    c.library = "dkdssqlite";   // the bare name an application gives the pool
    c.className = "DKDatastoreSQLITE";
    c.config = "pbkdf2_iterations=1000;busy_timeout=10000";
    c.newRepository = [](const std::string& dir) { return dir + "/repo.db"; };
    c.createConnect = "create=1";
    c.connect = "";
    c.damage = [](const std::string& path) {
        std::ofstream out(path, std::ios::binary);
        for (int i = 0; i < 8192; ++i) out.put(static_cast<char>(i * 37 + 11));
    };
    c.protectedTable = "dk_users";
    c.parametric = true;
    c.textQuery = true;
    c.templates = true;
    c.templateOf = [](dkDatastore& ds, const char* name, const char* entity) {
        return static_cast<DKTemplatesSQLITE*>(ds.getExtension(DKTemplatesSQLITE::kName))->createSearchTemplate(name, entity);
    };
    dkconf::keepsMembership(c);
    c.rows = [](const std::string& path, const char* table) {
        return std::atol(rawQuery(path, std::string("SELECT count(*) FROM ") + table).c_str());
    };
    c.contentOf = [](dkDatastore& ds, const char* entity, long id, long part) {
        auto* c = static_cast<DKContentSQLITE*>(ds.getExtension(DKContentSQLITE::kName));
        return c->createBlob(c->pidOf(entity, id, part));
    };
    return c;
}

inline std::unique_ptr<dkDatastore> make(const char* config) {
    dkconf::ConnectorContext c = sqliteContext();
    c.config = config;
    return dkconf::newDatastore(c);
}

// A datastore connected to path as user "u" with password "p", unless others are given.
inline std::unique_ptr<dkDatastore> open(const std::string& path, const char* connect, const char* config = kCheap,
                                         const char* user = "u", const char* password = "p") {
    auto ds = make(config);
    ds->connect(path.c_str(), user, password, connect);
    return ds;
}

// Runs SQL on a file directly and returns the first column of the first row as text.
inline std::string rawQuery(const std::string& path, const std::string& sql) {
    sqlite3* db = nullptr;
    std::string out;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) == SQLITE_OK) {
        sqlite3_stmt* s = nullptr;
        if (sqlite3_prepare_v2(db, sql.c_str(), -1, &s, nullptr) == SQLITE_OK && sqlite3_step(s) == SQLITE_ROW &&
            sqlite3_column_text(s, 0))
            out = reinterpret_cast<const char*>(sqlite3_column_text(s, 0));
        sqlite3_finalize(s);
    }
    sqlite3_close(db);
    return out;
}

// Runs statements on a file directly; false when one fails.
inline bool rawExec(const std::string& path, const std::string& sql) {
    sqlite3* db = nullptr;
    bool ok = sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK &&
              sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_close(db);
    return ok;
}

// Which of the files SQLite makes beside path exist.
inline std::string besideFiles(const std::string& path) {
    std::string found;
    for (const char* suffix : {"-wal", "-shm", "-journal"})
        if (fs::exists(path + suffix)) found += std::string(suffix) + " ";
    return found;
}

// Runs body as the user nobody (65534, group nogroup) in a forked child when this process is root,
// and directly otherwise; true when the body passed. The child reports by its exit status; the
// folder is opened for others to pass through, up to the run's root, so that nobody reaches it.
// Every connection to the files the body uses must be closed before: a child must not inherit
// SQLite's view of locks held by its parent.
inline bool runUnprivileged(const fs::path& folder, const std::function<void()>& body) {
    if (geteuid() != 0) {
        body();
        return !::testing::Test::HasFailure();
    }
    std::error_code ec;
    for (fs::path p = folder; !p.empty() && p != p.root_path(); p = p.parent_path()) {
        fs::permissions(p, fs::perms::others_exec, fs::perm_options::add, ec);
        if (p == dktest::runRoot()) break;
    }
    std::fflush(stdout);
    std::fflush(stderr);
    const pid_t pid = fork();
    if (pid == 0) {
        alarm(60);   // a child that hangs ends instead of holding the suite
        if (setgroups(0, nullptr) != 0 || setresgid(65534, 65534, 65534) != 0 || setresuid(65534, 65534, 65534) != 0)
            _exit(3);
        int code = 0;
        try {
            body();
            code = ::testing::Test::HasFailure() ? 1 : 0;
        } catch (const std::exception& e) {
            std::fprintf(stderr, "unexpected exception: %s\n", e.what());
            code = 2;
        } catch (...) {
            code = 2;
        }
        std::fflush(stdout);
        std::fflush(stderr);
        _exit(code);
    }
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid) return false;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace dksqlitetest
