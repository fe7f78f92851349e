// include/dk/DKDatastorePool.hpp
#pragma once
#include <dk/DKString.hpp>
#include <dk/DKTrace.hpp>
#include <dk/PDynamicLoader.hpp>
#include <dk/dkExport.hpp>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class dkDatastore;
class DKNVPair;
class DKSystemError;
class DKDatastorePool;

// A datastore handed out under a session id. The pool makes a new one for every session
// getConnection and never deletes it: the caller does. The session does not own its datastore,
// which stays with the pool. One thread.
class DK_API DKDatastoreSession {
public:
    DKDatastoreSession(dkDatastore* datastore, long id) : datastore_(datastore), id_(id) {}
    virtual ~DKDatastoreSession();
    long getId() const { return id_; }
    void setId(long id) { id_ = id; }
    dkDatastore* getDatastore() const { return datastore_; }
    void setDatastore(dkDatastore* datastore) { datastore_ = datastore; }

private:
    dkDatastore* datastore_;
    long id_;
};

// One free connection of a free group: the datastore (not owned) and whether an idle sweep has
// seen it free already. Guarded by the pool's mutex.
class DK_API PDSourceTimed {
public:
    explicit PDSourceTimed(dkDatastore* datastore) : datastore_(datastore) {}
    virtual ~PDSourceTimed();
    dkDatastore* datastore() const { return datastore_; }
    int seenIdle() const { return seenIdle_; }
    void setSeenIdle(int flag) { seenIdle_ = flag; }

private:
    dkDatastore* datastore_;
    int seenIdle_ = 0;
};

// One free session connection: a free connection that keeps the id of the session it came from.
class DK_API PDSourceIdTimed : public PDSourceTimed {
public:
    PDSourceIdTimed(dkDatastore* datastore, long sessionId) : PDSourceTimed(datastore), sessionId_(sessionId) {}
    ~PDSourceIdTimed() override;
    long sessionId() const { return sessionId_; }

private:
    long sessionId_;
};

// A free group: every free connection of one user id and password, oldest first. The password
// is kept scrambled. The group owns its entries, not their datastores. Guarded by the pool's mutex.
class DK_API PDSourceFreePool {
public:
    PDSourceFreePool(const DKString& userId, const DKString& scrambledPassword)
        : userId_(userId), password_(scrambledPassword) {}
    virtual ~PDSourceFreePool();
    PDSourceFreePool(const PDSourceFreePool&) = delete;
    PDSourceFreePool& operator=(const PDSourceFreePool&) = delete;

    const DKString& userId() const { return userId_; }
    const DKString& scrambledPassword() const { return password_; }
    std::vector<std::unique_ptr<PDSourceTimed>>& entries() { return entries_; }

private:
    DKString userId_;
    DKString password_;
    std::vector<std::unique_ptr<PDSourceTimed>> entries_;
};

// One handed-out connection: the datastore (not owned), its user id and scrambled password, so
// that a returned connection joins the free group it belongs to. Guarded by the pool's mutex.
class DK_API PDSourceUsedPool {
public:
    PDSourceUsedPool(dkDatastore* datastore, const DKString& userId, const DKString& scrambledPassword)
        : datastore_(datastore), userId_(userId), password_(scrambledPassword) {}
    virtual ~PDSourceUsedPool();
    dkDatastore* datastore() const { return datastore_; }
    const DKString& userId() const { return userId_; }
    const DKString& scrambledPassword() const { return password_; }

private:
    dkDatastore* datastore_;
    DKString userId_;
    DKString password_;
};

// The factory functions of one connector library, found through PDynamicLoader: createObject and
// createObjectWithConfig. The library stays loaded for the life of the process, since the
// datastores it made run its code. Its functions may be called from any thread.
class DK_API PDSFactory {
public:
    // Loads the library and finds both functions: DKSystemError 301 or 428 when it cannot.
    explicit PDSFactory(const char* library);
    virtual ~PDSFactory();
    PDSFactory(const PDSFactory&) = delete;
    PDSFactory& operator=(const PDSFactory&) = delete;

    // A new datastore of the class, made with the configuration string when it is not empty;
    // null when the library makes no such class.
    dkDatastore* create(const char* className, const char* configuration) const;

private:
    using CreateObject = dkDatastore* (*)(const char*);
    using CreateObjectWithConfig = dkDatastore* (*)(const char*, const char*);
    CreateObject createObject_ = nullptr;
    CreateObjectWithConfig createObjectWithConfig_ = nullptr;
    PDynamicLoader loader_;
};

// The idle sweep of one pool: a thread that waits one interval, then asks the pool to sweep,
// until stop(). The wait is on a condition variable, so stop() ends it at once instead of after
// the current interval. Writes its rounds at trace level through its own log manager
// ("PTimeoutThread"). Owned by its pool; start and stop from one thread.
class DK_API PTimeoutThread {
public:
    explicit PTimeoutThread(DKDatastorePool* pool);
    virtual ~PTimeoutThread();   // stops the thread
    PTimeoutThread(const PTimeoutThread&) = delete;
    PTimeoutThread& operator=(const PTimeoutThread&) = delete;

    // Starts the thread. When it cannot be started, error() keeps a DKSystemError with the text
    // " create thread fails" and the pool works without idle sweeps.
    void start();
    // Ends the wait at once, then joins the thread (after a sweep that is under way).
    void stop();
    const DKSystemError* error() const { return error_.get(); }

private:
    void run();

    dkLog* log_;
    bool traceOn_;   // the log manager's trace level, taken once when the thread object is made
    std::unique_ptr<DKSystemError> error_;
    std::thread thread_;
    DKDatastorePool* pool_;
    bool running_ = false;
    std::mutex mutex_;
    std::condition_variable wake_;
};

// A pool of connected datastores of one type, made through the connector's factory library
// ("DKDatastore" + the type) and kept in free groups by user id and password for reuse.
// The pool owns every datastore it made, handed out or not; a caller gives each one back
// (returnConnection) or has it closed (removeConnection). Destroying the pool disconnects and
// deletes all of them, the ones still handed out too. Every public operation may be called from
// any thread: one recursive mutex guards the lists and counters, and connect,
// validateConnection, disconnect and delete run outside it on entries taken out of the lists,
// after a slot was reserved, so the maximum holds while they run.
class DK_API DKDatastorePool {
public:
    DKDatastorePool(const char* datastoreType, const char* factoryLibrary);
    DKDatastorePool(const char* datastoreType, const char* factoryLibrary, const char* third);
    DKDatastorePool(const DKDatastorePool&) = delete;
    DKDatastorePool& operator=(const DKDatastorePool&) = delete;

    virtual ~DKDatastorePool();
    virtual DKString getDatastoreName();
    virtual void setDatastoreName(const char* name);
    virtual DKString getConnectString();
    virtual void setConnectString(const char* connectString);
    virtual DKString getConfigurationString();
    virtual void setConfigurationString(const char* configuration);
    virtual int getMaxPoolSize();
    virtual void setMaxPoolSize(int size);   // 0: no maximum; negative: 303
    virtual int getMinPoolSize();
    virtual void setMinPoolSize(int size);   // negative: 303
    virtual int getTimeOut();
    virtual void setTimeOut(int minutes);    // ignored unless above 0; starts the sweep once
    // A new session object, owned by the caller; null when nothing matched.
    virtual DKDatastoreSession* getConnection(const char* userId, const char* password, long sessionId);
    virtual dkDatastore* getConnection(const char* userId, const char* password);
    virtual void returnConnection(DKDatastoreSession* session);
    virtual void returnConnection(dkDatastore* datastore);
    virtual void removeConnection(DKDatastoreSession* session);
    virtual void removeConnection(dkDatastore* datastore);
    virtual void initConnections(const char* userId, const char* password, int count);
    virtual void clearConnections();
    virtual DKString datastoreType();
    virtual void setNextLevel(DKNVPair* nextLevel);
    virtual void setValidate(int validate);
    virtual int getValidate();

    // The free groups and the free session groups, as the idle sweep walks them. The lists are
    // the pool's own, not copies: a caller holds lockPool() for as long as it reads or changes
    // them, since the sweep and every public operation take the same lock. Whoever adds or
    // removes entries by hand sets the matching counter under that lock too, so that the size
    // the maximum and the minimum are checked against stays right. The lock is recursive: the
    // getters and setters below may be called while it is held.
    std::unique_lock<std::recursive_mutex> lockPool();
    std::vector<std::unique_ptr<PDSourceFreePool>>& getFreePool();
    std::vector<std::unique_ptr<PDSourceFreePool>>& getFreeIdPool();

    int getFreeConnections();
    void setFreeConnections(int count);
    int getFreeIdConnections();
    void setFreeIdConnections(int count);
    int getUsedConnections();

    // One idle sweep now, as the timeout thread runs it (nothing while the timeout is 0). A free
    // connection closes on the second sweep that finds it free, unless the pool is at or below
    // its minimum size.
    void sweepIdleConnections();
    // The time between sweeps in milliseconds; 0 (the default) means the timeout in minutes, or
    // 10 seconds while there is none. Read before every wait.
    void setSweepInterval(long milliseconds);
    long getSweepInterval();

protected:
    // The id the next new session counts on from (for a subclass that keeps ids across runs).
    long getLastSessionId();
    void setLastSessionId(long id);

private:
    struct Plan;
    struct Settings;
    using Groups = std::vector<std::unique_ptr<PDSourceFreePool>>;

    int sizeLocked() const;
    bool belowMaximumLocked() const;
    void checkUnchangedLocked(bool same, const char* function) const;
    long nextSessionIdLocked();
    Settings settingsLocked(const char* function);
    void reconnectSettingsLocked(Settings& settings) const;
    dkDatastore* createConnection(const Settings& settings, const char* userId, const char* password);
    std::unique_ptr<PDSourceTimed> takeFreeLocked(Groups& groups, const char* userId, const char* password,
                                                  long sessionId);
    void putFreeLocked(Groups& groups, std::unique_ptr<PDSourceTimed> entry, const DKString& userId,
                       const DKString& scrambledPassword, const char* function);
    std::unique_ptr<PDSourceUsedPool> takeUsedLocked(dkDatastore* datastore);
    Plan planPlain(const char* userId, const char* password);
    Plan planSession(const char* userId, const char* password, long sessionId);
    dkDatastore* handOut(Plan& plan, const char* userId, const char* password, long* sessionId);
    static void close(dkDatastore* datastore);
    static void drain(Groups& groups, std::vector<dkDatastore*>& out);

    int maxPoolSize_ = 0;
    int minPoolSize_ = 0;
    int timeOut_ = 0;
    long lastSessionId_ = 0;
    DKString datastoreName_;
    DKString connectString_;
    DKString configurationString_;
    DKString third_;
    DKString factoryLibrary_;
    DKString datastoreType_;
    int usedConnections_ = 0;
    int freeConnections_ = 0;
    int freeIdConnections_ = 0;
    int reserved_ = 0;   // slots of connections being made, validated or placed outside the mutex
    DKNVPair* nextLevel_ = nullptr;
    int validate_ = 0;
    long sweepInterval_ = 0;
    Groups freePool_;
    Groups freeIdPool_;
    std::vector<std::unique_ptr<PDSourceUsedPool>> usedPool_;
    std::unique_ptr<PDSFactory> factory_;
    std::unique_ptr<PTimeoutThread> timeoutThread_;
    void traceLine(const DKString& text) const;

    DKTrace trace_{"DKDatastorePool"};   // read-only after construction
    bool traceOn_ = trace_.log()->isEnabled_trace();
    std::recursive_mutex mutex_;
};
