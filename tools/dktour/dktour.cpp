// tools/dktour/dktour.cpp
//
// A short tour of the library for a new user, run by `make run`: strings with their 1-based
// positions, an exception thrown and caught with its location and catalogue text, a traced line,
// and where the log went. The log root is a folder of the build tree, never the caller's folder.

#include <dk/dk.hpp>
#include "dkLogRoot.hpp"

#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>

namespace {

void strings() {
    std::cout << "== Strings\n";
    DKString s("document folder part");
    std::cout << "  text            : " << s << "\n";
    std::cout << "  length          : " << s.length() << "\n";
    std::cout << "  indexOf(\"folder\"): " << s.indexOf(DKString("folder"), 1) << "  (positions count from 1)\n";
    std::cout << "  subString(10, 6): " << s.subString(10, 6) << "\n";
    DKString u(s);
    u.upperCase();
    std::cout << "  upperCase copy  : " << u << "  (the original stays: " << s << ")\n";
    DKString n = DKString("item ") + DKString(42L) + " of " + DKString(100UL);
    std::cout << "  built from parts: " << n << "\n";
}

void exceptions() {
    std::cout << "\n== An exception, thrown and caught\n";
    try {
        dkThrow<DKUsageError>(341, "tools/dktour", "dktour::exceptions", DKString("dkDatastore::connect"));
    } catch (DKException& e) {
        std::cout << "  caught          : " << e.name() << " (id " << e.exceptionId() << ", message "
                  << e.errorId() << ")\n";
        std::cout << "  text            : " << e.text(0) << "\n";
        std::cout << "  report          :\n" << e.toString();
    }
}

}  // namespace

int main() {
    std::string root = std::getenv("DKTOUR_ROOT") ? std::getenv("DKTOUR_ROOT") : DKTOUR_ROOT;
    auto logPath = dktools::prepareLogRoot(root);

    std::cout << "dk common library tour\n\n";
    strings();
    exceptions();

    dkLog* log = DKLogAccessor::getInstance();
    log->forcedLog(20000, "dktour: the tour wrote this line with forcedLog");

    std::cout << "\n== The log\n";
    std::cout << "  configuration   : " << root << "/vtgmt/connectors/vtxlogconfig.properties\n";
    std::cout << "  log file        : " << logPath.string() << "\n";
    std::cout << "  its last lines  :\n";
    std::ifstream in(logPath);
    std::string line, tail[8];
    size_t n = 0;
    while (std::getline(in, line)) tail[n++ % 8] = line;
    for (size_t i = n > 8 ? n - 8 : 0; i < n; ++i) std::cout << "    " << tail[i % 8] << "\n";
    return 0;
}
