// include/dk/PDynamicLoader.hpp
#pragma once
#include <dk/DKString.hpp>
#include <dk/dkExport.hpp>

// Loads one shared library by name and finds its functions. A bare name N (no slash, no ".so")
// means libN.so; a name without a slash is looked for on the system loader's path and then in the
// folder of libdkcommon.so; a name with a slash is loaded as given.
//
// Each open loader holds one reference to its library, and only close() gives it back: a
// destroyed or overwritten loader leaves the library loaded, so code and objects the library
// made stay valid. A copy of an open loader takes a reference of its own (so each close() is
// matched by one load and nothing is unloaded twice); a copy of a closed loader is closed.
// One loader is used by one thread at a time.
class DK_API PDynamicLoader {
public:
    explicit PDynamicLoader(const char* library);
    PDynamicLoader(const PDynamicLoader& other);
    PDynamicLoader& operator=(const PDynamicLoader& other);
    virtual ~PDynamicLoader();

    // Loads the library (nothing happens when it is loaded already). DKSystemError 301 when it
    // cannot be loaded: the text names the library, the loader's reasons and the folders searched.
    void open();
    // The address of a function; DKSystemError 428 when the library is not open or lacks it.
    void* getProcAddress(const char* name);
    // Gives this loader's reference back; nothing happens when it is not open.
    void close();
    DKString library() const;

    int isOpen() const { return handle_ != nullptr; }
    DKString path() const;   // the file that was loaded, empty while not open

    // The folder that holds libdkcommon.so, without a trailing slash (empty when unknown).
    static DKString libraryFolder();
    // The folder of the library's data files (message catalogue, MIME table), found from the
    // library's folder: share/dk of the install the library lies in, or the build tree's
    // share/dk when it runs from a build. Empty when the library's folder is unknown.
    static DKString dataFolder();

private:
    DKString library_;
    void* handle_;
    DKString path_;
};
