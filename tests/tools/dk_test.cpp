// tests/tools/dk_test.cpp
//
// The `dk` tool run as a user runs it (a child process, its own environment and folder, a real
// pseudo-terminal where it matters): exit codes, error texts, the log's place, and a round trip.

#include "dkTestSupport.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <regex>
#include <string>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace fs = std::filesystem;

namespace {

struct Result {
    int code = -1;
    std::string out;
    std::string err;      // standard error, or the terminal's transcript when run on one
};

// The environment of the child: the parent's, without anything that would steer dk, plus extra.
std::vector<std::string> childEnvironment(const std::map<std::string, std::string>& extra) {
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        std::string kv = *e;
        std::string key = kv.substr(0, kv.find('='));
        if (key == "DK_PASSWORD" || key == "DK_LOG_DIR" || key == "HOME" || key == "NVLVTROOT") continue;
        env.push_back(kv);
    }
    for (const auto& [k, v] : extra) env.push_back(k + "=" + v);
    return env;
}

int waitFor(pid_t pid) {
    int status = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    while (waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            return -1;
        }
        usleep(2000);
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

[[noreturn]] void execDk(const std::vector<std::string>& args, const std::vector<std::string>& env) {
    std::vector<char*> argv{const_cast<char*>(DK_TOOL)};
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (const auto& e : env) envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);
    execve(DK_TOOL, argv.data(), envp.data());
    _exit(127);
}

// Runs dk in cwd with no controlling terminal (so it can never stop to ask for a password),
// standard input from /dev/null, and its output in files of the scratch folder.
Result runDk(const std::vector<std::string>& args, const fs::path& cwd, const std::map<std::string, std::string>& env) {
    const fs::path outFile = cwd.parent_path() / "stdout.txt";
    const fs::path errFile = cwd.parent_path() / "stderr.txt";
    const std::vector<std::string> environment = childEnvironment(env);
    pid_t pid = fork();
    if (pid == 0) {
        setsid();
        if (chdir(cwd.c_str()) != 0) _exit(126);
        int in = open("/dev/null", O_RDONLY);
        int out = open(outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int err = open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(in, 0);
        dup2(out, 1);
        dup2(err, 2);
        execDk(args, environment);
    }
    Result r;
    r.code = waitFor(pid);
    r.out = dktest::readFile(outFile);
    r.err = dktest::readFile(errFile);
    return r;
}

// Runs dk with a pseudo-terminal as its controlling terminal and its standard error; standard
// output goes to a file. Whenever the terminal shows a text of answers, the line after it is
// typed. Returns the terminal's transcript in err.
Result runDkOnTerminal(const std::vector<std::string>& args, const fs::path& cwd,
                       const std::map<std::string, std::string>& env,
                       const std::vector<std::pair<std::string, std::string>>& answers) {
    const fs::path outFile = cwd.parent_path() / "stdout.txt";
    const std::vector<std::string> environment = childEnvironment(env);
    int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) return {};
    const std::string slave = ptsname(master);
    pid_t pid = fork();
    if (pid == 0) {
        setsid();
        int tty = open(slave.c_str(), O_RDWR);   // the first terminal a session leader opens is its own
        if (tty < 0 || chdir(cwd.c_str()) != 0) _exit(126);
        int in = open("/dev/null", O_RDONLY);
        int out = open(outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(in, 0);
        dup2(out, 1);
        dup2(tty, 2);
        close(master);
        execDk(args, environment);
    }
    Result r;
    size_t answered = 0;
    int status = 0;
    bool exited = false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    while (std::chrono::steady_clock::now() < deadline) {
        pollfd p{master, POLLIN, 0};
        if (poll(&p, 1, 20) > 0) {
            char buf[4096];
            ssize_t n = read(master, buf, sizeof buf);
            if (n > 0) r.err.append(buf, static_cast<size_t>(n));
            else if (exited) break;   // EIO: the child has gone and everything was read
        } else if (exited) {
            break;
        }
        if (answered < answers.size() && r.err.find(answers[answered].first) != std::string::npos) {
            // Cut what was matched, so the same prompt shown again is answered again.
            r.err.replace(r.err.find(answers[answered].first), answers[answered].first.size(),
                          "<" + std::to_string(answered) + ">");
            const std::string line = answers[answered].second + "\n";
            (void)!write(master, line.data(), line.size());
            ++answered;
        }
        if (!exited && waitpid(pid, &status, WNOHANG) == pid) exited = true;
    }
    if (!exited) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
    }
    close(master);
    r.code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    r.out = dktest::readFile(outFile);
    return r;
}

// A scratch area: a working folder for dk (checked to stay empty), a log folder and a home.
struct Scratch {
    dktest::TempDir dir;
    fs::path work = dir / "work";
    fs::path log = dir / "log";
    fs::path home = dir / "home";
    Scratch() {
        fs::create_directories(work);
        fs::create_directories(home);
    }
    std::map<std::string, std::string> env(const std::string& password = "s3cret") const {
        std::map<std::string, std::string> e{{"DK_LOG_DIR", log.string()}, {"HOME", home.string()}};
        if (!password.empty()) e["DK_PASSWORD"] = password;
        return e;
    }
    Result dk(const std::vector<std::string>& args, const std::string& password = "s3cret") const {
        return runDk(args, work, env(password));
    }
};

// A small tree to import: three files to keep, and files that must be left out.
void makeTree(const fs::path& root) {
    fs::create_directories(root / "docs");
    fs::create_directories(root / ".git" / "objects");
    fs::create_directories(root / "build" / "bin");
    fs::create_directories(root / "out-of-tree");
    dktest::writeFile(root / "README.md", "# a small tree\n");
    dktest::writeFile(root / "docs" / "guide.TXT", "twelve bytes");
    dktest::writeFile(root / "docs" / "image.png", std::string(100, 'x'));
    dktest::writeFile(root / ".git" / "HEAD", "ref: refs/heads/main\n");
    dktest::writeFile(root / "build" / "bin" / "tool", "binary");
    dktest::writeFile(root / "out-of-tree" / "CMakeCache.txt", "CMAKE=1\n");
    fs::create_symlink(root / "README.md", root / "link.md");
}

std::string itemOf(const std::string& queryOutput, const std::string& filename) {
    std::smatch m;
    const std::regex row("(document:[0-9]+)[^\n]*" + filename);
    return std::regex_search(queryOutput, m, row) ? m[1].str() : std::string();
}

}  // namespace

TEST(DkCommandLine, MistakesExitWithOneAndSayWhatToDo) {
    Scratch s;
    Result r = s.dk({});
    EXPECT_EQ(1, r.code);
    EXPECT_NE(std::string::npos, r.err.find("no command")) << r.err;
    EXPECT_NE(std::string::npos, r.err.find("dk --help")) << r.err;

    r = s.dk({"frobnicate", "x.db"});
    EXPECT_EQ(1, r.code);
    EXPECT_NE(std::string::npos, r.err.find("unknown command 'frobnicate'")) << r.err;

    r = s.dk({"entities", "x.db", "--colour"});
    EXPECT_EQ(1, r.code);
    EXPECT_NE(std::string::npos, r.err.find("unknown option --colour")) << r.err;

    r = s.dk({"get", "x.db"});
    EXPECT_EQ(1, r.code);
    EXPECT_NE(std::string::npos, r.err.find("dk get --help")) << r.err;

    r = s.dk({"delete", "x.db", "document:1", "document:2"});
    EXPECT_EQ(1, r.code);
    EXPECT_NE(std::string::npos, r.err.find("too many arguments")) << r.err;

    r = s.dk({"entities", "x.db", "--password-file"});
    EXPECT_EQ(1, r.code);
    EXPECT_NE(std::string::npos, r.err.find("needs a value")) << r.err;

    // Help is not a mistake: it goes to standard output and names the log file.
    r = s.dk({"--help"});
    EXPECT_EQ(0, r.code);
    EXPECT_NE(std::string::npos, r.out.find("dk import REPO DIR"));
    EXPECT_NE(std::string::npos, r.out.find((s.log / "dklog.log").string())) << r.out;
    r = s.dk({"update", "--help"});
    EXPECT_EQ(0, r.code);
    EXPECT_NE(std::string::npos, r.out.find("NAME=VALUE"));

    // Without DK_LOG_DIR the log goes under the home folder, as the help says.
    auto env = s.env();
    env.erase("DK_LOG_DIR");
    r = runDk({"--help"}, s.work, env);
    EXPECT_NE(std::string::npos, r.out.find((s.home / ".dk" / "dklog.log").string())) << r.out;

    // Nothing above wrote into the working folder.
    EXPECT_TRUE(fs::is_empty(s.work));
}

TEST(DkCommandLine, PasswordComesFromFileOrEnvironmentOrNowhere) {
    Scratch s;
    // No terminal, no DK_PASSWORD, no file: a usage error, and no repository is made.
    Result r = s.dk({"init", "repo.db"}, "");
    EXPECT_EQ(1, r.code);
    EXPECT_NE(std::string::npos, r.err.find("DK_PASSWORD")) << r.err;
    EXPECT_FALSE(fs::exists(s.work / "repo.db"));

    r = s.dk({"init", "repo.db", "--password-file", (s.dir / "missing").string()}, "");
    EXPECT_EQ(1, r.code);
    EXPECT_NE(std::string::npos, r.err.find("cannot read the password file")) << r.err;

    dktest::writeFile(s.dir / "empty", "\n");
    r = s.dk({"init", "repo.db", "--password-file", (s.dir / "empty").string()}, "");
    EXPECT_EQ(1, r.code);
    EXPECT_NE(std::string::npos, r.err.find("empty")) << r.err;
    EXPECT_FALSE(fs::exists(s.work / "repo.db"));

    // The file's first line, without its line end, is the password; DK_PASSWORD is then ignored.
    dktest::writeFile(s.dir / "pw", "from-file\r\nsecond line\n");
    r = s.dk({"init", "repo.db", "--password-file", (s.dir / "pw").string()}, "other");
    ASSERT_EQ(0, r.code) << r.err;
    EXPECT_EQ(0, s.dk({"entities", "repo.db"}, "from-file").code);
    r = s.dk({"entities", "repo.db"}, "other");
    EXPECT_EQ(2, r.code);
    EXPECT_FALSE(r.err.empty());
    EXPECT_EQ(std::string::npos, r.err.find("Try 'dk")) << "a refused logon is not a usage error: " << r.err;
}

TEST(DkRepository, RoundTripOnASmallFolder) {
    Scratch s;
    makeTree(s.dir / "tree");
    const std::string repo = (s.dir / "repo.db").string();

    Result r = s.dk({"init", repo});
    ASSERT_EQ(0, r.code) << r.err;
    r = s.dk({"init", repo});
    EXPECT_EQ(2, r.code) << "a repository is never made twice";
    EXPECT_NE(std::string::npos, r.err.find("exists")) << r.err;

    r = s.dk({"entities", repo});
    ASSERT_EQ(0, r.code) << r.err;
    for (const char* attr : {"title (string)", "filename (string)", "size (long)", "modified (timestamp)", "mimetype"})
        EXPECT_NE(std::string::npos, r.out.find(attr)) << r.out;

    // Not a terminal: counts only, no bar, no carriage returns.
    r = s.dk({"import", repo, (s.dir / "tree").string()});
    ASSERT_EQ(0, r.code) << r.err;
    EXPECT_NE(std::string::npos, r.out.find("imported 3 files")) << r.out;
    EXPECT_EQ(std::string::npos, r.err.find('\r'));
    EXPECT_EQ(std::string::npos, r.err.find("[#"));

    r = s.dk({"query", repo, "SELECT * FROM document ORDER BY filename"});
    ASSERT_EQ(0, r.code) << r.err;
    EXPECT_NE(std::string::npos, r.out.find("(3 rows)")) << r.out;
    EXPECT_NE(std::string::npos, r.out.find("text/plain")) << "the extension table ignores case: " << r.out;
    EXPECT_NE(std::string::npos, r.out.find("image/png")) << r.out;
    for (const char* skipped : {"HEAD", "tool", "CMakeCache", "link.md"})
        EXPECT_EQ(std::string::npos, r.out.find(skipped)) << skipped << " must not be imported:\n" << r.out;
    const std::string guide = itemOf(r.out, "docs/guide.TXT");
    const std::string image = itemOf(r.out, "docs/image.png");
    ASSERT_FALSE(guide.empty()) << r.out;
    ASSERT_FALSE(image.empty()) << r.out;

    r = s.dk({"query", repo, "SELECT count(*) AS n FROM document WHERE size > :min", "--param", "min=12"});
    ASSERT_EQ(0, r.code) << r.err;
    EXPECT_NE(std::string::npos, r.out.find("n\n-")) << "plain rows have no item column: " << r.out;
    EXPECT_NE(std::string::npos, r.out.find("\n2\n")) << r.out;
    r = s.dk({"query", repo, "DELETE FROM document"});
    EXPECT_EQ(2, r.code) << "only SELECT is run";

    r = s.dk({"get", repo, guide});
    ASSERT_EQ(0, r.code) << r.err;
    EXPECT_NE(std::string::npos, r.out.find("guide")) << r.out;
    EXPECT_NE(std::string::npos, r.out.find(": 12\n")) << r.out;
    const std::smatch pid = [&] {
        std::smatch m;
        std::regex_search(r.out, m, std::regex("pid +: ([^\n]+)"));
        return m;
    }();
    ASSERT_FALSE(pid.empty()) << r.out;
    const std::string pidString = pid[1].str();

    // Values are read as the attribute's type; a bad one changes nothing.
    r = s.dk({"update", repo, guide, "size=many"});
    EXPECT_EQ(1, r.code);
    EXPECT_NE(std::string::npos, r.err.find("whole number")) << r.err;
    r = s.dk({"update", repo, guide, "colour=red"});
    EXPECT_EQ(1, r.code);
    EXPECT_NE(std::string::npos, r.err.find("no attribute colour")) << r.err;
    r = s.dk({"update", repo, guide, "title"});
    EXPECT_EQ(1, r.code);
    r = s.dk({"update", repo, guide, "title=A guide: twelve = bytes", "size=-5", "modified=2024-05-01-12.30.00"});
    ASSERT_EQ(0, r.code) << r.err;
    r = s.dk({"get", repo, pidString});   // the same item, by its full pid
    ASSERT_EQ(0, r.code) << r.err;
    EXPECT_NE(std::string::npos, r.out.find(": A guide: twelve = bytes\n")) << r.out;
    EXPECT_NE(std::string::npos, r.out.find(": -5\n")) << r.out;
    EXPECT_NE(std::string::npos, r.out.find("2024-05-01")) << r.out;

    r = s.dk({"delete", repo, image});
    ASSERT_EQ(0, r.code) << r.err;
    r = s.dk({"get", repo, image});
    EXPECT_EQ(2, r.code);
    EXPECT_FALSE(r.err.empty());
    r = s.dk({"delete", repo, image});
    EXPECT_EQ(2, r.code) << "a deleted item cannot be deleted again";
    r = s.dk({"get", repo, "nosuchentity:1"});
    EXPECT_EQ(2, r.code);
    r = s.dk({"get", repo, "document:abc"});
    EXPECT_EQ(1, r.code);

    r = s.dk({"query", repo, "SELECT * FROM document"});
    EXPECT_NE(std::string::npos, r.out.find("(2 rows)")) << r.out;

    // Errors were logged where the help says, and nothing landed in the working folder.
    EXPECT_TRUE(fs::exists(s.log / "dklog.log"));
    EXPECT_TRUE(fs::is_empty(s.work));
}

TEST(DkRepository, ImportLeavesOutTheRepositoryItselfAndRefusesAMissingFolder) {
    Scratch s;
    makeTree(s.dir / "tree");
    const std::string repo = (s.dir / "tree" / "docs" / "repo.db").string();
    ASSERT_EQ(0, s.dk({"init", repo}).code);
    Result r = s.dk({"import", repo, (s.dir / "tree").string()});
    ASSERT_EQ(0, r.code) << r.err;
    EXPECT_NE(std::string::npos, r.out.find("imported 3 files")) << r.out;

    r = s.dk({"import", repo, (s.dir / "nowhere").string()});
    EXPECT_EQ(1, r.code);
    EXPECT_NE(std::string::npos, r.err.find("not a folder")) << r.err;
    r = s.dk({"import", (s.dir / "none.db").string(), (s.dir / "tree").string()});
    EXPECT_EQ(2, r.code);
    EXPECT_FALSE(fs::exists(s.dir / "none.db")) << "only init makes a repository";
}

TEST(DkTerminal, PasswordIsNotEchoedAndProgressIsDrawn) {
    Scratch s;
    makeTree(s.dir / "tree");
    const std::string repo = (s.dir / "repo.db").string();

    // Two different answers: refused, and nothing is made.
    Result r = runDkOnTerminal({"init", repo}, s.work, s.env(""), {{"Password for admin: ", "first-try"},
                                                                     {"Repeat the password: ", "second-try"}});
    EXPECT_EQ(1, r.code) << r.err;
    EXPECT_NE(std::string::npos, r.err.find("differ")) << r.err;
    EXPECT_FALSE(fs::exists(repo));

    r = runDkOnTerminal({"init", repo}, s.work, s.env(""),
                        {{"Password for admin: ", "typed-secret"}, {"Repeat the password: ", "typed-secret"}});
    ASSERT_EQ(0, r.code) << r.err;
    EXPECT_EQ(std::string::npos, r.err.find("typed-secret")) << "the password was echoed:\n" << r.err;

    // The typed password is the one the repository keeps.
    EXPECT_EQ(0, s.dk({"entities", repo}, "typed-secret").code);

    // On a terminal the import draws a bar on standard error.
    r = runDkOnTerminal({"import", repo, (s.dir / "tree").string()}, s.work, s.env("typed-secret"), {});
    ASSERT_EQ(0, r.code) << r.err;
    EXPECT_NE(std::string::npos, r.err.find("\r[###")) << r.err;
    EXPECT_NE(std::string::npos, r.err.find("3/3")) << r.err;
    EXPECT_NE(std::string::npos, r.out.find("imported 3 files")) << r.out;
}
