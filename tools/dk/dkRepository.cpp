// tools/dk/dkRepository.cpp
//
// The datastore of one run, taken from a connection pool: the pool loads the connector's factory
// library by its bare name (beside libdkcommon.so) and makes the datastore with the limits of
// this run as its configuration string. A file is a SQLite repository, a postgresql:// URI a
// PostgreSQL one; each connector is given only the settings it knows. Also the naming of items
// on the command line.

#include "dkRepository.hpp"
#include "dkCli.hpp"

#include <dk/DKDDO.hpp>
#include <dk/DKException.hpp>
#include <dk/PRepositoryAdmin.hpp>
#include <dk/PRepositoryContent.hpp>
#include <dk/PRepositoryTemplates.hpp>
#include <dk/PRepositoryMaintenance.hpp>
#include <dk/dkCollection.hpp>
#include <dk/dkDatastore.hpp>
#include <dk/dkDatastoreDef.hpp>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <memory>
#include <stdexcept>

namespace dkcli {

namespace {

// The pool's datastore type and the connector's factory library.
struct Connector {
    const char* type;
    const char* library;
};
constexpr Connector kFileConnector{"SQLITE", "dkdssqlite"};
constexpr Connector kServerConnector{"PG", "dkdspg"};

// The connect string: both connectors know create=1 and readonly=1 (a read-only session there).
std::string connectStringFor(const OpenMode& mode) { return mode.create ? "create=1" : mode.readOnly ? "readonly=1" : ""; }

// The configuration string: the memory limit is SQLite's own; the server keeps its memory itself.
std::string configurationFor(const OpenMode& mode, bool onServer) {
    std::string config = "query_timeout=" + std::to_string(mode.queryTimeoutMs);
    if (!onServer) config += ";heap_limit=" + std::to_string(mode.heapLimitBytes);
    return config;
}

void checkFile(const std::string& file, const OpenMode& mode) {
    std::error_code ec;
    const bool exists = std::filesystem::exists(file, ec);
    // The state of the repository, not the command line, is wrong here: exit code 2.
    if (mode.create && exists) throw std::runtime_error("the repository " + file + " exists already");
    if (!mode.create && !exists) throw std::runtime_error("no repository " + file + " (dk init makes one)");
}

bool isEntityName(const std::string& s) {
    if (s.empty() || !(std::isalpha(static_cast<unsigned char>(s[0])) || s[0] == '_')) return false;
    for (char c : s)
        if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '_')) return false;
    return true;
}

// The first extension of ds that is a T, among the names the connector lists: each connector
// names its extensions its own way, the interfaces are shared.
template <class T>
T* extensionOf(dkDatastore& ds) {
    long count = 0;
    std::unique_ptr<DKString[]> names(ds.listExtensionNames(count));
    for (long i = 0; i < count; ++i)
        if (auto* found = dynamic_cast<T*>(ds.getExtension(names[i].c_str()))) return found;
    return nullptr;
}

template <class T>
T& keptExtension(dkDatastore& ds, const char* what) {
    T* found = extensionOf<T>(ds);
    if (found == nullptr)
        throw std::runtime_error(std::string("the ") + ds.datastoreType().c_str() + " connector keeps no " + what);
    return *found;
}

bool isRowId(const std::string& s) {
    return !s.empty() && s.size() < 19 && std::all_of(s.begin(), s.end(), [](unsigned char c) { return std::isdigit(c); });
}

}  // namespace

bool isServerName(const std::string& name) {
    return name.rfind("postgresql://", 0) == 0 || name.rfind("postgres://", 0) == 0;
}

Repository::Repository(const std::string& file, const std::string& user, const std::string& password,
                       const OpenMode& mode)
    : file_(file), mode_(mode), onServer_(isServerName(file)) {
    if (!onServer_) checkFile(file, mode);
    const Connector& connector = onServer_ ? kServerConnector : kFileConnector;
    pool_ = std::make_unique<DKDatastorePool>(connector.type, connector.library);
    pool_->setDatastoreName(file.c_str());
    pool_->setConnectString(connectStringFor(mode).c_str());
    pool_->setConfigurationString(configurationFor(mode, onServer_).c_str());
    ds_ = pool_->getConnection(user.c_str(), password.c_str());
}

// The pool disconnects and deletes the datastore it handed out.
Repository::~Repository() = default;

PRepositoryContent& Repository::content() { return keptExtension<PRepositoryContent>(*ds_, "content parts"); }

PRepositoryAdmin& Repository::admin() { return keptExtension<PRepositoryAdmin>(*ds_, "users, groups or ACLs"); }

PRepositoryMaintenance& Repository::maintenance() {
    return keptExtension<PRepositoryMaintenance>(*ds_, "integrity check or backup: its server keeps the repository");
}

PRepositoryTemplates& Repository::templates() { return keptExtension<PRepositoryTemplates>(*ds_, "search templates"); }

PRepositoryMaintenance* Repository::maintenanceIfKept() { return extensionOf<PRepositoryMaintenance>(*ds_); }

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
    if (!isEntityName(entity) || !isRowId(id))
        throw UsageError("expected ENTITY:ID (document:12) or a pid string, got '" + text + "'");
    return itemOf(entity, id);
}

std::unique_ptr<DKDDO> Repository::itemOf(const std::string& entity, const std::string& id) {
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
