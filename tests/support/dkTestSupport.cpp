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

// This process's environment, the "NAME=value" entries of env replacing or adding to it.
std::vector<std::string> environmentWith(const std::vector<std::string>& env) {
    std::map<std::string, std::string> entries;
    for (char** e = environ; *e != nullptr; ++e) entries[nameOf(*e)] = *e;
    for (const std::string& e : env) entries[nameOf(e)] = e;
    std::vector<std::string> out;
    for (const auto& kv : entries) out.push_back(kv.second);
    return out;
}

// The argv or envp form of strings: pointers into them, then a null pointer.
std::vector<char*> pointersTo(std::vector<std::string>& strings) {
    std::vector<char*> out;
    for (auto& s : strings) out.push_back(s.data());
    out.push_back(nullptr);
    return out;
}

// Starts args[0] (looked up in PATH when it has no slash) with the given environment, output
// and error redirected as asked, and waits for it; polled, so that a child that hangs can be
// killed when its time is up.
dktest::ChildRun spawnAndWait(std::vector<std::string> args, std::vector<std::string> envEntries,
                              const dktest::ChildOptions& options) {
    dktest::ChildRun run;
    std::vector<char*> argv = pointersTo(args), envp = pointersTo(envEntries);
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
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(options.timeoutSeconds);
    for (pid_t w; (w = waitpid(pid, &status, WNOHANG)) != pid;) {
        if (w < 0 && errno != EINTR) return run;
        if (options.timeoutSeconds > 0 && std::chrono::steady_clock::now() > deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            run.error = args[0] + " ran out of time";
            return run;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : WIFSIGNALED(status) ? 128 + WTERMSIG(status) : -1;
    return run;
}

}  // namespace

namespace dktest {

std::string msg(long id, const std::string& detail) {
    return DKLogMessageInserts::emptyList().substitute((PClsEnv::portalMsg(static_cast<int>(id)) + detail.c_str()).c_str()).str();
}

ChildRun runSelf(const std::string& gtestFilter, const std::vector<std::string>& env, const ChildOptions& options) {
    return spawnAndWait({"/proc/self/exe", "--gtest_filter=" + gtestFilter, "--gtest_also_run_disabled_tests"},
                        environmentWith(env), options);
}

bool childPasses(const std::string& test, const std::vector<std::string>& env, std::string& output) {
    TempDir dir;
    ChildOptions options;
    options.output = dir / "child.log";
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
    ChildOptions options;
    options.output = dir / (name + ".log");
    const ChildRun run =
        spawnAndWait({"localedef", "-i", source, "-f", charmap, (dir / name).string()}, environmentWith({}), options);
    // localedef warns (and exits 1) about characters a character map cannot hold, yet writes the
    // locale; what counts is whether it is there.
    if (!run.started) {
        b.toolMissing = true;
        b.why = run.error;
    } else if (fs::exists(dir / name / "LC_CTYPE") && fs::exists(dir / name / "LC_NUMERIC")) {
        b.locpath = dir;
    } else {
        b.why = "localedef exited " + std::to_string(run.status) + ": " + readFile(options.output);
    }
    return b;
}

}  // namespace dktest
