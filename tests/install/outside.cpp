// tests/install/outside.cpp
//
// A program outside the source tree: built against an installed prefix only, it throws and catches
// a usage error and checks that the text came from the installed message catalogue.

#include <dk/dk.hpp>

#include <cstdio>
#include <cstring>

int main() {
    DKString op("dkDatastore::connect");
    try {
        dkThrow<DKUsageError>(341, "outside", "main", op);
    } catch (DKUsageError& e) {
        const char* text = e.text(0);
        std::printf("caught %s %lu: %s\n", e.name(), static_cast<unsigned long>(e.errorId()), text ? text : "(null)");
        if (!text || std::strstr(text, "Message file") || std::strstr(text, "not found")) return 2;
        if (!std::strstr(text, "dkDatastore::connect")) return 3;
        return static_cast<unsigned long>(e.errorId()) == 341 ? 0 : 4;
    }
    return 1;
}
