// A module apart from the library that throws through dkThrow, as a connector does. Each kind
// throws a different class; the line of every throw is published for the test to compare.

#include <dk/DKQueryException.hpp>
#include <dk/dkThrow.hpp>

namespace {
constexpr const char* kSource = "dk/test/dkThrowHelper";
unsigned long lastLine = 0;
}  // namespace

extern "C" __attribute__((visibility("default"))) unsigned long dkThrowHelperLine() { return lastLine; }

// kind 1: DKUsageError (message 303), 2: DKInvalidParameterException (392),
// 3: DKDataObjectNotFound from a server (376), 4: DKQueryException with its own text (303).
extern "C" __attribute__((visibility("default"))) void dkThrowHelperThrow(int kind) {
    switch (kind) {
    case 1:
        lastLine = __LINE__ + 1;
        dkThrow<DKUsageError>(303, kSource, "dkThrowHelper::usage", DKString(" helper-usage"));
    case 2:
        lastLine = __LINE__ + 1;
        dkThrow<DKInvalidParameterException>(392, kSource, "dkThrowHelper::parameter", DKString(" 7"));
    case 3:
        lastLine = __LINE__ + 1;
        dkThrowServer<DKDataObjectNotFound>(376, kSource, "dkThrowHelper::server", DKString(), "02000", 100);
    default:
        lastLine = __LINE__ + 1;
        dkThrowText<DKQueryException>(DKString("helper query text"), 303, kSource, "dkThrowHelper::query");
    }
}
