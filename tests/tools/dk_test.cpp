// tests/tools/dk_test.cpp
//
// The `dk` tool run as a user runs it (a child process, its own environment and folder, a real
// pseudo-terminal where it matters, an unprivileged user through setpriv where file modes matter):
// exit codes, error texts, imports run twice, output formats, runaway queries, text search and
// damaged repositories. How values and names are escaped and how the log is written is tested
// on the units themselves (dkOutput_test, dkToolLog_test).

#include "dkTestSupport.hpp"
#ifdef DK_TEST_PG
#include "dkPgTestSupport.hpp"
#endif

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <string>
#include <tuple>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace fs = std::filesystem;

namespace {

using dktest::contains;

constexpr uid_t kNobody = 65534;

struct Result {
    int code = -1;
    std::string out;
    std::string err;      // standard error, or the terminal's transcript when run on one
    double seconds = 0;
    long maxRssKiB = 0;   // the child's peak memory
};

bool isRoot() { return geteuid() == 0; }

// The environment of the child: the parent's, without anything that would steer dk, plus extra.
std::vector<std::string> childEnvironment(const std::map<std::string, std::string>& extra) {
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        const std::string kv = *e, key = kv.substr(0, kv.find('='));
        if (key != "DK_PASSWORD" && key != "DK_LOG_DIR" && key != "HOME" && key != "NVLVTROOT" && key != "COLUMNS") env.push_back(kv);
    }
    for (const auto& [k, v] : extra) env.push_back(k + "=" + v);
    return env;
}

// The exit code in a wait status, or 128 + the signal that ended the child.
int exitCode(int status) { return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status); }

// Waits for pid to end and gives its exit code; past the deadline it is killed and -1 is given.
int waitFor(pid_t pid, int seconds = 120, long* maxRssKiB = nullptr) {
    int status = 0;
    struct rusage usage {};
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (wait4(pid, &status, WNOHANG, &usage) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            return -1;
        }
        usleep(2000);
    }
    if (maxRssKiB) *maxRssKiB = usage.ru_maxrss;
    return exitCode(status);
}

// Whether every folder above a file lets other users through (a build tree inside a private
// temporary folder does not).
bool othersCanReach(const fs::path& file) {
    for (fs::path p = file.parent_path();; p = p.parent_path()) {
        struct stat st {};
        if (stat(p.c_str(), &st) != 0 || (st.st_mode & S_IXOTH) == 0) return false;
        if (p == p.root_path()) return true;
    }
}

// The dk the unprivileged user runs: the built one when it can reach it, else the build
// installed once into a folder of its own, removed when the suite ends.
const std::string& dkForOthers() {
    static struct Installed {
        std::string tool = DK_TOOL;
        fs::path prefix;
        Installed() {
            if (othersCanReach(tool)) return;
            std::string pattern = (fs::temp_directory_path() / "dk-install-XXXXXX").string();
            prefix = mkdtemp(pattern.data());
            chmod(prefix.c_str(), 0755);
            const std::string command = std::string("'") + DK_CMAKE + "' --install '" + DK_BUILD_DIR +
                                        "' --prefix '" + prefix.string() + "' >/dev/null";
            if (std::system(command.c_str()) == 0) tool = (prefix / "bin" / "dk").string();
        }
        ~Installed() {
            std::error_code ec;
            if (!prefix.empty()) fs::remove_all(prefix, ec);
        }
    } installed;
    return installed.tool;
}

// Replaces the child with dk, as the unprivileged user when asked and this runs as root.
[[noreturn]] void execDk(const std::vector<std::string>& args, const std::vector<std::string>& env, bool asNobody) {
    std::vector<std::string> words;
    if (asNobody && isRoot()) words = {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
    words.push_back(asNobody && isRoot() ? dkForOthers() : DK_TOOL);
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& w : words) argv.push_back(const_cast<char*>(w.c_str()));
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (const auto& e : env) envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);
    execve(argv[0], argv.data(), envp.data());
    _exit(127);
}

struct RunOptions {
    bool asNobody = false;
    std::string input;        // standard input (from a file); empty: /dev/null
    int timeoutSeconds = 120;
    std::string password = "s3cret";   // DK_PASSWORD; empty: none
};

// A descriptor for a child's output into file, emptied first, not inherited past an exec.
int createFile(const fs::path& file) { return open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666); }

// Starts dk in cwd in a session of its own, with the environment childEnvironment makes from env
// and fds as its standard input, output and error (closed here, the child's copies stay). When
// standard error is a terminal, it becomes the child's controlling terminal.
pid_t startDk(const std::vector<std::string>& args, const fs::path& cwd, const std::map<std::string, std::string>& env,
              const std::array<int, 3>& fds, bool asNobody = false) {
    const std::vector<std::string> environment = childEnvironment(env);
    if (asNobody && isRoot()) dkForOthers();   // installed here, not in the child
    const pid_t pid = fork();
    if (pid == 0) {
        setsid();
        if (chdir(cwd.c_str()) != 0) _exit(126);
        for (int fd = 0; fd < 3; ++fd) dup2(fds[fd], fd);
        if (isatty(2) && ioctl(2, TIOCSCTTY, 0) != 0) _exit(126);
        execDk(args, environment, asNobody);
    }
    for (const int fd : fds) close(fd);
    return pid;
}

// Runs dk in cwd with no controlling terminal (so it can never stop to ask for a password),
// and its output in files beside cwd.
Result runDk(const std::vector<std::string>& args, const fs::path& cwd, const std::map<std::string, std::string>& env,
             const RunOptions& options = {}) {
    const fs::path outFile = cwd.parent_path() / "stdout.txt";
    const fs::path errFile = cwd.parent_path() / "stderr.txt";
    const fs::path inFile = cwd.parent_path() / "stdin.txt";
    dktest::writeFile(inFile, options.input);
    const auto start = std::chrono::steady_clock::now();
    const int in = open(inFile.c_str(), O_RDONLY | O_CLOEXEC);
    const pid_t pid = startDk(args, cwd, env, {in, createFile(outFile), createFile(errFile)}, options.asNobody);
    Result r;
    r.code = waitFor(pid, options.timeoutSeconds, &r.maxRssKiB);
    r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
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
    int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) return {};
    const int tty = open(ptsname(master), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (tty < 0) return {};
    const pid_t pid = startDk(args, cwd, env, {open("/dev/null", O_RDONLY | O_CLOEXEC), createFile(outFile), tty});
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
    close(master);
    r.code = exited ? exitCode(status) : waitFor(pid, 0);
    r.out = dktest::readFile(outFile);
    return r;
}


// A scratch area every user may enter (the unprivileged runs need to): a working folder for dk
// (checked to be empty still when the test ends), a log folder and a home. Removed with everything
// in it.
struct Scratch {
    fs::path dir;
    fs::path work, log, home;
    Scratch() {
        std::string pattern = (fs::temp_directory_path() / "dk-test-XXXXXX").string();
        dir = mkdtemp(pattern.data());
        work = dir / "work";
        log = dir / "log";
        home = dir / "home";
        for (const fs::path& p : {dir, work, log, home}) {
            fs::create_directories(p);
            chmod(p.c_str(), 0777);
        }
    }
    ~Scratch() {
        EXPECT_TRUE(fs::is_empty(work)) << "dk left files in its working folder";
        std::error_code ec;
        fs::permissions(dir, fs::perms::all, ec);
        for (auto it = fs::recursive_directory_iterator(dir, ec); !ec && it != fs::recursive_directory_iterator();
             it.increment(ec))
            if (it->is_directory(ec)) fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(dir, ec);
    }
    std::map<std::string, std::string> env(const std::string& password = "s3cret") const {
        std::map<std::string, std::string> e{{"DK_LOG_DIR", log.string()}, {"HOME", home.string()}};
        if (!password.empty()) e["DK_PASSWORD"] = password;
        return e;
    }
    Result dk(const std::vector<std::string>& args, const std::string& password = "s3cret") const {
        return runDk(args, work, env(password));
    }
    Result dk(const std::vector<std::string>& args, const RunOptions& options) const {
        return runDk(args, work, env(options.password), options);
    }
    // Runs dk, checks its exit code and that every one of parts is in what it wrote: standard
    // output when it succeeded, standard error when it did not.
    Result expect(int code, const std::vector<std::string>& args, const std::vector<std::string>& parts = {},
                  const RunOptions& options = {}) const {
        Result r = dk(args, options);
        EXPECT_EQ(code, r.code) << testing::PrintToString(args) << ": " << r.out << r.err;
        for (const std::string& p : parts)
            EXPECT_TRUE(contains(code == 0 ? r.out : r.err, p)) << p << " in " << testing::PrintToString(args) << ": " << r.out << r.err;
        return r;
    }
    // A repository at `at` (repo.db by default, its folder made) with the small tree beside it,
    // imported unless asked not to.
    std::string repository(const fs::path& at = {}, bool import = true) const {
        makeTree(dir / "tree");
        const fs::path repo = at.empty() ? dir / "repo.db" : at;
        fs::create_directories(repo.parent_path());
        EXPECT_EQ(0, dk({"init", repo.string()}).code);
        if (import) expect(0, {"import", repo.string(), (dir / "tree").string()}, {"3 added"});
        return repo.string();
    }
    static void makeTree(const fs::path& root);
};

// A small tree to import: three files to keep, and files that are left out by default.
void Scratch::makeTree(const fs::path& root) {
    if (fs::exists(root)) return;
    fs::create_directories(root / ".git" / "objects");
    const std::pair<const char*, std::string> files[] = {
        {"README.md", "# a small tree\n"}, {"docs/guide.TXT", "twelve bytes"}, {"docs/image.png", std::string(100, 'x')},
        {".git/HEAD", "ref: refs/heads/main\n"}, {"build/bin/tool", "binary"}, {"out-of-tree/CMakeCache.txt", "CMAKE=1\n"}};
    for (const auto& [file, content] : files) {
        fs::create_directories((root / file).parent_path());
        dktest::writeFile(root / file, content);
    }
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
    const std::vector<std::pair<std::vector<std::string>, std::string>> mistakes = {
        {{}, "no command"},
        {{"frobnicate", "x.db"}, "unknown command 'frobnicate'"},
        {{"entities", "x.db", "--colour"}, "unknown option --colour"},
        {{"get", "x.db"}, "dk get --help"},
        {{"delete", "x.db", "document:1", "document:2"}, "too many arguments"},
        {{"entities", "x.db", "--password-file"}, "needs a value"},
        // The tool checks its own options first and names what is wrong.
        {{"query", "x.db", "SELECT 1", "--param", "a=1", "--param", "a=2"}, "--param a is given twice"},
        {{"query", "x.db", "SELECT 1", "--format", "csv", "--format=json"}, "--format is given twice"},
        {{"import", "x.db", ".", "--format", "csv"}, "--format is not an option of dk import"},
        {{"query", "x.db", "SELECT 1", "--format", "xml"}, "unknown format 'xml'"},
        {{"query", "x.db", "SELECT 1", "--timeout", "soon"}, "--timeout needs a whole number"},
        {{"delete", "x.db", "--dry-run", "document:1"}, "--dry-run goes with --where"},
        {{"update", "x.db", "document:1", "title=a", "title=b"}, "title is given twice"},
    };
    for (const auto& [args, text] : mistakes) s.expect(1, args, {text});

    // Help and version are not mistakes: they go to standard output.
    Result r = s.expect(0, {"--version"});
    EXPECT_TRUE(std::regex_match(r.out, std::regex("dk [0-9]+\\.[0-9]+\\.[0-9]+\n"))) << r.out;
    s.expect(0, {"--help"}, {"dk import REPO DIR", (s.log / "dklog.log").string()});
    s.expect(0, {"import", "--help"}, {".git", ".hg", ".svn", "build", "CMakeCache.txt", "--exclude", "--no-default-excludes"});

    // Without DK_LOG_DIR the log goes under the home folder, as the help says.
    auto env = s.env();
    env.erase("DK_LOG_DIR");
    r = runDk({"--help"}, s.work, env);
    EXPECT_TRUE(contains(r.out, (s.home / ".dk" / "dklog.log").string())) << r.out;
}

TEST(DkCommandLine, PasswordComesFromFileOrEnvironmentOrNowhere) {
    Scratch s;
    // No terminal, no DK_PASSWORD, no file: a usage error, and no repository is made.
    dktest::writeFile(s.dir / "empty", "\n");
    const std::pair<std::vector<std::string>, std::string> refused[] = {
        {{}, "DK_PASSWORD"},
        {{"--password-file", (s.dir / "missing").string()}, "cannot read the password file"},
        {{"--password-file", (s.dir / "empty").string()}, ""}};
    for (const auto& [options, text] : refused) {
        std::vector<std::string> args{"init", "repo.db"};
        args.insert(args.end(), options.begin(), options.end());
        s.expect(1, args, {text}, RunOptions{false, "", 120, ""});
        EXPECT_FALSE(fs::exists(s.work / "repo.db"));
    }

    // The file's first line, without its line end, is the password; DK_PASSWORD is then ignored.
    dktest::writeFile(s.dir / "pw", "from-file\r\nsecond line\n");
    const std::string repo = (s.dir / "repo.db").string();
    ASSERT_EQ(0, s.dk({"init", repo, "--password-file", (s.dir / "pw").string()}, "other").code);
    EXPECT_EQ(0, s.dk({"entities", repo}, "from-file").code);
    const Result r = s.dk({"entities", repo}, "other");
    EXPECT_EQ(2, r.code);
    EXPECT_FALSE(contains(r.err, "Try 'dk")) << "a refused logon is not a usage error: " << r.err;
    // Neither the password nor its hash is ever written to the log.
    const std::string log = dktest::readFile(s.log / "dklog.log");
    EXPECT_FALSE(contains(log, "from-file"));
    EXPECT_FALSE(contains(log, "other"));
}

TEST(DkRepository, RoundTripOnASmallFolder) {
    Scratch s;
    const std::string repo = s.repository({}, false);
    s.expect(0, {"entities", repo}, {"title (string)", "size (long)", "modified (timestamp)", "root (string)"});

    // Not a terminal: counts only, no bar. What was left out is counted and named.
    Result r = s.expect(0, {"import", repo, (s.dir / "tree").string()},
                        {"3 added, 0 updated, 0 unchanged, 0 removed",
                         "left out 3 folders and 1 file (.git/, build/, link.md, out-of-tree/)"});
    EXPECT_FALSE(contains(r.err, "\r"));

    // The extension table ignores case: guide.TXT is text/plain.
    r = s.expect(0, {"query", repo, "SELECT * FROM document ORDER BY filename"}, {"(3 rows)", "text/plain"});
    const std::string guide = itemOf(r.out, "docs/guide.TXT"), image = itemOf(r.out, "docs/image.png");
    ASSERT_FALSE(guide.empty() || image.empty()) << r.out;

    r = s.expect(0, {"query", repo, "SELECT count(*) AS n FROM document WHERE size > :min", "--param", "min=12"});
    EXPECT_EQ("n\n-\n2\n(1 row)\n", r.out) << "plain rows have no item column";

    // What get prints, update takes back: the timestamp form among it.
    r = s.expect(0, {"get", repo, guide}, {"size = 12\n"});
    std::smatch m;
    ASSERT_TRUE(std::regex_search(r.out, m, std::regex("modified = ([^\n]+)\n"))) << r.out;
    const std::string modified = m[1].str();
    ASSERT_TRUE(std::regex_search(r.out, m, std::regex("pid = ([^\n]+)\n"))) << r.out;
    const std::string pidString = m[1].str();
    s.expect(0, {"update", repo, guide, "modified=" + modified, "title=A guide: twelve = bytes", "size=-5"});
    r = s.dk({"query", repo, "SELECT max(modified) AS m FROM document WHERE filename LIKE 'docs/g%'", "--format",
              "csv", "--no-header"});
    EXPECT_EQ(modified + "\r\n", r.out) << "an aggregate prints what the row prints";
    s.expect(0, {"get", repo, pidString}, {"title = A guide: twelve = bytes\n"});   // the same item, by its full pid
    // search: every word needed, in title or filename, the new title already; operators are text.
    r = s.expect(0, {"search", repo, "TWELVE", "gui*", "--format", "csv", "--no-header"});
    EXPECT_EQ(0u, r.out.find(guide + ",A guide: twelve = bytes,docs/guide.TXT,")) << r.out;
    for (const char* word : {"twelve OR readme", "x' OR '1'='1", "\"", "*", "NEAR("})
        EXPECT_EQ("\r\n", s.dk({"search", repo, word, "--format", "csv"}).out) << word;
    EXPECT_EQ(1, s.dk({"search", repo, ""}).code);
    EXPECT_EQ(1, s.dk({"search", repo, "--template="}).code) << "a template needs a name";

    // Values are read as the attribute's type; a date that does not exist is refused, by name.
    const std::vector<std::pair<std::string, std::string>> refused = {
        {"size=many", "whole number"},
        {"colour=red", "no attribute colour"},
        {"modified=2024-02-30-12.00.00", "2024-02 has 29 days"},
        {"modified=2023-02-29 00:00:00", "2023-02 has 28 days"},
        {"modified=2024-13-01 00:00:00", "no month 13"},
        {"modified=2024-05-01 24:00:00", "modified"},
    };
    for (const auto& [change, text] : refused) s.expect(1, {"update", repo, guide, change}, {text});
    s.expect(0, {"update", repo, guide, "modified=2024-02-29 23:59:59.5"});
    s.expect(0, {"get", repo, guide}, {"modified = 2024-02-29 23:59:59.500000000\n"});

    s.expect(0, {"delete", repo, image});
    EXPECT_EQ(2, s.dk({"get", repo, image}).code);
    EXPECT_EQ(2, s.dk({"delete", repo, image}).code) << "a deleted item cannot be deleted again";
    EXPECT_EQ(2, s.dk({"get", repo, "nosuchentity:1"}).code);
    EXPECT_EQ(1, s.dk({"get", repo, "document:abc"}).code);
}

TEST(DkImport, SecondImportUpdatesWhatChangedAndKeepsTheRest) {
    Scratch s;
    const fs::path tree = s.dir / "t";
    for (const char* file : {"build-tools/a.sh", "src/c.c", "src/notes.tmp", "build/out.o"}) {
        fs::create_directories((tree / file).parent_path());
        dktest::writeFile(tree / file, std::string(1, file[0]) + "\n");
    }
    const std::string repo = (s.dir / "r.db").string(), root = tree.string();
    ASSERT_EQ(0, s.dk({"init", repo}).code);

    // Only what --help names is left out: build-tools/ is a folder like any other.
    s.expect(0, {"import", repo, root, "--exclude", "*.tmp"}, {"2 added", "left out 1 folder and 1 file (build/, src/notes.tmp)"});
    // The same tree again: nothing doubles.
    s.expect(0, {"import", repo, root, "--exclude", "*.tmp"}, {"0 added, 0 updated, 2 unchanged, 0 removed"});

    // A changed file is updated, a new one added, a gone one kept unless asked.
    dktest::writeFile(tree / "src" / "c.c", "y, longer now\n");
    dktest::writeFile(tree / "src" / "d.c", "new\n");
    fs::remove(tree / "build-tools" / "a.sh");
    s.expect(0, {"import", repo, root, "--no-default-excludes", "--exclude", "src/*.tmp"},
             {"2 added, 1 updated, 0 unchanged, 0 removed", "1 item of files that are gone kept"});
    s.expect(0, {"import", repo, root, "--delete-missing", "--exclude", "*.tmp"}, {"0 added, 0 updated, 2 unchanged, 2 removed"});
    Result r = s.dk({"query", repo, "SELECT filename, size FROM document ORDER BY filename", "--format", "tsv", "--no-header"});
    EXPECT_EQ("src/c.c\t14\nsrc/d.c\t4\n", r.out);

    // Another root is another set of items.
    s.expect(0, {"import", repo, (tree / "src").string()}, {"3 added"});

    // A URL is one item named by the URL, updated when its size changes; https is refused.
    const std::string url = "file://" + (tree / "src" / "c.c").string();
    EXPECT_TRUE(contains(s.dk({"import", repo, url, url}).out, "14 bytes, added\nimported " + url + ": 14 bytes, unchanged"));
    r = s.dk({"query", repo, "SELECT title, mimetype FROM document WHERE filename = :u", "--param", "u=" + url, "--format", "tsv", "--no-header"});
    EXPECT_EQ("c\ttext/x-c\n", r.out);
    EXPECT_EQ(2, s.dk({"import", repo, "https://127.0.0.1/x"}).code);

    EXPECT_EQ(1, s.dk({"import", repo, (s.dir / "nowhere").string()}).code);
    EXPECT_EQ(2, s.dk({"import", (s.dir / "none.db").string(), root}).code);
    EXPECT_FALSE(fs::exists(s.dir / "none.db")) << "only init makes a repository";
}

TEST(DkImport, RepositoryInsideTheTreeAndDamagedRepositories) {
    Scratch s;
    const std::string repo = s.repository(s.dir / "tree" / "docs" / "repo.db");

    // A copy with garbage written into its middle: the import rolls back and says so, and
    // check finds the damage.
    const std::string copy = (s.dir / "copy.db").string();
    ASSERT_EQ(0, s.dk({"backup", repo, copy}).code);
    EXPECT_EQ("ok\n", s.dk({"check", copy}).out);
    {
        std::fstream f(copy, std::ios::in | std::ios::out | std::ios::binary);
        // Past the catalogue and rights tables that every connect reads: the items.
        f.seekp(static_cast<std::streamoff>(fs::file_size(copy) * 3 / 4));
        const std::string garbage(4096, '\xA5');
        f.write(garbage.data(), static_cast<std::streamsize>(garbage.size()));
    }
    dktest::writeFile(s.dir / "tree" / "more.txt", "more");
    EXPECT_EQ(2, s.dk({"import", copy, (s.dir / "tree").string()}).code);
    const Result r = s.dk({"check", copy});
    EXPECT_EQ(2, r.code);
    EXPECT_TRUE(contains(r.out, "problem")) << r.out;
    EXPECT_EQ(2, s.dk({"backup", repo, copy}).code) << "a backup never overwrites";
}

TEST(DkRepository, ReadingWorksWhereNothingCanBeWritten) {
    Scratch s;
    // A WAL repository in a folder nobody but its owner may write: readable, not writable, and
    // the failed write leaves no files of another user behind.
    const fs::path locked = s.dir / "locked";
    const std::string walRepo = s.repository(locked / "wal.db");
    chmod(walRepo.c_str(), 0644);
    chmod(locked.c_str(), 0755);
    const RunOptions nobody{true, "", 120};
    const Result r = s.expect(0, {"query", walRepo, "SELECT count(*) AS n FROM document", "--format", "csv"}, {}, nobody);
    EXPECT_EQ("n\r\n3\r\n", r.out);
    s.expect(2, {"update", walRepo, "document:1", "size=2"}, {"read"}, nobody);
    for (const auto& entry : fs::directory_iterator(locked)) {
        struct stat st {};
        stat(entry.path().c_str(), &st);
        EXPECT_NE(kNobody, st.st_uid) << entry.path() << " was left by the failed write";
    }
}

TEST(DkQuery, FormatsBulkChangesAndAShellOfManyCommands) {
    Scratch s;
    const std::string repo = s.repository();
    // One log-in, many commands: a script's failed command shows in the exit status.
    const std::string script =
        "entities\n"
        "query 'SELECT count(*) AS n FROM document' --format csv\n"
        "# a comment\n"
        "update --where \"SELECT dk_id FROM document WHERE filename = 'README.md'\" title=Readme\n"
        "query \"SELECT title FROM document WHERE filename = 'README.md'\" --format tsv --no-header\n"
        "get document:999\n"
        "query 'SELECT 1\n";
    Result r = s.dk({"shell", repo}, RunOptions{false, script, 120});
    EXPECT_EQ(2, r.code) << "a failed command in a script shows in the exit status";
    for (const char* part : {"document\n", "n\r\n3\r\n", "updated 1 item\nReadme\n"}) EXPECT_TRUE(contains(r.out, part)) << r.out;
    EXPECT_TRUE(contains(r.err, "inside")) << "the unclosed quote is named: " << r.err;
    r = s.dk({"shell", repo}, RunOptions{false, "check\nquit\nentities\n", 120});
    EXPECT_EQ(0, r.code);
    EXPECT_EQ("ok\n", r.out);

    // What a query prints in a format.
    auto query = [&](const std::string& format, const std::string& sql) { return s.dk({"query", repo, sql, "--format", format}).out; };
    EXPECT_EQ("filename,size,n,e\r\nREADME.md,15,,\"\"\r\ndocs/guide.TXT,12,,\"\"\r\ndocs/image.png,100,,\"\"\r\n",
              query("csv", "SELECT filename, size, NULL AS n, '' AS e FROM document ORDER BY filename"));
    EXPECT_EQ("[{\"filename\":\"README.md\",\"size\":15,\"n\":null,\"b\":\"AP8=\"}]\n",
              query("json", "SELECT filename, size, NULL AS n, x'00ff' AS b FROM document ORDER BY filename LIMIT 1"));
    r = s.dk({"query", repo, "SELECT NULL AS n, '' AS e", "--null", "NULL"});
    EXPECT_TRUE(contains(r.out, "NULL |")) << r.out;
    EXPECT_EQ("[]\n", query("json", "SELECT 1 AS x WHERE 0"));

    // Bulk changes: the query names the items; --dry-run changes nothing.
    const std::string where = "SELECT dk_id FROM document WHERE filename LIKE 'docs/%'";
    s.expect(0, {"update", repo, "--where", where, "--dry-run", "mimetype=text/x-doc"}, {"would update 2 items"});
    EXPECT_EQ("n\n0\n", query("tsv", "SELECT count(*) AS n FROM document WHERE mimetype = 'text/x-doc'"));
    s.expect(0, {"update", repo, "--where", where, "mimetype=text/x-doc"}, {"updated 2 items"});
    EXPECT_EQ(1, s.dk({"update", repo, "--where", "SELECT count(*) FROM document", "size=1"}).code) << "the query must name items";
    EXPECT_EQ(1, s.dk({"update", repo, "--where", where, "size=big"}).code);
    s.expect(0, {"delete", repo, "--where", where}, {"deleted 2 items"});
    EXPECT_EQ("{\"mimetype\":\"text/markdown\"}\n", query("jsonl", "SELECT mimetype FROM document"));
}

TEST(DkQuery, RunawayQueriesEndAndClosedReadersAreQuiet) {
    Scratch s;
    const std::string repo = s.repository();
    const std::string endless = "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x+1 FROM c) SELECT x FROM c";
    const std::string huge = "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x+1 FROM c LIMIT 5000000) "
                             "SELECT group_concat(x) AS all_of_them FROM c";
    const std::string many = "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x+1 FROM c LIMIT 400000) "
                             "SELECT x, 'row number ' || x AS t FROM c";
    Result r = s.expect(2, {"query", repo, endless, "--timeout", "1", "--format", "csv"}, {}, RunOptions{false, "", 30});
    EXPECT_LT(r.seconds, 10);
    EXPECT_FALSE(r.err.empty());
    r = s.expect(2, {"query", repo, huge, "--max-memory", "8"}, {}, RunOptions{false, "", 60});
    EXPECT_FALSE(r.err.empty());

    // Rows stream: memory stays small however many there are.
    r = s.expect(0, {"query", repo, many}, {"(400000 rows)"});
#ifndef DK_SANITIZED
    EXPECT_LT(r.maxRssKiB, 64 * 1024) << "peak memory of a streamed query";
#endif

    // A reader that stops after one line ends the endless query quietly.
    int fds[2];
    ASSERT_EQ(0, pipe2(fds, O_CLOEXEC));   // the child holds no read end that would keep the pipe open
    const int in = open("/dev/null", O_RDONLY | O_CLOEXEC);
    const pid_t pid = startDk({"query", repo, endless, "--format", "csv"}, s.work, s.env(),
                              {in, fds[1], createFile(s.dir / "pipe-err.txt")});
    char buf[64];
    ASSERT_GT(read(fds[0], buf, sizeof buf), 0);
    close(fds[0]);
    EXPECT_EQ(0, waitFor(pid, 30));
    EXPECT_EQ("", dktest::readFile(s.dir / "pipe-err.txt"));
}

TEST(DkTerminal, PasswordIsNotEchoedAndProgressIsDrawn) {
    Scratch s;
    Scratch::makeTree(s.dir / "tree");
    const std::string repo = (s.dir / "repo.db").string();

    // Two different answers: refused, and nothing is made.
    Result r = runDkOnTerminal({"init", repo}, s.work, s.env(""), {{"Password for admin: ", "first-try"},
                                                                     {"Repeat the password: ", "second-try"}});
    EXPECT_EQ(1, r.code) << r.err;
    EXPECT_TRUE(contains(r.err, "differ")) << r.err;
    EXPECT_FALSE(fs::exists(repo));

    r = runDkOnTerminal({"init", repo}, s.work, s.env(""),
                        {{"Password for admin: ", "typed-secret"}, {"Repeat the password: ", "typed-secret"}});
    ASSERT_EQ(0, r.code) << r.err;
    EXPECT_FALSE(contains(r.err, "typed-secret")) << "the password was echoed:\n" << r.err;
    EXPECT_EQ(0, s.dk({"entities", repo}, "typed-secret").code);

    // On a terminal the import draws a bar on standard error.
    r = runDkOnTerminal({"import", repo, (s.dir / "tree").string()}, s.work, s.env("typed-secret"), {});
    ASSERT_EQ(0, r.code) << r.err;
    EXPECT_TRUE(contains(r.err, "\r[###") && contains(r.err, "3/3")) << r.err;
    EXPECT_TRUE(contains(r.out, "3 added")) << r.out;
}

TEST(DkFind, ConditionsTemplatesAndCountsKeepValuesAsData) {
    Scratch s;
    const std::string repo = s.repository();
    auto rows = [&](std::vector<std::string> args) {
        args.insert(args.begin() + 1, repo);
        const Result r = s.expect(0, args);
        std::vector<std::string> files;
        for (const char* name : {"README.md", "docs/guide.TXT", "docs/image.png"})
            if (contains(r.out, std::string(",") + name + ",")) files.push_back(name);
        return files;
    };
    using Files = std::vector<std::string>;
    // Operators in any case; values read as the attribute's type and compared as values.
    EXPECT_EQ((Files{"docs/guide.TXT", "docs/image.png"}), rows({"find", "document", "filename", "LiKe", "docs/%", "--format", "csv"}));
    EXPECT_EQ((Files{"README.md", "docs/guide.TXT"}), rows({"find", "document", "size", "between", "12", "15", "--format", "csv"}));
    EXPECT_EQ((Files{"docs/image.png"}), rows({"find", "document", "size", "notin", "12", "15", "--format", "csv"}));
    EXPECT_EQ(Files{}, rows({"find", "document", "filename", "==", "x' OR '1'='1", "--format", "csv"}));
    using Condition = std::array<std::string, 3>;
    for (const auto& [attribute, op, value] :
         {Condition{"size", "~", "1"}, Condition{"size", "==", "big"}, Condition{"size", "between", "1"}, Condition{"nothing", "==", "1"}})
        EXPECT_EQ(1, s.dk({"find", repo, "document", attribute, op, value}).code) << attribute << " " << op;
    // A stored template: its first operator is the default, another one is chosen by ATTR:OP.
    Result r = s.dk({"template", repo, "Docs'; DROP TABLE document; --", "document", "size:>=,in", "filename:like"});
    ASSERT_EQ(0, r.code) << r.err;
    EXPECT_EQ(2, s.dk({"template", repo, "docs'; drop table document; --", "document", "size"}).code);   // taken
    EXPECT_EQ(1, s.dk({"template", repo, "T", "document", "size:and"}).code);
    const std::string name = "--template=Docs'; DROP TABLE document; --";
    EXPECT_EQ((Files{"README.md", "docs/image.png"}), rows({"search", name, "size=13", "--format", "csv"}));
    EXPECT_EQ((Files{"README.md", "docs/guide.TXT"}), rows({"search", name, "size:in=12", "size=15", "--format", "csv"}));
    EXPECT_EQ((Files{"docs/image.png"}), rows({"search", name, "size=13", "filename=docs/%", "--format", "csv"}));
    EXPECT_EQ((Files{"docs/image.png"}), rows({"search", name, "size:>==16", "--format", "csv"}));   // an operator with '='

    EXPECT_EQ(2, s.dk({"search", repo, "--template", "Nowhere", "size=1"}).code);
    EXPECT_EQ(1, s.dk({"search", repo}).code) << "neither words nor --template";
    // --count: the size of the whole result, and the repository unchanged by all of the above.
    r = s.dk({"query", repo, "SELECT * FROM document", "--count"});
    EXPECT_EQ("3\n", r.out) << r.err;
}

// put stores a file as an item's content and cat writes it back byte for byte, in bounded
// memory: a 40 MiB part costs cat less than 32 MiB more than a small one.
TEST(DkContent, PutAndCatRoundTripInBoundedMemory) {
    Scratch s;
    const std::string repo = s.repository();
    const std::string readme = itemOf(s.dk({"query", repo, "SELECT * FROM document"}).out, "README.md");
    Result small = s.dk({"cat", repo, readme});
    std::string big(40 << 20, '\0');
    for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7 + (i >> 13));
    dktest::writeFile(s.dir / "big", big);
    ASSERT_EQ(0, s.dk({"put", repo, readme, (s.dir / "big").string()}).code);
    // A forked child's peak counts the pages it shared with this process, so the 40 MiB go first.
    std::string().swap(big);
    Result r = s.dk({"cat", repo, readme, "1"});
    EXPECT_TRUE(r.code == 0 && r.out == dktest::readFile(s.dir / "big")) << r.err;
#ifndef DK_SANITIZED
    // AddressSanitizer holds freed chunks back, so only a plain build measures the peak.
    EXPECT_LT(r.maxRssKiB - small.maxRssKiB, 32 << 10) << "cat peaked at " << r.maxRssKiB << " KiB";
#endif
    s.expect(1, {"cat", repo, readme, "x"}, {"PART must be"});
    s.expect(2, {"put", repo, readme, (s.dir / "none").string()}, {"(" + (s.dir / "none").string() + ")"});
}

// Folders, parts and links from the command line: filed items are listed in filing order and
// survive their folder, an item's deletion takes it out of folders and links, bad names fail.
TEST(DkMembers, FoldersPartsAndLinks) {
    Scratch s;
    const std::string repo = s.repository();
    const std::string rows = s.dk({"query", repo, "SELECT * FROM document"}).out;
    const std::string readme = itemOf(rows, "README.md"), guide = itemOf(rows, "guide.TXT"), image = itemOf(rows, "image.png");
    s.expect(0, {"parts", repo, readme}, {"1\t15\t"});
    std::string box = s.expect(0, {"mkfolder", repo, "Box"}, {"folder:"}).out;
    box.erase(box.find('\n'));
    s.expect(0, {"file", repo, box, guide, readme, image});
    s.expect(0, {"unfile", repo, box, image});
    s.expect(0, {"ls", repo, box}, {guide + "\tguide\n" + readme + "\tREADME\n"});
    s.expect(0, {"link", repo, readme, guide, "cites"});
    s.expect(0, {"links", repo, guide}, {"<-\tcites\t" + readme});
    s.expect(0, {"delete", repo, readme});
    s.expect(0, {"ls", repo, box}, {guide + "\tguide\n"});
    EXPECT_EQ("", s.dk({"links", repo, guide}).out);
    s.expect(0, {"delete", repo, box});
    s.expect(0, {"get", repo, guide}, {"guide"});
    s.expect(2, {"unfile", repo, box, guide});
    s.expect(2, {"ls", repo, guide}, {"is no folder"});
    s.expect(2, {"link", repo, guide, "document:999", "x"}, {"not stored"});
}

// Users, groups and ACLs from the command line: a second user is refused an item (cat, query,
// folder listing) until a group grants it; passwords come from files or the terminal only; a
// checked-out item is the holder's.
TEST(DkAdmin, ASecondUserSeesWhatAGroupGrants) {
    Scratch s;
    const std::string repo = s.repository();
    const std::string readme = itemOf(s.dk({"query", repo, "SELECT * FROM document"}).out, "README.md");
    dktest::writeFile(s.dir / "pw", "r3ader\n");
    const std::string pw = (s.dir / "pw").string();
    s.expect(0, {"user", "add", repo, "reader", "--new-password-file", pw});
    s.expect(1, {"user", "add", repo, "x", "--new-password-file"});
    EXPECT_EQ(1, s.dk({"user", "add", repo, "nopw"}).code);   // no terminal, and never DK_PASSWORD
    s.expect(0, {"user", "list", repo}, {"admin\tadministrator\nreader\n"});
    auto reader = [&](std::vector<std::string> args) { args.insert(args.begin(), {"--user", "reader"}); return s.dk(args, "r3ader"); };
    Result r = reader({"cat", repo, readme});
    EXPECT_TRUE(r.code == 2 && contains(r.err, "privilege")) << r.err;
    EXPECT_EQ("0", reader({"query", repo, "SELECT COUNT(*) AS n FROM document", "--format", "csv", "--no-header"}).out.substr(0, 1));
    s.expect(0, {"group", "add", repo, "readers"});
    s.expect(0, {"acl", "create", repo, "shared", "readers=reader"});
    s.expect(2, {"acl", "create", repo, "bad", "nobody=reader"}, {"does not exist"});
    s.expect(0, {"acl", "list", repo}, {"default\nshared\n"});   // the failed create left nothing
    s.expect(0, {"chacl", repo, readme, "shared"});
    s.expect(0, {"group", "adduser", repo, "readers", "reader"});
    EXPECT_EQ("# a small tree\n", reader({"cat", repo, readme}).out);
    EXPECT_TRUE(contains(reader({"rights", repo, readme}).out, "acl\tshared\nread\t1\nadd\t0\n"));
    EXPECT_EQ(2, reader({"group", "add", repo, "mine"}).code);
    // Check-out: the reader cannot; the holder keeps others out until check-in.
    EXPECT_EQ(2, reader({"checkout", repo, readme}).code);
    s.expect(0, {"checkout", repo, readme});
    s.expect(0, {"update", repo, readme, "title=held"});
    s.expect(0, {"checkin", repo, readme});
    s.expect(2, {"checkin", repo, readme}, {"not checked out"});
    // The reader's own password: the old one is the acting one.
    dktest::writeFile(s.dir / "pw2", "n3w\n");
    EXPECT_EQ(0, reader({"user", "passwd", repo, "--new-password-file", (s.dir / "pw2").string()}).code);
    EXPECT_EQ(2, reader({"user", "list", repo}).code);
    s.expect(0, {"user", "del", repo, "reader"});
    s.expect(2, {"user", "del", repo, "admin"}, {"last member"});
}

// The same commands give the same answers on a repository file and on a server's database (the
// fixture's server, a role of the test's own): items, content and its parts, folders, links,
// trees, text, users and groups. What the server's connector does not keep yet fails with its
// error, never a crash. init makes the database and drops it when the set-up fails, but never a database it did
// not make.
TEST(DkServer, SameCommandsOnAFileAndOnAServer) {
#ifndef DK_TEST_PG
    GTEST_SKIP() << "the PostgreSQL connector is not built";
#else
    Scratch s;
    Scratch::makeTree(s.dir / "tree");
    const std::string tree = (s.dir / "tree").string(), guideFile = (s.dir / "tree" / "docs" / "guide.TXT").string();
    const std::string role = dkpgtest::uniqueName("dk_tool");
    const std::string reader = "reader." + std::to_string(getpid());   // a server role: unique on the server
    const std::string pw = (s.dir / "pw").string();
    dktest::writeFile(pw, "r3ad\n");
    dkpgtest::adminSql("CREATE ROLE " + role + " LOGIN CREATEDB CREATEROLE PASSWORD 's3cret'");
    auto uri = [&](const std::string& db) {
        return "postgresql:///" + db + "?host=" + dkpgtest::server().at("DKPG_HOST") + "&port=" + dkpgtest::server().at("DKPG_PORT");
    };
    auto as = [&](std::vector<std::string> args) {
        args.insert(args.begin(), {"--user", role});
        return args;
    };
    const std::string server = uri(dkpgtest::uniqueName("dk_repo"));
    for (const std::string& repo : {(s.dir / "repo.db").string(), server}) {
        SCOPED_TRACE(repo);
        const std::vector<std::tuple<int, std::vector<std::string>, std::string>> steps = {
            {0, {"init", repo}, "created repository"},
            {2, {"init", repo}, "exists already"},
            {0, {"entities", repo}, "folder\n  title (string)"},
            {0, {"mkfolder", repo, "Reports"}, "folder:1\n"},
            {0, {"mkfolder", repo, "Drafts"}, "folder:2\n"},
            {0, {"update", repo, "folder:1", "title=it's 'quoted'"}, "updated folder:1"},
            {0, {"get", repo, "folder:1"}, "title = it's 'quoted'\n"},
            // Import twice (the second finds every file unchanged), content, folders, links, trees,
            // text, users and groups.
            {0, {"import", repo, tree}, "3 added"}, {0, {"import", repo, tree}, "0 added, 0 updated, 3 unchanged"},
            {0, {"cat", repo, "document:1"}, "# a small tree\n"}, {0, {"put", repo, "document:1", guideFile}, ""},
            {0, {"cat", repo, "document:1", "1"}, "twelve bytes"}, {2, {"cat", repo, "document:1", "2"}, "not stored"},
            {0, {"parts", repo, "document:1"}, "1\t12\t"},
            {0, {"file", repo, "folder:2", "document:3", "document:1"}, ""}, {0, {"ls", repo, "folder:2"}, "document:3\t"},
            {0, {"link", repo, "document:1", "document:2", "cites"}, ""}, {0, {"links", repo, "document:2"}, "<-\tcites\tdocument:1"},
            {0, {"find", repo, "document", "size", "between", "12", "15", "--format", "csv"}, "docs/guide.TXT"},
            {0, {"search", repo, "GUIDE*", "--format", "csv", "--no-header"}, "docs/guide.TXT"},
            {0, {"template", repo, "ByTitle", "folder", "title:like"}, "stored template ByTitle over folder"},
            {0, {"search", repo, "--template", "ByTitle", "title=Dr%", "--format", "csv", "--no-header"}, "Drafts"},
            {0, {"checkout", repo, "folder:2"}, ""}, {0, {"checkin", repo, "folder:2"}, ""},
            {2, {"checkin", repo, "folder:2"}, "not checked out"},
            {0, {"user", "add", repo, reader, "--new-password-file", pw}, ""}, {0, {"group", "add", repo, "staff"}, ""},
            {0, {"group", "adduser", repo, "staff", reader}, ""}, {0, {"group", "list", repo, "staff"}, reader + "\n"},
            {0, {"user", "list", repo}, role + "\tadministrator\n"}, {0, {"user", "del", repo, reader}, ""},
            {0, {"acl", "list", repo}, "default"}, {0, {"rights", repo}, "administer\t2"},
            {0, {"query", repo, "SELECT title FROM folder WHERE title <> :t ORDER BY title", "--param", "t=x", "--format", "csv",
                 "--no-header"}, "Drafts\r\nit's 'quoted'\r\n"},
            {0, {"query", repo, "SELECT * FROM folder", "--count"}, "2"},
            {2, {"query", repo, "DELETE FROM folder"}, ""},
            {0, {"update", repo, "--where", "SELECT dk_id FROM folder", "--dry-run", "title=x"}, "would update 2 items"},
            {0, {"delete", repo, "--where", "SELECT dk_id FROM folder WHERE title = 'Drafts'"}, "deleted 1 item"},
            {0, {"delete", repo, "folder:1"}, "deleted folder:1"},
            {2, {"get", repo, "folder:1"}, ""},
            {0, {"query", repo, "SELECT * FROM folder", "--count"}, "0"},
        };
        for (const auto& [code, args, text] : steps) s.expect(code, as(args), {text});
    }
    // What the server's connector does not keep yet is its clear refusal.
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"check", server}, {"backup", server, (s.dir / "copy.db").string()}}) {
        Result r = s.dk(as(args));
        EXPECT_TRUE(r.code == 2 && r.out.empty() && (contains(r.err, "PostgreSQL connector") || contains(r.err, "PG connector")))
            << args[0] << ": " << r.code << r.out << r.err;
    }

    // A set-up that fails after the database was made (the role may not create tables in its
    // default tablespace, which a new database does not use) leaves no database behind; a
    // database init did not make stays.
    const std::string failing = dkpgtest::uniqueName("dk_fail"), foreign = dkpgtest::uniqueName("dk_foreign");
    const fs::path space = fs::path(dkpgtest::server().at("DKPG_CLUSTER")) / role;
    struct stat cluster {};
    ASSERT_TRUE(stat(space.parent_path().c_str(), &cluster) == 0 && fs::create_directory(space) &&
                chown(space.c_str(), cluster.st_uid, cluster.st_gid) == 0);
    dkpgtest::adminSql("CREATE TABLESPACE " + role + " LOCATION '" + space.string() + "'");
    dkpgtest::adminSql("ALTER ROLE " + role + " SET default_tablespace = " + role);
    s.expect(2, as({"init", uri(failing)}), {"tablespace"});
    EXPECT_EQ("0", dkpgtest::adminSql("SELECT count(*) FROM pg_database WHERE datname = '" + failing + "'"));
    dkpgtest::adminSql("ALTER ROLE " + role + " RESET default_tablespace");
    dkpgtest::adminSql("CREATE DATABASE " + foreign + " OWNER " + role);
    dkpgtest::adminSql("CREATE TABLE notes (n int)", foreign);
    EXPECT_EQ(2, s.dk(as({"init", uri(foreign)})).code);
    EXPECT_EQ("1", dkpgtest::adminSql("SELECT count(*) FROM pg_database WHERE datname = '" + foreign + "'"));
#endif
}
