// src/platform/services/PDynamicLoader.cpp
//
// Loading of connector factory libraries and other plug-ins with dlopen. Connectors are installed
// beside libdkcommon.so, so a name the system loader does not find is tried in that folder too.
// A failure says which files were tried and why each failed, so a user can tell a missing file
// from a library whose own dependency is missing.

#include <dk/PDynamicLoader.hpp>

#include <dk/DKException.hpp>
#include <dk/PMessageText.hpp>
#include <dk/dkThrow.hpp>

#include "platform/os/PSystem.hpp"

#include <dlfcn.h>
#include <link.h>

#include <string>
#include <vector>

namespace {

constexpr const char* kSource = "platform/PDynamicLoader";

// A name with no folder and no ".so" in it stands for lib<name>.so.
std::string fileNameFor(const std::string& name) {
    if (name.find('/') == std::string::npos && name.find(".so") == std::string::npos) return "lib" + name + ".so";
    return name;
}

std::string lastError() {
    const char* e = dlerror();
    return e ? std::string(e) : std::string("unknown error");
}

// The path of the file behind a handle, or the name it was opened with.
std::string loadedPath(void* handle, const std::string& fallback) {
    struct link_map* map = nullptr;
    if (dlinfo(handle, RTLD_DI_LINKMAP, &map) == 0 && map != nullptr && map->l_name != nullptr && *map->l_name)
        return map->l_name;
    return fallback;
}

}  // namespace

PDynamicLoader::PDynamicLoader(const char* library) : library_(library), handle_(nullptr) {}

PDynamicLoader::PDynamicLoader(const PDynamicLoader& other)
    : library_(other.library_), handle_(nullptr) {
    if (other.handle_ != nullptr) {
        // The library is loaded already, so this only counts one more reference to it.
        handle_ = dlopen(other.path_.c_str(), RTLD_NOW);
        if (handle_ != nullptr) path_ = other.path_;
    }
}

PDynamicLoader& PDynamicLoader::operator=(const PDynamicLoader& other) {
    if (this == &other) return *this;
    void* handle = nullptr;
    if (other.handle_ != nullptr) handle = dlopen(other.path_.c_str(), RTLD_NOW);
    // The reference this loader held is left in place, as when a loader is destroyed.
    library_ = other.library_;
    handle_ = handle;
    path_ = handle ? other.path_ : DKString();
    return *this;
}

PDynamicLoader::~PDynamicLoader() = default;

void PDynamicLoader::open() {
    if (handle_ != nullptr) return;
    const std::string name = library_.str();
    const std::string file = fileNameFor(name);
    std::vector<std::string> reasons;
    std::string searched;

    if (!file.empty()) {
        dlerror();
        handle_ = dlopen(file.c_str(), RTLD_NOW);
        if (handle_ == nullptr) reasons.push_back(lastError());
        if (file.find('/') == std::string::npos) {
            searched = "the system loader's path";
            const DKString folder = libraryFolder();
            if (handle_ == nullptr && folder.length() > 0) {
                const std::string beside = folder.str() + "/" + file;
                searched += ", " + folder.str();
                dlerror();
                handle_ = dlopen(beside.c_str(), RTLD_NOW);
                if (handle_ == nullptr) reasons.push_back(lastError());
            }
        } else {
            searched = "none (a path is loaded as given)";
        }
    } else {
        reasons.push_back("no library name");
    }

    if (handle_ == nullptr) {
        std::string detail = " [" + name + "] (";
        for (std::size_t i = 0; i < reasons.size(); ++i) detail += (i ? "; " : "") + reasons[i];
        if (!searched.empty()) detail += "; folders searched: " + searched;
        detail += ")";
        dkThrowText<DKSystemError>(PClsEnv::portalMsg(301) + DKString(detail), 301, kSource, "PDynamicLoader::open");
    }
    path_ = DKString(loadedPath(handle_, file));
}

void* PDynamicLoader::getProcAddress(const char* name) {
    const std::string function = name ? name : "";
    std::string reason;
    void* address = nullptr;
    if (handle_ == nullptr) {
        reason = "the library is not open";
    } else if (function.empty()) {
        reason = "no function name";
    } else {
        dlerror();
        address = dlsym(handle_, function.c_str());
        if (address == nullptr) reason = lastError();
    }
    if (address == nullptr)
        dkThrowText<DKSystemError>(
            PClsEnv::portalMsg(428) + DKString(function + " [" + library_.str() + "] (" + reason + ")"), 428,
            kSource, "PDynamicLoader::getProcAddress");
    return address;
}

void PDynamicLoader::close() {
    if (handle_ == nullptr) return;
    dlclose(handle_);
    handle_ = nullptr;
    path_ = DKString();
}

DKString PDynamicLoader::library() const { return library_; }

DKString PDynamicLoader::path() const { return path_; }

DKString PDynamicLoader::libraryFolder() { return DKString(PSystem::libraryFolder()); }

DKString PDynamicLoader::dataFolder() { return DKString(PSystem::dataFolder()); }
