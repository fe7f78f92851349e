// src/platform/os/PMessageCatalog.hpp
#pragma once
#include <string>

// Reads numbered texts from POSIX message catalogues (set 1). A name without a slash is looked
// for through NLSPATH, then in the library's data folder (PSystem::dataFolder: share/dk of the
// install, or the build tree's); a name with a slash is opened as given. A catalogue once found stays open for the life of the process.
// Never throws: a missing file or number gives a text that says so. Safe on any thread.
class PMessageCatalog {
public:
    // The text of number, or of alternate followed by " [ID = number]" when number is missing.
    static std::string text(unsigned long number, const char* messageFile, int alternate);
};
