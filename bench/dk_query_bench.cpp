// bench/dk_query_bench.cpp
//
// `dk query --format csv` against the sqlite3 shell's `-csv` on the same repository file, as
// whole processes writing to /dev/null: the median CPU time of five runs of each (the runs of both
// alternating) and the peak memory of each child (getrusage), at 80,000 and 800,000 rows. The
// per-row time leaves out what a process spends before its first row (logging in, loading,
// preparing), measured by the same query with LIMIT 0. The repository is made with `dk init` and
// filled through SQLite directly, so the rows look like imported files. Besides its table it
// prints one "@summary" line per figure (measure, ours, peer, ratio, target).

#include "dkBenchSupport.hpp"

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

using dkbench::summaryText;
using dkbench::timeText;

namespace {

struct Run {
    double seconds = 0;       // CPU time (user and system) of the process
    double wallSeconds = 0;
    long maxRssKiB = 0;
    int status = -1;
};

// Runs argv with standard output to /dev/null; its times and peak memory. The CPU time is what
// counts: on a machine shared with other work, wall time mostly tells how long a process waited.
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
    r.wallSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    r.seconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
    r.maxRssKiB = usage.ru_maxrss;
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return r;
}

// The median time and the largest peak memory of five runs of each command, the commands taking
// turns so that a busy moment of the machine does not fall on one of them only.
std::vector<Run> measure(const std::vector<std::vector<std::string>>& commands) {
    std::vector<std::vector<Run>> runs(commands.size());
    for (int i = 0; i < 5; ++i)
        for (std::size_t k = 0; k < commands.size(); ++k) runs[k].push_back(runChild(commands[k]));
    std::vector<Run> medians;
    for (auto& r : runs) {
        std::sort(r.begin(), r.end(), [](const Run& a, const Run& b) { return a.seconds < b.seconds; });
        Run median = r[2];
        for (const Run& one : r) {
            median.maxRssKiB = std::max(median.maxRssKiB, one.maxRssKiB);
            if (one.status != 0) median.status = one.status;
        }
        medians.push_back(median);
    }
    return medians;
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
    const std::string none = query + " LIMIT 0";
    std::printf("dk query --format csv against sqlite3 -csv, same file, output to /dev/null (CPU time, median of 5)\n");
    std::printf("  %9s %10s %10s %7s %12s %12s %12s %12s\n", "rows", "dk s", "sqlite3 s", "ratio", "dk per row",
                "sqlite3 row", "dk peak MiB", "sqlite3 MiB");
    int failures = 0;
    const long sizes[] = {80000L, 800000L};
    double dkPerRow[2] = {-1, -1};
    for (int k = 0; k < 2; ++k) {
        const long rows = sizes[k];
        const std::string repo = (dir / ("r" + std::to_string(rows) + ".db")).string();
        if (runChild({DK_TOOL, "init", repo}).status != 0 || !fill(repo, rows)) {
            std::printf("  could not make the repository of %ld rows\n", rows);
            ++failures;
            continue;
        }
        const std::vector<Run> r = measure({{DK_TOOL, "query", repo, query, "--format", "csv"},
                                            {sqliteShell, "-csv", repo, query},
                                            {DK_TOOL, "query", repo, none, "--format", "csv"},
                                            {sqliteShell, "-csv", repo, none}});
        const Run& ours = r[0];
        const Run& peer = r[1];
        for (const Run& one : r)
            if (one.status != 0) ++failures;
        const double oursRow = (ours.seconds - r[2].seconds) / static_cast<double>(rows);
        const double peerRow = (peer.seconds - r[3].seconds) / static_cast<double>(rows);
        dkPerRow[k] = oursRow;
        std::printf("  %9ld %10.3f %10.3f %6.2fx %12s %12s %12.1f %12.1f\n", rows, ours.seconds, peer.seconds,
                    ours.seconds / peer.seconds, timeText(oursRow).c_str(), timeText(peerRow).c_str(),
                    ours.maxRssKiB / 1024.0, peer.maxRssKiB / 1024.0);
        const std::string label = "dk query --format csv, " + std::to_string(rows / 1000) + "k rows";
        summaryText(label + " (whole run)", timeText(ours.seconds), timeText(peer.seconds), ours.seconds / peer.seconds,
                k == 1 ? "<=1.5x" : "-");
        summaryText(label + ", per row after the first", timeText(oursRow), timeText(peerRow), oursRow / peerRow, "-");
        char mib[2][32];
        std::snprintf(mib[0], sizeof mib[0], "%.1f MiB", ours.maxRssKiB / 1024.0);
        std::snprintf(mib[1], sizeof mib[1], "%.1f MiB", peer.maxRssKiB / 1024.0);
        summaryText(label + ", peak memory of the process", mib[0], mib[1],
                static_cast<double>(ours.maxRssKiB) / static_cast<double>(peer.maxRssKiB), "-");
    }
    if (dkPerRow[0] > 0 && dkPerRow[1] > 0)
        summaryText("dk query --format csv: growth, dk per row at 800k against dk at 80k", timeText(dkPerRow[1]),
                timeText(dkPerRow[0]), dkPerRow[1] / dkPerRow[0], "<=1.3x");
    std::printf("targets: ratio at most 1.5x at 800000 rows; dk peak memory under 64 MiB at both sizes\n");
    std::error_code ec;
    fs::remove_all(dir, ec);
    return failures == 0 ? 0 : 1;
}
