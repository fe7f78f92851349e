// tests/dk/common/query/dkSchemaMapping_test.cpp
//
// Attribute and schema mappings: the conversion check, 1-based lookups at their ends, duplicate
// names refused with the attribute left to the caller, and attributes whose qualified name cannot
// be read.

#include <dk/dkCollection.hpp>
#include <dk/dkDatastoreDef.hpp>
#include <dk/dkSchemaMapping.hpp>

#include "dkTestSupport.hpp"

#include <memory>
#include <tuple>

namespace {
class AttrMapping : public dkAttrMapping {};
class SchemaMapping : public dkSchemaMapping {};

dkAttrDef* attr(const char* name) {
    auto* a = new dkAttrDef;
    a->setName(name);
    return a;
}

// An attribute of a connector that cannot tell its qualified name.
struct Unnamed : dkAttrDef {
    DKString getQualifiedName() override { throw DKException("no name", 303, DKSeverityError, 0, ""); }
};

short check(int mapped, int mapTo, const char* to, const char* from) {
    AttrMapping m;
    for (int i = 0; i < mapped; ++i) m.addMappedAttr(attr(("m" + std::to_string(i)).c_str()));
    for (int i = 0; i < mapTo; ++i) m.addMapToAttr(attr(("t" + std::to_string(i)).c_str()));
    m.setToNative(to);
    m.setFromNative(from);
    return m.checkConversion();
}
}  // namespace

TEST(dkAttrMapping, ConversionCheck) {
    const struct {
        int mapped, mapTo;
        const char *to, *from;
        short want;
    } cases[] = {{1, 1, "", "", 0},          {1, 1, "null", "null", 0}, {1, 1, "to", "from", 1}, {1, 2, "to", "from", 2},
                 {2, 1, "to", "from", 3},    {2, 2, "to", "from", -1},  {1, 2, "to", "", -1},    {1, 1, "to", "null", -1},
                 {1, 2, "", "", -1},         {0, 0, "", "", -1}};
    for (const auto& c : cases) EXPECT_EQ(c.want, check(c.mapped, c.mapTo, c.to, c.from)) << c.mapped << c.mapTo << c.to;
}

TEST(dkAttrMapping, LookupsCountFromOneAndDuplicatesStayWithTheCaller) {
    AttrMapping m;
    m.setName("given");
    m.addMappedAttr(attr("title"));
    EXPECT_EQ(DKString("title"), m.getName());   // the first mapped attribute names it, over a given name
    std::unique_ptr<dkAttrDef> twin(attr("title"));
    const dktest::Failure f = dktest::failureOf<DKUsageError>([&] { m.addMappedAttr(twin.get()); });
    EXPECT_EQ(433, f.id);
    EXPECT_NE(std::string::npos, f.text.find("title"));
    m.addMappedAttr(attr("size"));
    for (int i : {0, 3}) EXPECT_EQ(nullptr, m.getMappedAttr(i)) << i;
    EXPECT_EQ(DKString("title|size|"), m.getMappedAttr(1)->getName() + "|" + m.getMappedAttrName(2) + "|" +
                                           m.getMappedAttrName(-1));
    for (const char* name : {"title", "missing"}) m.removeMappedAttr(name);
    EXPECT_EQ(1, m.numberOfMappedAttr());
    long n = 9;
    EXPECT_TRUE(m.getMapToAttr() == nullptr && m.listMapToAttrNames(n) == nullptr && n == 0);
}

TEST(dkAttrMapping, UnreadableQualifiedNamesAreDropped) {
    AttrMapping m;
    m.addMapToAttr(new Unnamed);
    m.addMapToAttr(attr("native"));
    EXPECT_EQ("|native", m.getMapToAttrName(1).str() + "|" + m.getMapToAttrName(2).str());
    m.removeMapToAttr("native");   // the unreadable first name ends the search
    EXPECT_EQ(2, m.numberOfMapToAttr());
    long n = 0;
    std::unique_ptr<DKString[]> names(m.listMapToAttrNames(n));
    EXPECT_EQ((dktest::Texts{"", "native"}), dktest::Texts(names.get(), names.get() + n));
}

TEST(dkSchemaMapping, NamesLookupsAndOwnership) {
    SchemaMapping s;
    s.setMappedEntityName("ME");
    s.setServerName("S");
    s.setEntityName("E");
    EXPECT_EQ(DKString("ME;S;E"), s.getName());
    s.setEntityName("F");
    EXPECT_EQ(DKString("ME;S;E"), s.getName());   // kept once made

    auto* first = new AttrMapping;
    first->addMappedAttr(attr("title"));
    first->addMapToAttr(attr("TITLE_N"));
    s.addAttrMapping(first);
    auto twin = std::make_unique<AttrMapping>();
    twin->addMappedAttr(attr("title"));
    EXPECT_EQ(433, dktest::usageError([&] { s.addAttrMapping(twin.get()); }));
    auto* second = new AttrMapping;
    second->setName("other");
    s.addAttrMapping(second);

    EXPECT_EQ(std::make_tuple(first, first, static_cast<dkAttrMapping*>(nullptr), second),
              std::make_tuple(s.getAttrMappingByMappedName("title"), s.getAttrMappingByMapToName("TITLE_N"),
                              s.getAttrMappingByMapToName("title"), s.getAttrMapping("other")));
    std::unique_ptr<dkCollection> all(s.listAttrMappings());   // the caller deletes the list only
    EXPECT_EQ(2UL, all->cardinality());
    s.removeAttrMapping("title");
    long n = 0;
    std::unique_ptr<DKString[]> names(s.listAttrMappingNames(n));
    EXPECT_EQ(dktest::Texts{"other"}, dktest::Texts(names.get(), names.get() + n));
    s.retrieve();
    EXPECT_EQ(341, dktest::usageError([&] { s.clearCache(); }));
}
