// tests/dk/common/datastore/dkDatastoreDef_test.cpp
//
// The schema classes' own rules: attribute defaults, the entity name an attribute answers and
// renames, qualified names, mapped attributes, the administration object and the searchable
// lists built on the full ones. Their rejections are checked in the datastore's table.

#include <dk/DKException.hpp>
#include <dk/dkDatastore.hpp>
#include <dk/dkDatastoreDef.hpp>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

// A definition whose connector lists entity names only, and sets an administration object.
class ListingDef : public dkDatastoreDef {
public:
    explicit ListingDef(dkDatastore* ds) : dkDatastoreDef(ds) {}
    using dkDatastoreDef::listEntityNames;
    DKString* listEntityNames(long& count) override {
        count = 1;
        return new DKString[1]{"Invoice"};
    }
    void attach(dkDatastoreAdmin* admin) { setDatastoreAdmin(admin); }
};

class EntityAttr : public dkAttrDef {
public:
    EntityAttr(dkDatastore* ds, dkEntityDef* e) : dkAttrDef(ds, e) {}
};

class Server : public dkServerDef {
public:
    explicit Server(dkDatastore* ds) : dkServerDef(ds) {}
};

}  // namespace

TEST(dkAttrDefRules, DefaultsEntityNameQualifiedNameAndMappedDatastore) {
    dkAttrDef attr;
    EXPECT_EQ(nullptr, attr.getEntity());
    EXPECT_EQ(DKString("|"), attr.getEntityName() + "|" + attr.datastoreName());   // no datastore: no crash
    attr.setEntityName("Loose");                                                   // no entity to rename
    EXPECT_EQ(DKString("Loose"), attr.getEntityName());

    dkDatastore ds("XY", "serverA");
    dkEntityDef entity(&ds);
    entity.setName("E");
    EntityAttr owned(&ds, &entity);
    const DKString first = owned.getEntityName();
    entity.setName("E2");   // followed while the attribute has no name of its own
    EXPECT_TRUE(&entity == owned.getEntity() && first == "E" && owned.getEntityName() == "E2");
    owned.setEntityName("F");
    const std::vector<DKString> got{owned.getEntityName(), entity.getName(), owned.datastoreName(), owned.datastoreType()};
    EXPECT_EQ((std::vector<DKString>{"F", "F", "serverA", "XY"}), got);
    owned.setQualifiedName("E.amount");
    long count = 0;
    std::unique_ptr<DKString[]> parts(owned.parsedQualifiedName("a.b.c", count));
    EXPECT_EQ(DKString("E.amount 1 a.b.c"), owned.getQualifiedName() + " " + DKString(count) + " " + parts[0]);

    // A mapped attribute's own fields win over its datastore's.
    DKAttrMapDef mapped;
    mapped.setDatastoreName("fedServer");
    mapped.setDatastoreType("FED");
    mapped.setDatastore(&ds);
    const dkAttrDef& base = mapped;
    EXPECT_EQ(DKString("fedServer FED"), base.datastoreName() + " " + base.datastoreType());
}

TEST(dkDatastoreDefRules, SearchableListsAdministrationAndDatastoreNames) {
    dkDatastore ds("XY", "serverA");
    ListingDef def(&ds);
    long count = 0;
    std::unique_ptr<DKString[]> names(def.listSearchableEntityNames(count));
    EXPECT_EQ(DKString("serverA 1 Invoice"), def.datastoreName() + " " + DKString(count) + " " + names[0]);
    EXPECT_THROW(def.listSearchableEntityNames(0L, count), DKUsageError);   // only one form overridden
    EXPECT_THROW(def.datastoreAdmin(), DKUsageError);                       // until one is set
    dkDatastoreAdmin admin;
    admin.setDatastore(&ds);
    def.attach(&admin);
    Server server(&ds);
    EXPECT_TRUE(def.datastoreAdmin() == &admin && admin.getDatastore() == &ds && server.datastore() == &ds);
    EXPECT_EQ(DKString("XY|"), server.datastoreType() + "|" + dkEntityDef().datastoreName());
    server.setDatastore(nullptr);
    EXPECT_EQ(DKString(""), server.datastoreType());
}
