// fuzz/PParseSQLString_fuzz.cpp
//
// Arbitrary statements through the SQL analyser (up to the first zero byte): the count statement
// is empty or starts with "SELECT count(*) " and asks the same again; the table list holds
// non-empty upper-case pieces, or the tokenizer's usage error 303. DKFUZZ_LOCALE selects a locale,
// for the double-byte paths.

#include "dkFuzzSupport.hpp"

#include <dk/DKException.hpp>
#include <dk/PParseSQLString.hpp>
#include <dk/dkCollection.hpp>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    dkFuzzInitWithLocale();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    PParseSQLString analyser(text.c_str());
    const DKString count = analyser.countSelectString();
    if (count.length() > 0 && std::strncmp(count.c_str(), "SELECT count(*) ", 16) != 0) std::abort();
    if (analyser.countSelectString() != count) std::abort();
    try {
        std::unique_ptr<dkCollection> tables(analyser.listTables());
        std::unique_ptr<dkIterator> it(tables->createIterator());
        while (it->more()) {
            std::unique_ptr<DKString> name(static_cast<DKString*>(it->next()->value()));
            if (name->length() == 0) std::abort();
            for (const char* p = name->c_str(); *p != '\0'; ++p) {
                if (*p >= 'a' && *p <= 'z') std::abort();
            }
        }
    } catch (DKUsageError& e) {
        if (e.errorId() != 303) std::abort();
    }
    PParseSQLString::unDoubleQuoteString(text.c_str());
    return 0;
}
