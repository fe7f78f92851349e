// tests/support/dkTestSupport.cpp
//
// Child runs of a suite, locales built for a test and the expected texts of thrown messages,
// shared by every suite. Children are started with posix_spawn so that a suite with threads
// running never forks a copy of their locks.

#include "dkTestSupport.hpp"

#include <dk/DKLogMessageInserts.hpp>
#include <dk/PMessageText.hpp>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <map>
#include <mutex>
#include <thread>

extern char** environ;

namespace fs = std::filesystem;

namespace {

std::string nameOf(const std::string& entry) { return entry.substr(0, entry.find('=')); }

bool dropped(const std::string& name, const std::vector<std::string>& drop) {
    for (const std::string& d : drop) {
        if (!d.empty() && d.back() == '*') {
            if (name.compare(0, d.size() - 1, d, 0, d.size() - 1) == 0) return true;
        } else if (name == d) {
            return true;
        }
    }
    return false;
}

// Starts args[0] (looked up in PATH when it has no slash) with the given environment, output
// and error redirected as asked, and waits for it.
dktest::ChildRun spawnAndWait(std::vector<std::string> args, std::vector<std::string> envEntries,
                              const dktest::ChildOptions& options) {
    dktest::ChildRun run;
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (auto& e : envEntries) envp.push_back(e.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    const std::string out = options.output.string(), err = options.errorOutput.string();
    if (!out.empty()) posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (!err.empty())
        posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    else if (!out.empty())
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
    pid_t pid = 0;
    const int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        run.error = "cannot run " + args[0] + ": " + std::strerror(rc);
        return run;
    }
    run.started = true;
    run.pid = pid;

    int status = 0;
    if (options.timeoutSeconds > 0) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(options.timeoutSeconds);
        for (;;) {
            const pid_t w = waitpid(pid, &status, WNOHANG);
            if (w == pid) break;
            if (w < 0 && errno != EINTR) return run;
            if (std::chrono::steady_clock::now() > deadline) {
                kill(pid, SIGKILL);
                waitpid(pid, &status, 0);
                run.error = args[0] + " ran out of time";
                return run;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    } else {
        pid_t w;
        while ((w = waitpid(pid, &status, 0)) < 0 && errno == EINTR) {
        }
        if (w != pid) return run;
    }
    if (WIFEXITED(status)) {
        run.status = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        run.signal = WTERMSIG(status);
        run.status = 128 + run.signal;
    }
    return run;
}

}  // namespace

namespace dktest {

std::string msg(long id, const std::string& detail) {
    return DKLogMessageInserts::emptyList().substitute((PClsEnv::portalMsg(static_cast<int>(id)) + detail.c_str()).c_str()).str();
}

ChildRun runSelf(const std::string& gtestFilter, const std::vector<std::string>& env, const ChildOptions& options) {
    std::map<std::string, std::string> given;
    for (const std::string& e : env) given[nameOf(e)] = e;
    std::vector<std::string> entries;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string entry = *e;
        const std::string name = nameOf(entry);
        if (!given.count(name) && !dropped(name, options.dropEnv)) entries.push_back(entry);
    }
    for (const auto& kv : given) entries.push_back(kv.second);

    std::vector<std::string> args{"/proc/self/exe", "--gtest_filter=" + gtestFilter};
    if (options.alsoRunDisabled) args.push_back("--gtest_also_run_disabled_tests");
    return spawnAndWait(std::move(args), std::move(entries), options);
}

bool childPasses(const std::string& test, const std::vector<std::string>& env, std::string& output) {
    TempDir dir;
    ChildOptions options;
    options.output = dir / "child.log";
    options.alsoRunDisabled = true;
    const ChildRun run = runSelf(test, env, options);
    output = run.error + readFile(options.output);
    return run.status == 0 && output.find("[  PASSED  ] 1 test.") != std::string::npos;
}

const BuiltLocale& buildLocale(const std::string& name) {
    static std::mutex guard;
    static std::map<std::string, BuiltLocale> built;
    std::lock_guard<std::mutex> lock(guard);
    auto found = built.find(name);
    if (found != built.end()) return found->second;

    BuiltLocale& b = built[name];
    const fs::path dir = runRoot() / "locales";
    std::error_code ec;
    fs::create_directories(dir, ec);
    const std::string::size_type dot = name.find('.');
    const std::string source = name.substr(0, dot);
    const std::string charmap = dot == std::string::npos ? "UTF-8" : name.substr(dot + 1);
    const fs::path log = dir / (name + ".log");
    ChildOptions options;
    options.output = log;
    std::vector<std::string> environment;
    for (char** e = environ; *e != nullptr; ++e) environment.push_back(*e);
    const ChildRun run =
        spawnAndWait({"localedef", "-i", source, "-f", charmap, (dir / name).string()}, environment, options);
    // localedef warns (and exits 1) about characters a character map cannot hold, yet writes the
    // locale; what counts is whether it is there.
    if (!run.started) {
        b.toolMissing = true;
        b.why = run.error;
    } else if (fs::exists(dir / name / "LC_CTYPE") && fs::exists(dir / name / "LC_NUMERIC")) {
        b.locpath = dir;
    } else {
        b.why = "localedef exited " + std::to_string(run.status) + ": " + readFile(log);
    }
    return b;
}

}  // namespace dktest
