// tests/dk/common/datastore/dkService_test.cpp
//
// Services and their registry (ids, ordering, duplicate and missing ids, lists by category, type
// and server, no ownership), the base service's rejections, and the extension records.

#include <dk/DKException.hpp>
#include <dk/DKThirdPartyServerDef.hpp>
#include <dk/dkExtension.hpp>
#include <dk/dkService.hpp>
#include <dk/dkStorageManageInfo.hpp>

#include "dkTestSupport.hpp"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

using dktest::msg;

namespace {

// A service with a category; counts its destructions so the registry's ownership shows.
class CategoryService : public dkService {
public:
    CategoryService(const char* category, const char* type, const char* name, int* deaths = nullptr)
        : dkService(type, name), category_(category), deaths_(deaths) {}
    ~CategoryService() override {
        if (deaths_ != nullptr) ++*deaths_;
    }
    DKString serviceCategory() const override { return category_; }

private:
    DKString category_;
    int* deaths_;
};

// count by reference: it is read after the list call has set it.
std::vector<std::string> ids(DKString* array, const long& count) {
    std::vector<std::string> out;
    for (long i = 0; i < count; ++i) out.push_back(array[i].c_str());
    delete[] array;
    return out;
}

class Annotation : public dkAnnotationExt {
public:
    Annotation() = default;
    Annotation(const Annotation& other) = default;
};

class EngineInfo : public dkSearchEngineInfo {
public:
    EngineInfo() = default;
    EngineInfo(const EngineInfo& other) = default;
};

}  // namespace

TEST(dkServiceIds, CategoryTypeAndNameThroughTheVirtualGetters) {
    dkService plain("TEXT", "srv1");
    EXPECT_EQ(DKString(":TEXT:srv1"), plain.serviceId());
    plain.setServiceName("srv2");
    plain.setUserName("bob");
    EXPECT_EQ(DKString(":TEXT:srv2"), plain.serviceId());
    EXPECT_EQ(DKString("bob"), plain.userName());
    CategoryService categorised("SEARCH", "TEXT", "srv1");
    EXPECT_EQ(DKString("SEARCH:TEXT:srv1"), categorised.serviceId());
    dkService unnamed(nullptr, nullptr);
    EXPECT_EQ(DKString("::"), unnamed.serviceId());
}

TEST(dkServiceIds, BaseServiceRejectsConnectionAndExtensions) {
    dkService s("T", "N");
    long count = 0;
    for (const std::function<void()>& call : std::vector<std::function<void()>>{
             [&] { s.connect("a", "b", "c", "d"); }, [&] { s.disconnect(); }, [&] { s.connection(); },
             [&] { s.getExtension("x"); }, [&] { s.addExtension("x", nullptr); }, [&] { s.removeExtension("x"); },
             [&] { s.listExtensionNames(count); }}) {
        const dktest::Failure f = dktest::failureOf<DKUsageError>(call);
        EXPECT_EQ(341, f.id);
        EXPECT_EQ("dk/common/dkService", f.source);
        EXPECT_EQ(msg(341, f.function), f.text);
    }
}

TEST(dkServiceMgrRegistry, OrderedIdsDuplicatesAndMissingIds) {
    DKServiceMgrImp mgr;
    long count = -1;
    EXPECT_EQ(nullptr, mgr.listServiceIds(count));
    EXPECT_EQ(0, count);

    CategoryService s1("SEARCH", "TEXT", "beta"), s2("SEARCH", "IMAGE", "alpha"), s3("MEDIA", "TEXT", "alpha");
    dkService s4("TEXT", "beta");
    EXPECT_EQ(DKString("SEARCH:TEXT:beta"), mgr.registerService(&s1));
    mgr.registerService(&s2);
    mgr.registerService(&s3);
    mgr.registerService(&s4);
    EXPECT_EQ((std::vector<std::string>{":TEXT:beta", "MEDIA:TEXT:alpha", "SEARCH:IMAGE:alpha", "SEARCH:TEXT:beta"}),
              ids(mgr.listServiceIds(count), count));
    EXPECT_EQ(4, count);

    // The same id again: 541 with the id, and the registry still holds the first service.
    CategoryService twin("SEARCH", "TEXT", "beta");
    EXPECT_EQ(msg(541, "SEARCH:TEXT:beta"), dktest::failureOf<DKUsageError>([&] { mgr.registerService(&twin); }).text);
    EXPECT_EQ(&s1, mgr.getService("SEARCH:TEXT:beta"));
    EXPECT_EQ(4u, ids(mgr.listServiceIds(count), count).size());
    EXPECT_THROW(mgr.registerService(nullptr), DKUsageError);

    EXPECT_EQ((std::vector<std::string>{"SEARCH:IMAGE:alpha", "SEARCH:TEXT:beta"}),
              ids(mgr.listServiceIdsByCategory("SEARCH", count), count));
    EXPECT_EQ((std::vector<std::string>{":TEXT:beta", "MEDIA:TEXT:alpha", "SEARCH:TEXT:beta"}),
              ids(mgr.listServiceIdsByType("TEXT", count), count));
    EXPECT_EQ((std::vector<std::string>{"MEDIA:TEXT:alpha", "SEARCH:IMAGE:alpha"}),
              ids(mgr.listServiceIdsByServer("alpha", count), count));
    count = 7;
    EXPECT_EQ(nullptr, mgr.listServiceIdsByServer("gamma", count));
    EXPECT_EQ(0, count);
    count = 7;
    EXPECT_EQ(nullptr, mgr.listServiceIdsByType("text", count));   // exact, case counts
    EXPECT_EQ(0, count);

    for (const char* missing : {"SEARCH:TEXT:gamma", "", "search:text:beta"})
        EXPECT_EQ(msg(542, missing), dktest::failureOf<DKUsageError>([&] { mgr.getService(missing); }).text);
    mgr.unregisterService("MEDIA:TEXT:alpha");
    EXPECT_EQ(542, dktest::usageError([&] { mgr.unregisterService("MEDIA:TEXT:alpha"); }));
    EXPECT_THROW(mgr.getService(nullptr), DKUsageError);
    EXPECT_EQ((std::vector<std::string>{"SEARCH:IMAGE:alpha"}), ids(mgr.listServiceIdsByServer("alpha", count), count));
}

TEST(dkServiceMgrRegistry, TheRegistryNeverDeletesItsServices) {
    int deaths = 0;
    CategoryService* kept = new CategoryService("C", "T", "kept", &deaths);
    CategoryService* dropped = new CategoryService("C", "T", "dropped", &deaths);
    {
        dkServiceMgr* mgr = new DKServiceMgrImp();
        mgr->registerService(kept);
        mgr->registerService(dropped);
        mgr->unregisterService("C:T:dropped");
        delete mgr;
    }
    EXPECT_EQ(0, deaths);
    delete kept;
    delete dropped;
    EXPECT_EQ(2, deaths);
}

TEST(dkExtensionRecords, DefaultsAndCopies) {
    Annotation a;
    EXPECT_EQ(1, a.getPageNumber());
    a.setName("note");
    a.setPageNumber(40000L);
    Annotation copy(a);
    EXPECT_EQ(DKString("note"), copy.getName());
    EXPECT_EQ(40000L, copy.getPageNumber());

    EngineInfo info;
    info.setSearchEngine("SM");
    info.setSearchIndex("idx");
    info.setSearchInfo(nullptr);
    EngineInfo infoCopy(info);
    info.setSearchEngine("other");
    EXPECT_EQ(DKString("SM"), infoCopy.getSearchEngine());
    EXPECT_EQ(DKString(""), infoCopy.getSearchInfo());

    DKThirdPartyServerDef server;
    server.setInputContentLength(5000000000LL);   // past 32 bits
    server.setPassword("secret");
    DKThirdPartyServerDef serverCopy(server);
    server.setPassword("changed");
    EXPECT_EQ(5000000000LL, serverCopy.getInputContentLength());
    EXPECT_EQ(DKString("secret"), serverCopy.getPassword());
}
