// src/platform/os/PLeadByteTable.cpp
//
// The lead-byte table the SQL analyser and the tokenizers use to step over the second byte of a
// double-byte character. Tables are built per LC_CTYPE name under a lock and then only read; the
// published one is swapped with one atomic store, so a reader never sees a table half built.
// The caller's locale is read with uselocale/duplocale, which never races with setlocale.

#include <dk/PLeadByteTable.hpp>

#include <langinfo.h>
#include <locale.h>

#include <atomic>
#include <cstdlib>
#include <cwchar>
#include <map>
#include <memory>
#include <mutex>

namespace {

// Every table ever built, by locale name. Never destroyed: references handed out stay valid
// until the process ends, also in destructors of static objects.
struct TableStore {
    std::mutex lock;
    std::map<std::string, std::unique_ptr<PLeadByteTable>> byName;
};

TableStore& store() {
    static TableStore* s = new TableStore;
    return *s;
}

std::atomic<const PLeadByteTable*> published{nullptr};

// The calling thread's LC_CTYPE as a locale object the caller owns (freelocale), or null.
locale_t currentCtype() {
    locale_t cur = uselocale(static_cast<locale_t>(nullptr));
    return duplocale(cur);   // LC_GLOBAL_LOCALE is copied under the C library's setlocale lock
}

std::string ctypeName(locale_t loc) {
    const char* name = loc ? nl_langinfo_l(_NL_LOCALE_NAME(LC_CTYPE), loc) : nullptr;
    return name && *name ? std::string(name) : std::string("C");
}

}  // namespace

PLeadByteTable::PLeadByteTable(const std::string& name, void* locale) : name_(name), lead_{}, any_(0) {
    // Built on the calling thread with the locale in effect for this thread only.
    auto loc = static_cast<locale_t>(locale);
    if (loc == static_cast<locale_t>(nullptr)) return;   // no locale object: no lead bytes
    locale_t previous = uselocale(loc);
    if (MB_CUR_MAX == 2) {
        for (int b = 0; b < 256; ++b) {
            std::mbstate_t state{};
            char c = static_cast<char>(b);
            if (std::mbrlen(&c, 1, &state) == static_cast<std::size_t>(-2)) {
                lead_[b] = 1;
                any_ = 1;
            }
        }
    }
    uselocale(previous);
}

PLeadByteTable::~PLeadByteTable() = default;

const PLeadByteTable& PLeadByteTable::refresh() {
    locale_t loc = currentCtype();
    const std::string name = ctypeName(loc);
    const PLeadByteTable* table = published.load(std::memory_order_acquire);
    if (table == nullptr || table->name_ != name) {
        TableStore& s = store();
        std::lock_guard<std::mutex> guard(s.lock);
        auto& slot = s.byName[name];
        if (!slot) slot.reset(new PLeadByteTable(name, loc));
        table = slot.get();
        published.store(table, std::memory_order_release);
    }
    if (loc != static_cast<locale_t>(nullptr)) freelocale(loc);
    return *table;
}

const PLeadByteTable& PLeadByteTable::current() {
    const PLeadByteTable* table = published.load(std::memory_order_acquire);
    return table != nullptr ? *table : refresh();
}

int isdbcs(char c) { return PLeadByteTable::current().isLeadByte(static_cast<unsigned char>(c)); }
