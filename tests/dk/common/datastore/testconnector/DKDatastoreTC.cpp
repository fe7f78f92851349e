// A connector built apart from the library as a real shared library, the way connectors are:
// hidden visibility, a factory pair the pool looks up by name, exceptions thrown through dkThrow.
// dkDatastore_test loads it with PDynamicLoader and reaches its overrides through the base
// class's slots. It keeps the objects it was given in memory; adding one twice is refused.
// DKDatastorePool_test makes its datastores through the pool: option 3 scripts the next answer
// of validateConnection, the password "unconnected" leaves a datastore unconnected, and the
// exported counters tell how many datastores live and how many connects were made.

#include <dk/DKException.hpp>
#include <dk/dkDataObject.hpp>
#include <dk/dkDatastore.hpp>
#include <dk/dkThrow.hpp>

#include <atomic>
#include <cstring>
#include <set>

namespace {

std::atomic<long> liveCount{0};
std::atomic<long> connectCount{0};

constexpr const char* kSource = "dk/test/DKDatastoreTC";

class DKDatastoreTC : public dkDatastore {
public:
    using dkDatastore::addObject;

    explicit DKDatastoreTC(const char* config) : dkDatastore("TC", ""), config_(config) { ++liveCount; }
    ~DKDatastoreTC() override { --liveCount; }

    void connect(const char* datastoreName, const char* userId, const char* password,
                 const char*) override {
        if (password == nullptr || std::strcmp(password, "wrong") == 0)
            dkThrowServer<DKLogonFailure>(303, kSource, "DKDatastoreTC::connect", DKString(" logon refused"),
                                          "28000", -30082);
        ++connectCount;
        if (std::strcmp(password, "unconnected") == 0) return;
        setDatastoreName(datastoreName);
        setUserName(userId);
        connected_ = 1;
    }
    void disconnect() override { connected_ = 0; }
    int isConnected() override { return connected_; }
    // A scripted answer is given once; without one: 0 while connected, else 2.
    short validateConnection() override {
        const short scripted = scripted_;
        scripted_ = -1;
        return scripted >= 0 ? scripted : connected_ ? 0 : 2;
    }
    void setOption(long option, DKAny& value) override {
        if (option != 3) dkThrow<DKUsageError>(392, kSource, "DKDatastoreTC::setOption", DKString(option));
        scripted_ = static_cast<short>(static_cast<long>(value));
    }

    // Option 1: how many objects were added; option 2: the configuration string.
    void getOption(long option, DKAny& value) override {
        if (option == 1) value = static_cast<long>(added_.size());
        else if (option == 2) value = config_;
        else dkThrow<DKUsageError>(392, kSource, "DKDatastoreTC::getOption", DKString(option));
    }

    void addObject(dkDataObject* object) override {
        if (!connected_) dkThrow<DKDatastoreError>(310, kSource, "DKDatastoreTC::addObject");
        if (!added_.insert(object).second)
            dkThrowServer<DKDataObjectAlreadyExists>(303, kSource, "DKDatastoreTC::addObject",
                                                     DKString(" duplicate"), "23505", -803);
    }

    DKString* listEntityNames(long& count) override {
        count = 2;
        DKString* names = new DKString[2];
        names[0] = "Letters";
        names[1] = "Memos";
        return names;
    }

private:
    DKString config_;
    std::set<dkDataObject*> added_;
    int connected_ = 0;
    short scripted_ = -1;
};

dkDatastore* make(const char* className, const char* config) {
    if (className == nullptr || std::strcmp(className, "DKDatastoreTC") != 0) return nullptr;
    return new DKDatastoreTC(config);
}

}  // namespace

extern "C" __attribute__((visibility("default"))) dkDatastore* createObject(const char* className) {
    return make(className, "");
}

extern "C" __attribute__((visibility("default"))) dkDatastore* createObjectWithConfig(const char* className,
                                                                                      const char* config) {
    return make(className, config);
}

extern "C" __attribute__((visibility("default"))) long liveDatastores() { return liveCount.load(); }

extern "C" __attribute__((visibility("default"))) long connectsMade() { return connectCount.load(); }
