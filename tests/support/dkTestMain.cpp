// tests/support/dkTestMain.cpp
//
// The one GoogleTest main of every suite. Before anything in the library can run it makes a
// temporary root for the run and points NVLVTROOT at it, so the log manager reads its
// configuration from there and writes its log there, never into the source tree. A suite that
// wants to keep the root for inspection runs with DKTEST_KEEP_ROOT set.

#include "dkTestSupport.hpp"
#include "dkLogRoot.hpp"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <system_error>

namespace fs = std::filesystem;

namespace {

fs::path makeUnique(const fs::path& parent, const std::string& stem) {
    std::string name = (parent / (stem + "-XXXXXX")).string();
    if (mkdtemp(name.data()) == nullptr)
        throw fs::filesystem_error("cannot create a temporary folder", name, std::error_code(errno, std::generic_category()));
    return name;
}

fs::path& rootSlot() {
    static fs::path root;
    return root;
}

}  // namespace

namespace dktest {

const fs::path& runRoot() { return rootSlot(); }

TempDir::TempDir() : path_(makeUnique(rootSlot().empty() ? fs::temp_directory_path() : rootSlot(), "t")) {}

TempDir::~TempDir() {
    std::error_code ec;
    // A test may have made a folder read-only; give the owner rights back before removing.
    for (auto it = fs::recursive_directory_iterator(path_, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec)) {
        fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    }
    fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(path_, ec);
}

std::string readFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void writeFile(const fs::path& p, const std::string& text) {
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out << text;
}

}  // namespace dktest

int main(int argc, char** argv) {
    // A child run of a suite (re-executed to test once-per-process behaviour) keeps the
    // NVLVTROOT its parent chose for it.
    const char* given = std::getenv("DKTEST_KEEP_NVLVTROOT");
    const bool child = given && *given;
    const char* root = std::getenv("NVLVTROOT");
    rootSlot() = child && root && *root ? fs::path(root) : makeUnique(fs::temp_directory_path(), "dktest");
    if (!child) dktools::prepareLogRoot(rootSlot());
    // Whatever a suite writes by a relative name lands in the run's root, not the caller's folder.
    fs::current_path(rootSlot());
    ::testing::InitGoogleTest(&argc, argv);
    int rc = RUN_ALL_TESTS();
    if (!child && std::getenv("DKTEST_KEEP_ROOT") == nullptr) {
        std::error_code ec;
        fs::remove_all(rootSlot(), ec);
    }
    return rc;
}
