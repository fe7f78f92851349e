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

#include <string>
#include <vector>

using dktest::msg;
using Ids = std::vector<std::string>;

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

// The ids of a list call, which sets count, and frees the array.
template <class F>
Ids ids(F list) {
    long count = -1;
    DKString* array = list(count);
    Ids out(array, array + (array ? count : 0));
    EXPECT_EQ(count, static_cast<long>(out.size()));
    delete[] array;
    return out;
}

class Annotation : public dkAnnotationExt {};
class EngineInfo : public dkSearchEngineInfo {};

}  // namespace

TEST(dkServiceIds, IdsFromTheVirtualGettersAndTheBaseServicesRejections) {
    dkService plain("TEXT", "srv1"), unnamed(nullptr, nullptr);
    EXPECT_EQ(DKString(":TEXT:srv1"), plain.serviceId());
    plain.setServiceName("srv2");
    plain.setUserName("bob");
    EXPECT_TRUE(plain.serviceId() == DKString(":TEXT:srv2") && plain.userName() == DKString("bob"));
    EXPECT_EQ(DKString("SEARCH:TEXT:srv1|::"),
              CategoryService("SEARCH", "TEXT", "srv1").serviceId() + "|" + unnamed.serviceId());
    // The base service's placeholders share one rejection; its text names the operation.
    const dktest::Failure f = dktest::failureOf<DKUsageError>([&] { plain.connect("a", "b", "c", "d"); });
    EXPECT_EQ(msg(341, f.function), f.text);
}

TEST(dkServiceMgrRegistry, OrderedIdsDuplicatesMissingIdsAndNoOwnership) {
    DKServiceMgrImp mgr;
    EXPECT_EQ(Ids{}, ids([&](long& n) { return mgr.listServiceIds(n); }));
    int deaths = 0;
    CategoryService s1("SEARCH", "TEXT", "beta", &deaths), s2("SEARCH", "IMAGE", "alpha");
    CategoryService s3("MEDIA", "TEXT", "alpha", &deaths);
    dkService s4("TEXT", "beta");
    EXPECT_EQ(DKString("SEARCH:TEXT:beta"), mgr.registerService(&s1));
    for (dkService* s : std::initializer_list<dkService*>{&s2, &s3, &s4}) mgr.registerService(s);
    const Ids all{":TEXT:beta", "MEDIA:TEXT:alpha", "SEARCH:IMAGE:alpha", "SEARCH:TEXT:beta"};
    EXPECT_EQ(all, ids([&](long& n) { return mgr.listServiceIds(n); }));

    // The same id again: 541 with the id, and the registry still holds the first service.
    CategoryService twin("SEARCH", "TEXT", "beta");
    EXPECT_EQ(msg(541, "SEARCH:TEXT:beta"), dktest::failureOf<DKUsageError>([&] { mgr.registerService(&twin); }).text);
    EXPECT_EQ(&s1, mgr.getService("SEARCH:TEXT:beta"));
    EXPECT_EQ(all, ids([&](long& n) { return mgr.listServiceIds(n); }));
    EXPECT_THROW(mgr.registerService(nullptr), DKUsageError);

    // By category, type and server, exactly (case counts); none found gives no array and 0.
    const std::pair<Ids, Ids> lists[] = {
        {ids([&](long& n) { return mgr.listServiceIdsByCategory("SEARCH", n); }), {all[2], all[3]}},
        {ids([&](long& n) { return mgr.listServiceIdsByType("TEXT", n); }), {all[0], all[1], all[3]}},
        {ids([&](long& n) { return mgr.listServiceIdsByServer("alpha", n); }), {all[1], all[2]}},
        {ids([&](long& n) { return mgr.listServiceIdsByServer("gamma", n); }), {}},
        {ids([&](long& n) { return mgr.listServiceIdsByType("text", n); }), {}}};
    for (const auto& [got, expected] : lists) EXPECT_EQ(expected, got);

    for (const char* missing : {"SEARCH:TEXT:gamma", "", "search:text:beta"})
        EXPECT_EQ(msg(542, missing), dktest::failureOf<DKUsageError>([&] { mgr.getService(missing); }).text);
    mgr.unregisterService("MEDIA:TEXT:alpha");
    EXPECT_EQ(542, dktest::usageError([&] { mgr.unregisterService("MEDIA:TEXT:alpha"); }));
    EXPECT_THROW(mgr.getService(nullptr), DKUsageError);
    EXPECT_EQ(Ids{all[2]}, ids([&](long& n) { return mgr.listServiceIdsByServer("alpha", n); }));
    // Neither unregistering nor a registry deleted through its interface deletes a service.
    dkServiceMgr* other = new DKServiceMgrImp();
    other->registerService(&s1);
    delete other;
    EXPECT_EQ(0, deaths);
}

TEST(dkExtensionRecords, DefaultsAndCopies) {
    Annotation a;
    a.setName("note");
    a.setPageNumber(40000L);
    const Annotation copy(a);
    EXPECT_TRUE(copy.getName() == DKString("note") && copy.getPageNumber() == 40000L);
    EngineInfo info;
    info.setSearchEngine("SM");
    info.setSearchIndex("idx");
    info.setSearchInfo(nullptr);
    const EngineInfo infoCopy(info);
    info.setSearchEngine("other");
    EXPECT_TRUE(infoCopy.getSearchEngine() == DKString("SM") && infoCopy.getSearchInfo() == DKString(""));
    DKThirdPartyServerDef server;
    server.setInputContentLength(5000000000LL);   // past 32 bits
    server.setPassword("secret");
    const DKThirdPartyServerDef serverCopy(server);
    server.setPassword("changed");
    EXPECT_TRUE(serverCopy.getInputContentLength() == 5000000000LL && serverCopy.getPassword() == DKString("secret"));
}
