// src/platform/os/PMessageCatalog.cpp
//
// Message texts by number from a POSIX message catalogue (set 1, one line per number). Every
// error of the library takes its text from here (through PMessageText), so this file never
// throws: when the catalogue or a number is missing, the text itself says what went wrong. A
// catalogue is opened on first use and kept open for the life of the process (catgets is
// thread-safe), instead of being loaded and unloaded for every message.

#include "platform/os/PMessageCatalog.hpp"

#include "platform/os/PSystem.hpp"

#include <nl_types.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <string>

namespace {

constexpr std::size_t kMaxText = 512;   // the longest text a catalogue message may give
constexpr int kSet = 1;

// Open catalogues by the name callers pass. Never destroyed: texts are wanted until the very end
// of the process, also from destructors of static objects.
struct CatalogTable {
    std::mutex lock;
    std::map<std::string, nl_catd> open;
};

CatalogTable& catalogs() {
    static CatalogTable* table = new CatalogTable;
    return *table;
}

// Opens the catalogue by the lookup order of the library; on failure returns (nl_catd)-1 and
// leaves the error number of the last attempt in err.
nl_catd openCatalog(const std::string& name, int& err) {
    err = 0;
    auto attempt = [&err](const std::string& path) {
        errno = 0;
        nl_catd cat = catopen(path.c_str(), NL_CAT_LOCALE);
        if (cat == reinterpret_cast<nl_catd>(-1)) err = errno != 0 ? errno : ENOENT;
        return cat;
    };
    if (name.find('/') != std::string::npos) return attempt(name);

    nl_catd cat = reinterpret_cast<nl_catd>(-1);
    const char* nlspath = std::getenv("NLSPATH");
    if (nlspath != nullptr && *nlspath != '\0') {
        cat = attempt(name);
        if (cat != reinterpret_cast<nl_catd>(-1)) return cat;
    }
    const std::string folder = PSystem::dataFolder();
    if (!folder.empty()) cat = attempt(folder + "/" + name);
    return cat;
}

// The catalogue for a name, opened once; failures are not remembered so that a catalogue that
// appears later is still found.
nl_catd catalogFor(const std::string& name, int& err) {
    CatalogTable& table = catalogs();
    std::lock_guard<std::mutex> guard(table.lock);
    auto found = table.open.find(name);
    if (found != table.open.end()) {
        err = 0;
        return found->second;
    }
    nl_catd cat = openCatalog(name, err);
    if (cat != reinterpret_cast<nl_catd>(-1)) table.open.emplace(name, cat);
    return cat;
}

// The text of one number, cut to the longest message and without trailing line ends; false when
// the catalogue has no such number (err then holds the reason).
bool lookUp(nl_catd cat, long number, std::string& out, int& err) {
    if (number < 0 || number > INT_MAX) {
        err = ENOMSG;
        return false;
    }
    errno = 0;
    const char* text = catgets(cat, kSet, static_cast<int>(number), nullptr);
    if (text == nullptr) {
        err = errno != 0 ? errno : ENOMSG;
        return false;
    }
    out.assign(text, strnlen(text, kMaxText));
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
    return true;
}

}  // namespace

std::string PMessageCatalog::text(unsigned long number, const char* messageFile, int alternate) {
    const std::string num = std::to_string(number);
    if (messageFile == nullptr || *messageFile == '\0') return "Message file  load error. [MessageNumber = " + num + "]";
    int err = 0;
    nl_catd cat = catalogFor(messageFile, err);
    if (cat == reinterpret_cast<nl_catd>(-1))
        return std::string("Message file ") + messageFile + " load error. [MessageNumber = " + num +
               ", system error RC = " + std::to_string(err) + "]";
    std::string text;
    if (number <= static_cast<unsigned long>(INT_MAX) && lookUp(cat, static_cast<long>(number), text, err)) return text;
    if (number > static_cast<unsigned long>(INT_MAX)) err = ENOMSG;
    int altErr = 0;
    if (lookUp(cat, alternate, text, altErr)) return text + " [ID = " + num + "]";
    return "Message text not found. [MessageNumber = " + num + ", system error RC = " + std::to_string(err) + "]";
}
