// fuzz/DKPid_fuzz.cpp
//
// Arbitrary text as a pid string: it parses or throws usage error 303, and a pid that parses
// writes a pid string that parses back to the same names and id strings, and writes itself again
// unchanged.

#include "dkFuzzSupport.hpp"

#include <dk/DKException.hpp>
#include <dk/DKPid.hpp>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

bool sameFields(const DKPid& a, const DKPid& b) {
    if (a.getDatastoreType() != b.getDatastoreType() || a.getDatastoreName() != b.getDatastoreName() ||
        a.getObjectType() != b.getObjectType() || a.getIdStringCount() != b.getIdStringCount())
        return false;
    for (long i = 0; i < a.getIdStringCount(); ++i)
        if (a.getIdString(i) != b.getIdString(i)) return false;
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    dkFuzzInit();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    try {
        DKPid pid(text.c_str());
        if (pid.getIdStringCount() < 0) std::abort();
        const DKString form = pid.pidString();
        DKPid back(form.c_str());
        if (!sameFields(pid, back)) std::abort();
        if (back.pidString() != form) std::abort();
        DKPidXDO xdo(form.c_str());
        if (!sameFields(pid, xdo) || xdo.isSet() != pid.isSet()) std::abort();
    } catch (DKUsageError& e) {
        if (e.errorId() != 303) std::abort();
    }
    return 0;
}
