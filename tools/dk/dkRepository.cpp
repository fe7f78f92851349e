// tools/dk/dkRepository.cpp
//
// Loading the SQLite connector and connecting it, the way the connection pool does: the
// factory library is found by its bare name (beside libdkcommon.so), and its createObject entry
// makes the datastore. Also the reading of item names and attribute values from the command line.

#include "dkRepository.hpp"
#include "dkCli.hpp"

#include <dk/DKDDO.hpp>
#include <dk/DKDate.hpp>
#include <dk/DKDecimal.hpp>
#include <dk/DKException.hpp>
#include <dk/dkCollection.hpp>
#include <dk/dkDatastore.hpp>
#include <dk/dkDatastoreDef.hpp>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <filesystem>
#include <memory>
#include <stdexcept>

namespace dkcli {

namespace {

constexpr const char* kConnectorLibrary = "dkdssqlite";
constexpr const char* kDatastoreClass = "DKDatastoreSQLITE";

using CreateObject = dkDatastore* (*)(const char* className);

bool isEntityName(const std::string& s) {
    if (s.empty() || !(std::isalpha(static_cast<unsigned char>(s[0])) || s[0] == '_')) return false;
    for (char c : s)
        if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '_')) return false;
    return true;
}

template <class T>
bool readNumber(const std::string& text, T& out) {
    const char* end = text.data() + text.size();
    auto [p, ec] = std::from_chars(text.data(), end, out);
    return ec == std::errc() && p == end;
}

}  // namespace

Repository::Repository(const std::string& file, const std::string& user, const std::string& password, bool create)
    : file_(file), loader_(kConnectorLibrary) {
    std::error_code ec;
    const bool exists = std::filesystem::exists(file, ec);
    // The state of the repository, not the command line, is wrong here: exit code 2.
    if (create && exists) throw std::runtime_error("the repository " + file + " exists already");
    if (!create && !exists) throw std::runtime_error("no repository " + file + " (dk init makes one)");

    loader_.open();
    auto createObject = reinterpret_cast<CreateObject>(loader_.getProcAddress("createObject"));
    ds_ = createObject(kDatastoreClass);
    if (!ds_) throw UsageError(std::string("the connector library makes no ") + kDatastoreClass);
    try {
        ds_->connect(file.c_str(), user.c_str(), password.c_str(), create ? "create=1" : "");
    } catch (...) {
        delete ds_;
        ds_ = nullptr;
        throw;
    }
}

Repository::~Repository() {
    if (!ds_) return;
    try {
        if (ds_->isConnected()) ds_->disconnect();
    } catch (DKException&) {
        // Nothing is left to save at this point; the log has the reason.
    }
    delete ds_;
}

std::unique_ptr<DKDDO> Repository::itemOf(const std::string& text) {
    // A pid string begins with the length of its one element.
    if (!text.empty() && std::isdigit(static_cast<unsigned char>(text[0])) && text.find(' ') != std::string::npos) {
        std::unique_ptr<DKPid> pid;
        try {
            pid = std::make_unique<DKPid>(text.c_str());
        } catch (DKException&) {
            throw UsageError("not a pid string: " + text);
        }
        return std::make_unique<DKDDO>(ds_, *pid, static_cast<unsigned short>(10));
    }
    const size_t colon = text.find(':');
    const std::string entity = text.substr(0, colon == std::string::npos ? 0 : colon);
    const std::string id = colon == std::string::npos ? "" : text.substr(colon + 1);
    if (!isEntityName(entity) || id.empty() ||
        !std::all_of(id.begin(), id.end(), [](unsigned char c) { return std::isdigit(c); }))
        throw UsageError("expected ENTITY:ID (document:12) or a pid string, got '" + text + "'");
    // The connector's own data object carries the pid's datastore type and repository name.
    std::unique_ptr<DKDDO> item(ds_->createDDO(entity.c_str(), 0));
    DKPid pid(item->getPid());
    pid.setPrimaryId(id.c_str());
    item->setPid(pid);
    return item;
}

std::string Repository::shortName(const DKPid& pid) {
    return std::string(pid.getObjectType().c_str()) + ":" + pid.getPrimaryId().c_str();
}

std::string textOf(const DKAny& value) {
    if (value.isNull()) return "";
    return value.toString().c_str();
}

DKAny valueOfType(unsigned short type, const std::string& text, const std::string& name) {
    auto bad = [&](const char* kind) {
        return UsageError("the value of " + name + " must be " + kind + ", not '" + text + "'", "update");
    };
    try {
        switch (type) {
        case DKAny::tc_short: {
            short v;
            if (!readNumber(text, v)) throw bad("a whole number");
            return DKAny(v);
        }
        case DKAny::tc_ushort: {
            unsigned short v;
            if (!readNumber(text, v)) throw bad("a whole number");
            return DKAny(v);
        }
        case DKAny::tc_long: {
            long v;
            if (!readNumber(text, v)) throw bad("a whole number");
            return DKAny(v);
        }
        case DKAny::tc_ulong: {
            unsigned long v;
            if (!readNumber(text, v)) throw bad("a whole number");
            return DKAny(v);
        }
        case DKAny::tc_double: {
            double v;
            if (!readNumber(text, v)) throw bad("a number");
            return DKAny(v);
        }
        case DKAny::tc_decimal: return DKAny(DKDecimal(text.c_str()));
        case DKAny::tc_date: return DKAny(DKDate::fromString(text.c_str()));
        case DKAny::tc_time: return DKAny(DKTime::fromString(text.c_str()));
        case DKAny::tc_timestamp: return DKAny(DKTimestamp::fromString(text.c_str()));
        default: return DKAny(DKString(text.c_str()));
        }
    } catch (DKException&) {
        throw bad(type == DKAny::tc_decimal ? "a decimal number"
                  : type == DKAny::tc_date  ? "a date (2024-05-01)"
                  : type == DKAny::tc_time  ? "a time (12.30.00)"
                                            : "a timestamp (2024-05-01-12.30.00)");
    }
}

const char* typeName(unsigned short type) {
    switch (type) {
    case DKAny::tc_short: return "short";
    case DKAny::tc_ushort: return "unsigned short";
    case DKAny::tc_long: return "long";
    case DKAny::tc_ulong: return "unsigned long";
    case DKAny::tc_double: return "double";
    case DKAny::tc_string: return "string";
    case DKAny::tc_decimal: return "decimal";
    case DKAny::tc_date: return "date";
    case DKAny::tc_time: return "time";
    case DKAny::tc_timestamp: return "timestamp";
    case DKAny::tc_bytearray: return "bytes";
    default: return "other";
    }
}

std::vector<std::pair<std::string, unsigned short>> attributesOf(dkDatastore& ds, const std::string& entity) {
    // The collection owns the definitions it holds; the iterator must go before it.
    std::unique_ptr<dkCollection> attrs(ds.listEntityAttrs(entity.c_str()));
    std::vector<std::pair<std::string, unsigned short>> result;
    if (!attrs) return result;
    std::unique_ptr<dkIterator> it(attrs->createIterator());
    while (it->more()) {
        DKAny* element = it->next();
        if (!element || element->typeCode() != DKAny::tc_voidptr) continue;
        auto* def = static_cast<dkAttrDef*>(static_cast<void*>(*element));
        if (def) result.emplace_back(def->getName().c_str(), def->getType());
    }
    return result;
}

}  // namespace dkcli
