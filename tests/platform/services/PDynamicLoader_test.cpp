// tests/platform/services/PDynamicLoader_test.cpp
//
// Loading real shared libraries made by the test build: the bare-name lookup, the failure texts
// for a missing file, a missing dependency and a missing function, and that copies hold
// references of their own so that no library is unloaded twice or too early.

#include <dk/PDynamicLoader.hpp>
#include <dk/PMessageText.hpp>

#include "dkTestSupport.hpp"

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

using IntFunction = int (*)();

using dktest::systemError;

// Whether the process has the library loaded (without loading it).
bool isLoaded(const std::string& path) {
    void* h = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (h == nullptr) return false;
    dlclose(h);
    return true;
}

}  // namespace

TEST(PDynamicLoaderLookup, BareNamesPathsAndTheFolderBesideTheLibrary) {
    // A bare name is not on the system loader's path here, only beside libdkcommon.so.
    PDynamicLoader beside("dkplat_beside");
    beside.open();
    beside.open();   // already open: nothing changes
    EXPECT_EQ(fs::canonical(DKPLAT_BESIDE), fs::canonical(beside.path().str()));
    EXPECT_EQ(fs::canonical(DKPLAT_BESIDE).parent_path().string(), PDynamicLoader::libraryFolder().str());
    EXPECT_EQ(7, reinterpret_cast<IntFunction>(beside.getProcAddress("dkplat_beside_value"))());
    beside.close();
    beside.close();  // already closed: nothing happens
    EXPECT_EQ(DKString(), beside.path());
}

// 301 names what was looked for and where, and tells a missing file from a missing dependency;
// 428 names the function and the library, and leaves the loader usable.
TEST(PDynamicLoaderFailures, TheTextTellsWhatIsMissing) {
    dktest::TempDir dir;
    const fs::path copy = dir / "libdkplat_probe.so", text = dir / "libtext.so";
    fs::copy_file(DKPLAT_PROBE, copy);   // alone, without the library it needs
    dktest::writeFile(text, "not an ELF file\n");
    const std::string folder = PDynamicLoader::libraryFolder().str();
    const struct { const char* library; std::vector<std::string> parts; } rows[] = {
        {"dkplat_nowhere", {PClsEnv::portalMsg(301).str() + " [dkplat_nowhere] (", "libdkplat_nowhere.so: cannot open shared object file",
                            folder + "/libdkplat_nowhere.so", "folders searched: the system loader's path, " + folder}},
        {copy.c_str(), {" [" + copy.string() + "]", "libdkplat_dep.so: cannot open shared object file"}},
        {text.c_str(), {text.string()}}, {nullptr, {}},
    };
    for (const auto& r : rows) {
        PDynamicLoader loader(r.library);
        const auto err = systemError([&] { loader.open(); });
        EXPECT_EQ(301, err.first);
        for (const std::string& part : r.parts) EXPECT_TRUE(dktest::contains(err.second, part)) << err.second;
        EXPECT_FALSE(loader.isOpen());
    }

    PDynamicLoader probe(DKPLAT_PROBE);
    auto err = systemError([&] { probe.getProcAddress("dkplat_probe_value"); });
    EXPECT_TRUE(err.first == 428 && dktest::contains(err.second, "dkplat_probe_value") && dktest::contains(err.second, "not open")) << err.second;
    probe.open();
    err = systemError([&] { probe.getProcAddress("createObject"); });
    EXPECT_EQ(PClsEnv::portalMsg(428).str() + "createObject [" DKPLAT_PROBE "]", err.second.substr(0, err.second.find(" (")));
    EXPECT_EQ(428, systemError([&] { probe.getProcAddress(nullptr); }).first);
    // A path is loaded as given, and its dependency is found through the library's own folder.
    EXPECT_EQ(42, reinterpret_cast<IntFunction>(probe.getProcAddress("dkplat_probe_value"))());
    probe.close();
}

TEST(PDynamicLoaderOwnership, EveryCopyHoldsItsOwnReference) {
    ASSERT_FALSE(isLoaded(DKPLAT_PROBE)) << "an earlier test left the probe loaded";
    {
        PDynamicLoader original(DKPLAT_PROBE), assigned("something else");
        original.open();
        PDynamicLoader copy(original);
        original.close();
        // The copy's reference keeps the library and its code in place.
        EXPECT_TRUE(isLoaded(DKPLAT_PROBE));
        EXPECT_EQ(42, reinterpret_cast<IntFunction>(copy.getProcAddress("dkplat_probe_value"))());
        assigned = copy;
        EXPECT_EQ(DKString(DKPLAT_PROBE), assigned.library());
        copy.close();
        dktest::assignToItself(assigned);   // keeps its reference
        EXPECT_TRUE(isLoaded(DKPLAT_PROBE) && assigned.isOpen());
        assigned.close();
        // A copy of a closed loader is closed and takes nothing.
        EXPECT_FALSE(PDynamicLoader(original).isOpen());
    }
    // Every load was matched by exactly one close: the library and its dependency are gone.
    EXPECT_FALSE(isLoaded(DKPLAT_PROBE) || isLoaded(DKPLAT_DEP));

    // Dropping an open loader leaves its library loaded for the objects it may have made.
    PDynamicLoader(DKPLAT_PROBE).open();
    EXPECT_TRUE(isLoaded(DKPLAT_PROBE));
}
