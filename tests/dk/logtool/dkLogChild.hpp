// tests/dk/logtool/dkLogChild.hpp
//
// The one runner of the log suites' child-process cases. A process reads its log configuration
// once, so a case that configures the log lays out a folder of its own, runs the child half of
// itself (a test that skips itself outside a child) in a fresh process whose NVLVTROOT is that
// folder, and checks what the child left there.
#pragma once

#include "dkTestSupport.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <ostream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace dklogtest {

namespace fs = std::filesystem;

// Set in the child's environment; a child half runs only where it is set.
inline bool inChild() { return std::getenv("DKTEST_LOG_CHILD") != nullptr; }

// <root>/vtgmt/nvlvtconfig.properties names <root> as the working folder (ending in a backslash,
// as the toolkit writes it), and the log configuration beside it holds config. Gives the
// configuration's path.
inline fs::path layout(const fs::path& root, const std::string& config) {
    fs::create_directories(root / "vtgmt" / "connectors");
    dktest::writeFile(root / "vtgmt" / "nvlvtconfig.properties",
                      "# toolkit\nNVLVTWorkingDirectory = " + root.string() + "\\\n");
    const fs::path file = root / "vtgmt" / "connectors" / "vtxlogconfig.properties";
    dktest::writeFile(file, config);
    return file;
}

// "$ROOT" in text replaced by the case folder.
inline std::string withRoot(std::string text, const fs::path& root) {
    for (auto at = text.find("$ROOT"); at != std::string::npos; at = text.find("$ROOT", at))
        text.replace(at, 5, root.string());
    return text;
}

// What a child that ended normally left: its folder, process id, and standard output and error.
struct Child {
    fs::path root;
    long pid = 0;
    std::string out, err;

    // What the child printed as NAME=value on a line of its own ("" when it did not).
    std::string printed(const std::string& name) const {
        const std::string text = "\n" + out;
        auto at = text.find("\n" + name + "=");
        if (at == std::string::npos) return "";
        at += name.size() + 2;
        return text.substr(at, text.find('\n', at) - at);
    }
    // The log's error handler reports on standard error, one per line.
    std::vector<std::string> reports() const {
        std::istringstream in(err);
        std::vector<std::string> found;
        for (std::string line; std::getline(in, line);)
            if (line.rfind("dk log: ", 0) == 0) found.push_back(line);
        return found;
    }
    // The one report there must be ("" when there are more or none, a failure either way).
    std::string onlyReport() const {
        const std::vector<std::string> found = reports();
        EXPECT_EQ(1u, found.size()) << err;
        return found.size() == 1 ? found[0] : "";
    }
    std::string file(const std::string& name) const { return dktest::readFile(root / name); }
};

// One case: the child half to run (<suite>.<child>), the log configuration (null: none at all)
// and the environment, "$ROOT" standing for the case folder in both; what to set up in the folder
// before, and what to check after the child ended normally.
struct Case {
    const char* name;
    const char* child;
    const char* config;
    std::vector<std::pair<std::string, std::string>> env;
    std::function<void(const fs::path&)> prepare;
    std::function<void(const Child&)> check;
};

// GoogleTest names a failing case by this.
inline void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

// Runs a case of the child suite `suite` in a fresh folder. The child is killed after 60 seconds.
inline void run(const Case& c, const std::string& suite) {
    dktest::TempDir dir;
    if (c.prepare) c.prepare(dir.path());
    if (c.config) layout(dir.path(), withRoot(c.config, dir.path()));
    std::vector<std::string> env{"NVLVTROOT=" + dir.str(), "DKTEST_KEEP_NVLVTROOT=1", "DKTEST_LOG_CHILD=1"};
    for (const auto& kv : c.env) env.push_back(kv.first + "=" + withRoot(kv.second, dir.path()));
    const dktest::ChildOptions options{dir / "stdout.txt", dir / "stderr.txt", 60};
    const dktest::ChildRun r = dktest::runSelf(suite + "." + c.child, env, options);
    Child child{dir.path(), r.pid, dktest::readFile(options.output), dktest::readFile(options.errorOutput)};
    ASSERT_EQ(0, r.status) << r.error << child.out << child.err;
    if (c.check) c.check(child);
}

}  // namespace dklogtest
