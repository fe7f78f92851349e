// tests/support/dkTestSupport.hpp
#pragma once
#include <dk/DKAny.hpp>
#include <dk/DKException.hpp>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

// Helpers shared by every suite: a private temporary folder per test and the folder the shared
// main gave the whole run (NVLVTROOT points there, so the log never lands in the source tree),
// child runs of the suite itself, locales built for a test, and checks of thrown exceptions.
namespace dktest {

// A fresh folder under the run's temporary root, removed with everything in it at destruction.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::string str() const { return path_.string(); }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

// The run's temporary root, made by the shared main before any library call.
const std::filesystem::path& runRoot();

// Reads a whole file into a string (empty when it cannot be read).
std::string readFile(const std::filesystem::path& p);

// Writes text to a file, replacing it.
void writeFile(const std::filesystem::path& p, const std::string& text);

// ---------------------------------------------------------------------------------------------
// Child runs. What is read once per process (the log configuration, LOCPATH, a catalogue that
// stays open) is tested by running this same binary again (posix_spawn of /proc/self/exe, never
// fork, so no lock of a running thread is copied) with a gtest filter and an environment.

struct ChildOptions {
    // Where standard output goes (created or truncated); empty: this process's.
    std::filesystem::path output;
    // Where standard error goes; empty: the same place as standard output.
    std::filesystem::path errorOutput;
    int timeoutSeconds = 0;   // killed (status -1) after this long; 0 waits for ever
};

// status: the exit code; 128 + the signal that ended it; -1: not started or timed out. error:
// why it could not be started.
struct ChildRun {
    bool started = false;
    int status = -1;
    long pid = 0;
    std::string error;
};

// Runs this test binary with --gtest_filter=gtestFilter (disabled tests included, so that a
// child half kept out of ordinary runs can be named). env holds "NAME=value" entries that
// replace or add to the inherited environment.
ChildRun runSelf(const std::string& gtestFilter, const std::vector<std::string>& env,
                 const ChildOptions& options = {});

// Runs the disabled test `test` of this binary in a child with env added; true when that one test
// ran and passed. The child's standard output and error land in `output`.
bool childPasses(const std::string& test, const std::vector<std::string>& env, std::string& output);

// ---------------------------------------------------------------------------------------------
// Locales built with localedef. A named locale ("zh_CN.GBK", "de_DE.UTF-8": source locale and
// character map) is built once per process into a folder under the run's root; that folder is
// what LOCPATH must name in a child that uses it.
struct BuiltLocale {
    std::filesystem::path locpath;   // empty when the locale could not be built
    bool toolMissing = false;        // localedef is not installed
    std::string why;                 // what went wrong, when locpath is empty
};
const BuiltLocale& buildLocale(const std::string& name);

// Assigns x to itself through a reference, as aliasing code does by accident; an assignment that
// frees before it copies leaves a dangling block for AddressSanitizer to find.
template <class T>
void assignToItself(T& x) {
    T& same = x;
    x = same;
}

// One step's result as text, so that a run of steps is checked as one braced list (which runs
// them in order): a number, a string, or an element's text ("-" for none).
inline std::string str(long v) { return std::to_string(v); }
inline std::string str(const DKString& v) { return v.str(); }
inline std::string str(const DKAny* e) { return e == nullptr ? "-" : e->toString().str(); }
using Texts = std::vector<std::string>;

// Whether part occurs anywhere in text.
inline bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// A T that counts how many of its kind are alive, so that a suite sees exactly when an owner
// deletes what it holds. It is made with T's own constructor arguments.
template <class T>
struct Counted : T {
    static inline int alive = 0;
    template <class... A>
    explicit Counted(A&&... a) : T(std::forward<A>(a)...) { ++alive; }
    ~Counted() override { --alive; }
};

// ---------------------------------------------------------------------------------------------
// Thrown exceptions: one helper, failureOf, and the checks built on it.

constexpr long kNothingThrown = -1;   // the id of a Failure when f returned
constexpr long kOtherThrown = -2;     // the id of a Failure when f threw something else than an E

// What f threw as an E: the message number, the newest text as thrown (the insert substitution
// leaves one blank at its end), the class name and the oldest location.
// source and function are those of the oldest location, "" when there is none.
struct Failure {
    long id = kNothingThrown;
    std::string text, name, source, function;
    unsigned long locations = 0;
    bool thrown() const { return id != kNothingThrown; }
};

template <class E = DKExceptionBase, class F>
Failure failureOf(F&& f) {
    Failure r;
    try {
        f();
    } catch (const E& e) {
        r.id = e.errorMessageId();
        r.text = e.what();
        r.name = e.name();
        r.locations = e.locationCount();
        if (const DKExceptionLocation* at = e.locationAtIndex(0)) {
            r.source = at->fileName();
            r.function = at->functionName();
        }
    } catch (...) {
        r.id = kOtherThrown;
    }
    return r;
}

// The message number of the E that f throws; kNothingThrown or kOtherThrown otherwise.
template <class E = DKException, class F>
long errorOf(F&& f) {
    return failureOf<E>(std::forward<F>(f)).id;
}

// The message number of the DKUsageError that f throws.
template <class F>
long usageError(F&& f) {
    return errorOf<DKUsageError>(std::forward<F>(f));
}

// The text an exception of the library carries for catalogue message id: the catalogue text,
// the detail the throw site added, and the one blank of the insert substitution.
std::string msg(long id, const std::string& detail = "");

// A thrown text without the one blank the insert substitution adds (whose absence is a failure).
inline std::string withoutInsertBlank(std::string text) {
    EXPECT_FALSE(text.empty() || text.back() != ' ') << text;
    if (!text.empty() && text.back() == ' ') text.pop_back();
    return text;
}

// The message number and text (without the insert blank) of the DKSystemError f throws, or a
// failure.
template <class F>
std::pair<long, std::string> systemError(F f) {
    const Failure r = failureOf<DKSystemError>(f);
    EXPECT_GE(r.id, 0) << "no DKSystemError was thrown (-1: nothing at all, -2: another exception)";
    return {r.id < 0 ? 0 : r.id, r.id < 0 ? "" : withoutInsertBlank(r.text)};
}

}  // namespace dktest
