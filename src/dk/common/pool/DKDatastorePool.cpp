// src/dk/common/pool/DKDatastorePool.cpp
//
// The datastore connection pool: connected datastores made through a connector's factory
// library, kept in free groups by user id and password, handed out plainly or under session
// ids, checked with validateConnection when asked, and closed by an idle sweep. One mutex guards
// the lists and counters; every call into a datastore (connect, validateConnection, disconnect,
// delete) happens outside it on an entry already taken out of the lists, while a reserved slot
// keeps it counted in the pool's size, so the maximum holds and no datastore has two callers.

#include <dk/DKDatastorePool.hpp>

#include <dk/DKException.hpp>
#include <dk/PEnDeCrypt.hpp>
#include <dk/dkDatastore.hpp>
#include <dk/dkThrow.hpp>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdint>
#include <exception>
#include <string>
#include <system_error>

namespace {

constexpr const char* kSource = "dk/common/DKDatastorePool";
constexpr const char* kSessionForm = "DKDatastorePool::getConnection(..sessionId)";
constexpr long kNoSessionId = -1;   // takeFreeLocked: any entry of the group

// The catalogue text followed directly by the operation name, as every pool error reads.
template <class E>
[[noreturn]] void poolError(long msgId, const char* function) {
    dkThrow<E>(msgId, kSource, function, DKString(function));
}

// An address in decimal, as the entry and exit lines write it.
DKString addressText(const void* p) { return DKString(std::to_string(reinterpret_cast<std::uintptr_t>(p)).c_str()); }

}  // namespace

DKDatastoreSession::~DKDatastoreSession() = default;
PDSourceTimed::~PDSourceTimed() = default;
PDSourceIdTimed::~PDSourceIdTimed() = default;
PDSourceFreePool::~PDSourceFreePool() = default;
PDSourceUsedPool::~PDSourceUsedPool() = default;

// ---------------------------------------------------------------------------------------------
// PDSFactory

PDSFactory::PDSFactory(const char* library) : loader_(library) {
    loader_.open();
    createObject_ = reinterpret_cast<CreateObject>(loader_.getProcAddress("createObject"));
    createObjectWithConfig_ = reinterpret_cast<CreateObjectWithConfig>(loader_.getProcAddress("createObjectWithConfig"));
}

// The loader is not closed: datastores the library made may outlive the factory.
PDSFactory::~PDSFactory() = default;

dkDatastore* PDSFactory::create(const char* className, const char* configuration) const {
    if (configuration == nullptr || *configuration == '\0') return createObject_(className);
    return createObjectWithConfig_(className, configuration);
}

// ---------------------------------------------------------------------------------------------
// PTimeoutThread

PTimeoutThread::PTimeoutThread(DKDatastorePool* pool)
    : log_(DKLogAccessor::getInstance("PTimeoutThread")), traceOn_(log_->isEnabled_trace()), pool_(pool) {}

PTimeoutThread::~PTimeoutThread() { stop(); }

void PTimeoutThread::start() {
    if (thread_.joinable()) return;
    running_ = true;
    try {
        thread_ = std::thread(&PTimeoutThread::run, this);
    } catch (const std::system_error&) {
        running_ = false;
        error_ = std::make_unique<DKSystemError>(" create thread fails", 0UL, DKSeverityError, 0L, "");
        log_->error(*error_);
    }
}

void PTimeoutThread::stop() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        running_ = false;
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
}

void PTimeoutThread::run() {
    for (;;) {
        const long interval = pool_->getSweepInterval();
        if (traceOn_)
            log_->trace((" PTimeoutThread::ThreadMemberFunc() sleep ms=" + std::to_string(interval)).c_str());
        {
            std::unique_lock<std::mutex> lock(mutex_);
            if (wake_.wait_for(lock, std::chrono::milliseconds(interval), [this] { return !running_; })) return;
        }
        try {
            pool_->sweepIdleConnections();
        } catch (const DKExceptionBase&) {
            // The error is in the log already; the next round tries again.
        }
    }
}

// ---------------------------------------------------------------------------------------------
// DKDatastorePool: what one request needs from the pool's state, taken under the mutex.

struct DKDatastorePool::Settings {
    DKString datastoreName;
    DKString connectString;
    DKString configuration;
    DKString className;
    DKString library;
    const PDSFactory* factory = nullptr;
};

// What a getConnection does after it let go of the mutex: hand out a reused entry (validated
// first when asked), make a new connection, or hand out nothing. A plan with a step other than
// nothing holds one reserved slot.
struct DKDatastorePool::Plan {
    enum Step { nothing, reuse, create } step = nothing;
    std::unique_ptr<PDSourceTimed> entry;   // reuse: the entry taken out of its free group
    long keepId = 0;                        // a reused session entry keeps its id; 0 a new one
    bool validate = false;
    Settings settings;
};

DKDatastorePool::DKDatastorePool(const char* datastoreType, const char* factoryLibrary)
    : DKDatastorePool(datastoreType, factoryLibrary, "") {}

DKDatastorePool::DKDatastorePool(const char* datastoreType, const char* factoryLibrary, const char* third)
    : third_(third), factoryLibrary_(factoryLibrary), datastoreType_(datastoreType) {}

// The sweep is stopped before any entry goes, so it never works on a list being emptied. The
// datastores still handed out are closed too: a caller must not use them after this.
DKDatastorePool::~DKDatastorePool() {
    if (timeoutThread_) timeoutThread_->stop();
    std::vector<dkDatastore*> victims;
    {
        std::lock_guard<std::recursive_mutex> lock(mutex_);
        drain(freePool_, victims);
        drain(freeIdPool_, victims);
        for (auto& used : usedPool_) victims.push_back(used->datastore());
        usedPool_.clear();
    }
    for (dkDatastore* ds : victims) close(ds);
}

int DKDatastorePool::sizeLocked() const {
    return usedConnections_ + freeConnections_ + freeIdConnections_ + reserved_;
}

bool DKDatastorePool::belowMaximumLocked() const { return maxPoolSize_ == 0 || sizeLocked() < maxPoolSize_; }

void DKDatastorePool::checkUnchangedLocked(bool same, const char* function) const {
    if (!same && sizeLocked() != 0) poolError<DKUsageError>(552, function);
}

// The last id plus 1, and 1 after LONG_MAX (compared before adding, so nothing overflows).
long DKDatastorePool::nextSessionIdLocked() {
    lastSessionId_ = (lastSessionId_ < 0 || lastSessionId_ == LONG_MAX) ? 1 : lastSessionId_ + 1;
    return lastSessionId_;
}

void DKDatastorePool::close(dkDatastore* datastore) {
    try {
        if (datastore->isConnected()) datastore->disconnect();
    } catch (const DKExceptionBase&) {
        // A connection that cannot be closed cleanly is dropped all the same; the log has why.
    }
    delete datastore;
}

void DKDatastorePool::drain(Groups& groups, std::vector<dkDatastore*>& out) {
    for (auto& group : groups)
        for (auto& entry : group->entries()) out.push_back(entry->datastore());
    groups.clear();
}

// A trace-level line; the text is built by the caller only when traceOn_ is set.
void DKDatastorePool::traceLine(const DKString& text) const { trace_.log()->trace(text.c_str()); }

// ---------------------------------------------------------------------------------------------
// Settings

#define DK_POOL_STRING_SETTING(Get, Set, field, function)             \
    DKString DKDatastorePool::Get() {                                 \
        std::lock_guard<std::recursive_mutex> lock(mutex_);                     \
        return field;                                                 \
    }                                                                 \
    void DKDatastorePool::Set(const char* value) {                    \
        std::lock_guard<std::recursive_mutex> lock(mutex_);                     \
        checkUnchangedLocked(field == DKString(value), function);     \
        field = value;                                                \
    }

DK_POOL_STRING_SETTING(getDatastoreName, setDatastoreName, datastoreName_, "DKDatastorePool::setDatastoreName()")
DK_POOL_STRING_SETTING(getConnectString, setConnectString, connectString_, "DKDatastorePool::setConnectString()")
DK_POOL_STRING_SETTING(getConfigurationString, setConfigurationString, configurationString_,
                       "DKDatastorePool::setConfigurationString()")
#undef DK_POOL_STRING_SETTING

int DKDatastorePool::getMaxPoolSize() {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return maxPoolSize_;
}

void DKDatastorePool::setMaxPoolSize(int size) {
    if (size < 0) poolError<DKUsageError>(303, "DKDatastorePool::setMaxPoolSize()");
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    checkUnchangedLocked(size == maxPoolSize_, "DKDatastorePool::setMaxPoolSize()");
    maxPoolSize_ = size;
}

int DKDatastorePool::getMinPoolSize() {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return minPoolSize_;
}

void DKDatastorePool::setMinPoolSize(int size) {
    if (size < 0) poolError<DKUsageError>(303, "DKDatastorePool::setMinPoolSize()");
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    checkUnchangedLocked(size == minPoolSize_, "DKDatastorePool::setMinPoolSize()");
    minPoolSize_ = size;
}

int DKDatastorePool::getTimeOut() {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return timeOut_;
}

void DKDatastorePool::setTimeOut(int minutes) {
    if (minutes <= 0) return;
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    timeOut_ = minutes;
    if (!timeoutThread_) {
        timeoutThread_ = std::make_unique<PTimeoutThread>(this);
        timeoutThread_->start();
    }
}

DKString DKDatastorePool::datastoreType() {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return datastoreType_;
}

void DKDatastorePool::setNextLevel(DKNVPair* nextLevel) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    if (nextLevel_ != nullptr && nextLevel_ != nextLevel) poolError<DKUsageError>(552, "DKDatastorePool::setNextLevel()");
    nextLevel_ = nextLevel;
}

void DKDatastorePool::setValidate(int validate) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    validate_ = validate;
}

int DKDatastorePool::getValidate() {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return validate_;
}

int DKDatastorePool::getFreeConnections() {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return freeConnections_;
}

void DKDatastorePool::setFreeConnections(int count) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    freeConnections_ = count;
}

int DKDatastorePool::getFreeIdConnections() {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return freeIdConnections_;
}

void DKDatastorePool::setFreeIdConnections(int count) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    freeIdConnections_ = count;
}

std::unique_lock<std::recursive_mutex> DKDatastorePool::lockPool() { return std::unique_lock<std::recursive_mutex>(mutex_); }

std::vector<std::unique_ptr<PDSourceFreePool>>& DKDatastorePool::getFreePool() { return freePool_; }

std::vector<std::unique_ptr<PDSourceFreePool>>& DKDatastorePool::getFreeIdPool() { return freeIdPool_; }

int DKDatastorePool::getUsedConnections() {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return usedConnections_;
}

void DKDatastorePool::setSweepInterval(long milliseconds) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    sweepInterval_ = milliseconds > 0 ? milliseconds : 0;
}

long DKDatastorePool::getSweepInterval() {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    if (sweepInterval_ > 0) return sweepInterval_;
    return timeOut_ > 0 ? timeOut_ * 60000L : 10000L;
}

long DKDatastorePool::getLastSessionId() {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return lastSessionId_;
}

void DKDatastorePool::setLastSessionId(long id) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    lastSessionId_ = id;
}

// ---------------------------------------------------------------------------------------------
// The free and used lists (the mutex held)

// The first entry of the first group of the user whose password unscrambles to the given one
// (with a session id: the first entry with that id), taken out of its group and counted off.
std::unique_ptr<PDSourceTimed> DKDatastorePool::takeFreeLocked(Groups& groups, const char* userId,
                                                               const char* password, long sessionId) {
    const DKString user(userId);
    const DKString plain(password);
    for (auto group = groups.begin(); group != groups.end(); ++group) {
        if (!((*group)->userId() == user) || !(PEnDeCrypt::decrypt((*group)->scrambledPassword().c_str()) == plain))
            continue;
        auto& entries = (*group)->entries();
        auto found = std::find_if(entries.begin(), entries.end(), [sessionId](const auto& e) {
            return sessionId == kNoSessionId || static_cast<const PDSourceIdTimed&>(*e).sessionId() == sessionId;
        });
        if (found == entries.end()) continue;
        std::unique_ptr<PDSourceTimed> entry = std::move(*found);
        entries.erase(found);
        if (entries.empty()) groups.erase(group);
        --(&groups == &freePool_ ? freeConnections_ : freeIdConnections_);
        if (traceOn_)
            traceLine(DKString(&groups == &freePool_ ? "- DKDatastorePool::_getDSFromFreePool() _connectionInFreePool="
                                                      : "- DKDatastorePool::_getDSFromFreeIdPool() _connectionInFreeIdPool=") +
                      std::to_string(&groups == &freePool_ ? freeConnections_ : freeIdConnections_).c_str());
        return entry;
    }
    return nullptr;
}

// Joins the entry to the group of its user, or starts a group at the end. A group of the user
// with another password refuses it (464) and nothing changes.
void DKDatastorePool::putFreeLocked(Groups& groups, std::unique_ptr<PDSourceTimed> entry, const DKString& userId,
                                    const DKString& scrambledPassword, const char* function) {
    auto group = std::find_if(groups.begin(), groups.end(), [&](const auto& g) { return g->userId() == userId; });
    if (group != groups.end() && !((*group)->scrambledPassword() == scrambledPassword))
        poolError<DKUsageError>(464, function);
    if (group == groups.end()) {
        groups.push_back(std::make_unique<PDSourceFreePool>(userId, scrambledPassword));
        group = groups.end() - 1;
    }
    (*group)->entries().push_back(std::move(entry));
    ++(&groups == &freePool_ ? freeConnections_ : freeIdConnections_);
}

std::unique_ptr<PDSourceUsedPool> DKDatastorePool::takeUsedLocked(dkDatastore* datastore) {
    auto found = std::find_if(usedPool_.begin(), usedPool_.end(),
                              [datastore](const auto& u) { return u->datastore() == datastore; });
    if (found == usedPool_.end()) return nullptr;
    std::unique_ptr<PDSourceUsedPool> used = std::move(*found);
    usedPool_.erase(found);
    --usedConnections_;
    return used;
}

// What making a connection needs; 474 without a datastore name. The factory library is loaded
// on the first need and stays loaded.
DKDatastorePool::Settings DKDatastorePool::settingsLocked(const char* function) {
    if (datastoreName_.length() == 0) poolError<DKUsageError>(474, function);
    if (!factory_) factory_ = std::make_unique<PDSFactory>(factoryLibrary_.c_str());
    Settings s;
    s.datastoreName = datastoreName_;
    s.connectString = connectString_;
    s.configuration = configurationString_;
    s.className = DKString("DKDatastore") + datastoreType_;
    s.library = factoryLibrary_;
    s.factory = factory_.get();
    return s;
}

// What a reused connection needs when validation asks for it to be connected again.
void DKDatastorePool::reconnectSettingsLocked(Settings& s) const {
    s.datastoreName = datastoreName_;
    s.connectString = connectString_;
}

// ---------------------------------------------------------------------------------------------
// Making and handing out connections (the mutex not held)

dkDatastore* DKDatastorePool::createConnection(const Settings& s, const char* userId, const char* password) {
    constexpr const char* function = "DKDatastorePool::_createNewConnection()";
    dkDatastore* ds = s.factory->create(s.className.c_str(), s.configuration.c_str());
    if (ds == nullptr)
        dkThrow<DKUsageError>(303, kSource, function,
                              DKString(" ") + function + " " + s.className + " [" + s.library + "]");
    try {
        ds->connect(s.datastoreName.c_str(), userId, password, s.connectString.c_str());
    } catch (...) {
        delete ds;
        throw;
    }
    if (!ds->isConnected()) {
        delete ds;
        poolError<DKDatastoreError>(310, function);
    }
    return ds;
}

// Carries out a plan: the reused datastore is validated when asked, a new one made; then it goes
// into the used list. Null when validation found the reused one dead (it is deleted, and the
// caller plans again). The reserved slot is given back on every way out.
dkDatastore* DKDatastorePool::handOut(Plan& plan, const char* userId, const char* password, long* sessionId) {
    dkDatastore* ds = nullptr;
    DKString scrambled;
    try {
        if (plan.step == Plan::create) {
            ds = createConnection(plan.settings, userId, password);
        } else {
            ds = plan.entry->datastore();
            const short state = plan.validate ? ds->validateConnection() : 0;
            if (state == 1) {
                delete ds;
                ds = nullptr;
            } else if (state == 2) {
                ds->connect(plan.settings.datastoreName.c_str(), userId, password, plan.settings.connectString.c_str());
            }
        }
        if (ds) scrambled = PEnDeCrypt::encrypt(password);
    } catch (...) {
        if (ds) close(ds);
        std::lock_guard<std::recursive_mutex> lock(mutex_);
        --reserved_;
        throw;
    }
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    --reserved_;
    if (ds == nullptr) return nullptr;
    usedPool_.push_back(std::make_unique<PDSourceUsedPool>(ds, DKString(userId), scrambled));
    ++usedConnections_;
    if (sessionId) *sessionId = plan.keepId ? plan.keepId : nextSessionIdLocked();
    return ds;
}

DKDatastorePool::Plan DKDatastorePool::planPlain(const char* userId, const char* password) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    Plan plan;
    plan.validate = validate_ != 0;
    if (freeConnections_ > 0) plan.entry = takeFreeLocked(freePool_, userId, password, kNoSessionId);
    if (plan.entry) {
        plan.step = Plan::reuse;
        reconnectSettingsLocked(plan.settings);
    } else if (belowMaximumLocked()) {
        plan.step = Plan::create;
        plan.settings = settingsLocked("DKDatastorePool::_createNewConnection()");
    } else {
        poolError<DKUsageError>(553, plan.validate ? "DKDatastorePool::getConnectionValidated()"
                                                   : "DKDatastorePool::getConnection()");
    }
    ++reserved_;
    return plan;
}

// The session order: with an id of 1 or more, first the free session entry with that id, then
// any free connection (new id), then a new connection, then any free session entry (its own id).
// With an id of 0 or less, a new connection while below the maximum, else any free connection.
DKDatastorePool::Plan DKDatastorePool::planSession(const char* userId, const char* password, long sessionId) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    Plan plan;
    plan.validate = validate_ != 0;
    auto reuse = [&](Groups& groups, long id) {
        plan.entry = takeFreeLocked(groups, userId, password, id);
        if (!plan.entry) return false;
        plan.step = Plan::reuse;
        if (&groups == &freeIdPool_) plan.keepId = static_cast<PDSourceIdTimed&>(*plan.entry).sessionId();
        return true;
    };
    auto create = [&] {
        if (!belowMaximumLocked()) return false;
        plan.step = Plan::create;
        return true;
    };
    if (sessionId <= 0) {
        if (!create()) {
            if (freeConnections_ == 0) poolError<DKUsageError>(553, kSessionForm);
            reuse(freePool_, kNoSessionId);
        }
    } else if (!reuse(freeIdPool_, sessionId) && !reuse(freePool_, kNoSessionId) && !create()) {
        if (freeIdConnections_ == 0) poolError<DKUsageError>(553, kSessionForm);
        reuse(freeIdPool_, kNoSessionId);
    }
    if (plan.step == Plan::nothing) return plan;
    if (plan.step == Plan::create) plan.settings = settingsLocked("DKDatastorePool::_createNewConnection()");
    else reconnectSettingsLocked(plan.settings);
    ++reserved_;
    return plan;
}

dkDatastore* DKDatastorePool::getConnection(const char* userId, const char* password) {
    DKTraceScope scope(trace_, "DKDatastorePool::getConnection(no sId)", this);
    if (traceOn_) traceLine(DKString("+ DKDatastorePool::getConnection(no sId) with userId ") + userId);
    for (;;) {
        Plan plan = planPlain(userId, password);
        if (dkDatastore* ds = handOut(plan, userId, password, nullptr)) return ds;
    }
}

DKDatastoreSession* DKDatastorePool::getConnection(const char* userId, const char* password, long sessionId) {
    DKTraceScope scope(trace_, "DKDatastorePool::getConnection(sId)", this);
    if (traceOn_)
        traceLine(DKString("+ DKDatastorePool::getConnection(sId) with userId ") + userId + " sessionId " +
                  std::to_string(sessionId).c_str());
    for (;;) {
        Plan plan = planSession(userId, password, sessionId);
        if (plan.step == Plan::nothing) return nullptr;
        long id = 0;
        if (dkDatastore* ds = handOut(plan, userId, password, &id)) return new DKDatastoreSession(ds, id);
    }
}

void DKDatastorePool::returnConnection(dkDatastore* datastore) {
    DKTraceScope scope(trace_, "DKDatastorePool::returnConnection(ds)", this);
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    auto used = std::find_if(usedPool_.begin(), usedPool_.end(),
                             [datastore](const auto& u) { return u->datastore() == datastore; });
    if (used == usedPool_.end()) poolError<DKUsageError>(554, "DKDatastorePool::returnConnection()");
    putFreeLocked(freePool_, std::make_unique<PDSourceTimed>(datastore), (*used)->userId(),
                  (*used)->scrambledPassword(), "DKDatastorePool::_putDSToFreePoolNoCrypt()");
    takeUsedLocked(datastore);
}

void DKDatastorePool::returnConnection(DKDatastoreSession* session) {
    DKTraceScope scope(trace_, "DKDatastorePool::returnConnection(session)", this);
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    dkDatastore* datastore = session ? session->getDatastore() : nullptr;
    auto used = std::find_if(usedPool_.begin(), usedPool_.end(),
                             [datastore](const auto& u) { return u->datastore() == datastore; });
    if (datastore == nullptr || used == usedPool_.end())
        poolError<DKUsageError>(554, "DKDatastorePool::returnConnection()");
    putFreeLocked(freeIdPool_, std::make_unique<PDSourceIdTimed>(datastore, session->getId()), (*used)->userId(),
                  (*used)->scrambledPassword(), "DKDatastorePool::_putDSToFreePoolNoCrypt()");
    takeUsedLocked(datastore);
}

void DKDatastorePool::removeConnection(dkDatastore* datastore) {
    DKTraceScope scope(trace_, "DKDatastorePool::removeConnection", this);
    std::unique_ptr<PDSourceUsedPool> used;
    {
        std::lock_guard<std::recursive_mutex> lock(mutex_);
        used = takeUsedLocked(datastore);
    }
    if (used) close(datastore);
}

void DKDatastorePool::removeConnection(DKDatastoreSession* session) {
    if (session) removeConnection(session->getDatastore());
}

void DKDatastorePool::initConnections(const char* userId, const char* password, int count) {
    DKTraceScope scope(trace_, "DKDatastorePool::initConnections", this);
    const DKString user(userId);
    const DKString scrambled = PEnDeCrypt::encrypt(password);
    for (int i = 0; i < count; ++i) {
        Settings settings;
        {
            std::lock_guard<std::recursive_mutex> lock(mutex_);
            if (!belowMaximumLocked()) poolError<DKUsageError>(553, "DKDatastorePool::initConnections()");
            settings = settingsLocked("DKDatastorePool::_createNewConnection()");
            ++reserved_;
        }
        dkDatastore* ds = nullptr;
        std::exception_ptr refused;
        try {
            ds = createConnection(settings, userId, password);
        } catch (...) {
            std::lock_guard<std::recursive_mutex> lock(mutex_);
            --reserved_;
            throw;
        }
        {
            std::lock_guard<std::recursive_mutex> lock(mutex_);
            --reserved_;
            try {
                putFreeLocked(freePool_, std::make_unique<PDSourceTimed>(ds), user, scrambled,
                              "DKDatastorePool::_putDSToFreePool()");
            } catch (const DKExceptionBase&) {
                refused = std::current_exception();
            }
        }
        if (refused) {
            close(ds);
            std::rethrow_exception(refused);
        }
    }
}

void DKDatastorePool::clearConnections() {
    DKTraceScope scope(trace_, "DKDatastorePool::clearConnections", this);
    std::vector<dkDatastore*> victims;
    {
        std::lock_guard<std::recursive_mutex> lock(mutex_);
        if (usedConnections_ > 0 || reserved_ > 0) poolError<DKUsageError>(309, "DKDatastorePool::clearConnections()");
        drain(freePool_, victims);
        drain(freeIdPool_, victims);
        freeConnections_ = 0;
        freeIdConnections_ = 0;
        nextLevel_ = nullptr;
    }
    for (dkDatastore* ds : victims) close(ds);
}

// An entry closes on the second sweep that finds it free; the pool's size is counted again
// before each close, so the sweep stops closing at the minimum.
void DKDatastorePool::sweepIdleConnections() {
    DKTraceScope scope(trace_, "DKDatastorePool::sweepIdleConnections", this);
    std::vector<dkDatastore*> victims;
    {
        std::lock_guard<std::recursive_mutex> lock(mutex_);
        if (timeOut_ <= 0) return;
        for (Groups* groups : {&freePool_, &freeIdPool_}) {
            int& count = groups == &freePool_ ? freeConnections_ : freeIdConnections_;
            for (auto& group : *groups) {
                auto& entries = group->entries();
                for (auto entry = entries.begin(); entry != entries.end();) {
                    if ((*entry)->seenIdle() == 0 || sizeLocked() <= minPoolSize_) {
                        (*entry)->setSeenIdle(1);
                        ++entry;
                    } else {
                        if (traceOn_)
                            traceLine(DKString(groups == &freePool_ ? " PTimeoutThread::ThreadMemberFunc() about to discon/delete(freePool) ds="
                                                                    : " PTimeoutThread::ThreadMemberFunc() about to discon/delete(freeIdPool) ds=") +
                                      addressText((*entry)->datastore()));
                        victims.push_back((*entry)->datastore());
                        entry = entries.erase(entry);
                        --count;
                    }
                }
            }
            groups->erase(std::remove_if(groups->begin(), groups->end(), [](const auto& g) { return g->entries().empty(); }),
                          groups->end());
        }
    }
    for (dkDatastore* ds : victims) close(ds);
}
