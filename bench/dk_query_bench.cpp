// bench/dk_query_bench.cpp
//
// `dk query --format csv` against the sqlite3 shell's `-csv` on the same repository file, as
// whole processes writing to /dev/null: the median time of five runs of each and the peak memory
// of each child (getrusage), at 8,000 and 800,000 rows. The repository is made with `dk init` and
// filled through SQLite directly, so the rows look like imported files.

#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

struct Run {
    double seconds = 0;
    long maxRssKiB = 0;
    int status = -1;
};

// Runs argv with standard output to /dev/null; its time and peak memory.
Run runChild(const std::vector<std::string>& argv) {
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        execv(args[0], args.data());
        _exit(127);
    }
    Run r;
    int status = 0;
    struct rusage usage {};
    wait4(pid, &status, 0, &usage);
    r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    r.maxRssKiB = usage.ru_maxrss;
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return r;
}

// The median time and the largest peak memory of five runs.
Run measure(const std::vector<std::string>& argv) {
    std::vector<Run> runs;
    for (int i = 0; i < 5; ++i) runs.push_back(runChild(argv));
    std::sort(runs.begin(), runs.end(), [](const Run& a, const Run& b) { return a.seconds < b.seconds; });
    Run median = runs[2];
    for (const Run& r : runs) {
        median.maxRssKiB = std::max(median.maxRssKiB, r.maxRssKiB);
        if (r.status != 0) median.status = r.status;
    }
    return median;
}

bool fill(const std::string& file, long rows) {
    sqlite3* db = nullptr;
    if (sqlite3_open(file.c_str(), &db) != SQLITE_OK) return false;
    const std::string sql =
        "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n LIMIT " + std::to_string(rows) +
        ") INSERT INTO document (title, filename, size, modified, mimetype, root) SELECT 'file' || i, "
        "'src/dir' || (i % 97) || '/file' || i || '.cpp', i * 37 % 100000, "
        "strftime('%Y-%m-%d %H:%M:%S', 1700000000 + i, 'unixepoch') || '.123456789', 'text/x-c++', '/home/user/tree' "
        "FROM n";
    const bool ok = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_close(db);
    return ok;
}

}  // namespace

int main() {
    const char* sqliteShell = "/usr/bin/sqlite3";
    if (access(sqliteShell, X_OK) != 0) {
        std::printf("dk query: %s is missing (Debian package sqlite3); not measured\n", sqliteShell);
        return 1;
    }
    const fs::path dir = fs::temp_directory_path() / ("dkbench-query-" + std::to_string(getpid()));
    fs::create_directories(dir);
    setenv("DK_PASSWORD", "bench-password", 1);
    setenv("DK_LOG_DIR", (dir / "log").c_str(), 1);
    const std::string query = "SELECT * FROM document";
    std::printf("dk query --format csv against sqlite3 -csv, same file, output to /dev/null (median of 5)\n");
    std::printf("  %9s %10s %10s %7s %12s %12s\n", "rows", "dk s", "sqlite3 s", "ratio", "dk peak MiB",
                "sqlite3 MiB");
    int failures = 0;
    for (long rows : {8000L, 800000L}) {
        const std::string repo = (dir / ("r" + std::to_string(rows) + ".db")).string();
        if (runChild({DK_TOOL, "init", repo}).status != 0 || !fill(repo, rows)) {
            std::printf("  could not make the repository of %ld rows\n", rows);
            ++failures;
            continue;
        }
        const Run ours = measure({DK_TOOL, "query", repo, query, "--format", "csv"});
        const Run peer = measure({sqliteShell, "-csv", repo, query});
        if (ours.status != 0 || peer.status != 0) ++failures;
        std::printf("  %9ld %10.3f %10.3f %6.2fx %12.1f %12.1f\n", rows, ours.seconds, peer.seconds,
                    ours.seconds / peer.seconds, ours.maxRssKiB / 1024.0, peer.maxRssKiB / 1024.0);
    }
    std::printf("targets: ratio at most 1.5x at 800000 rows; dk peak memory under 64 MiB at both sizes\n");
    std::error_code ec;
    fs::remove_all(dir, ec);
    return failures == 0 ? 0 : 1;
}
