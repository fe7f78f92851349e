// include/dk/PTemplateKit.hpp
#pragma once

// Search templates and schema mappings as every connector keeps them, done once here so that the
// same calls give the same answers on each: the criteria a template holds and the tree it makes,
// the pairs registerMapping reads, the schema mapping getMapping hands out and the native names a
// tree naming a mapping is translated to. A connector adds only where they are stored and how it
// names its entities and attributes. Every refusal of the kit is DKUsageError 303.

#include <dk/DKString.hpp>
#include <dk/PConnectorKit.hpp>
#include <dk/dkExport.hpp>
#include <dk/dkSchemaMapping.hpp>
#include <dk/dkSearchTemplate.hpp>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

class DKNVPair;
class dkAttrDef;
class dkDatastore;

// Names of templates, mappings, criteria and mapped things: any text of 1 to kMaxName bytes
// without a zero byte, kept as data. Matched without ASCII case.
struct DK_API PTemplateNames {
    static constexpr std::size_t kMaxName = 128;
    // name, or DKUsageError 303 ("what needs a name ...") located in source.
    static std::string checked(const std::string& name, const char* what, const char* source, const char* function);
    static std::string key(const std::string& name);   // the ASCII lower case a name is matched by
};

// How one connector's templates say where they fail and which pids they name.
struct PTemplateRules {
    const char* source;      // the location of every refusal
    const char* className;   // before "::operation" in the function text ("DKSearchTemplateSQLITE")
    const char* pidType;     // the datastore type of the trees' pids
    long noAttr;             // the connector's message for an attribute the entity lacks
};

// A search template of one repository: an entity and its criteria (owned), each with the
// operators it allows. The operators and values chosen for a search are the object's own and
// never stored; the connector's add(), update(), del(), exists() and retrieve() change and read
// the stored template. createCQExpr ANDs the criteria that are set (operator and value) into one
// parametric leaf over the entity, named after the template. The datastore is not owned. One
// thread at a time, the datastore's.
class DK_API PSearchTemplateBase : public dkSearchTemplate {
public:
    ~PSearchTemplateBase() override;

    long numberOfCriteria() override;
    dkCollection* listCriteria() override;
    DKString* listCriteriaNames(long& count) override;
    DKSearchCriteria* getCriteria(const char* name) override;
    // Takes criteria naming an attribute of the template's entity with at least one operator a
    // tree can run; else 303 (the connector's noAttr for an unknown attribute) and criteria stays
    // with the caller.
    void addCriteria(DKSearchCriteria* criteria) override;
    void removeCriteria(const char* name) override;
    // An operator the criterion does not allow is 303; a value without an operator takes the
    // criterion's first (its default) one.
    void setOperator(const char* criteriaName, short op) override;
    short getOperator(const char* criteriaName) override;
    void setValue(const char* criteriaName, const char* value) override;
    void setValues(const char* criteriaName, const DKString* values, long count) override;
    DKString* getValues(const char* criteriaName, long& count) override;
    void clearValues(const char* criteriaName) override;
    void clearAllValues() override;
    int isComplete() override;   // some criterion is set
    // 303 when no criterion is set.
    DKCQExpr* createCQExpr() override;
    void clearCache() override { clearAllValues(); }

protected:
    PSearchTemplateBase(dkDatastore* ds, const char* name, const char* entity, const PTemplateRules& rules);

    // The connector's catalogue: the attribute attr of the template's entity (false when the
    // entity has none), entityName set to the entity's name as kept; an unknown entity is the
    // connector's refusal. Read from the datastore's PSchemaCatalogue unless overridden.
    virtual bool findAttr(const std::string& attr, std::string& entityName, PCatalogueAttr& found,
                          const char* function);
    // The repository the trees' pids name.
    virtual std::string repositoryName() = 0;

    // "Class::operation" of the connector's class.
    std::string functionName(const char* operation) const;
    [[noreturn]] void refuse(const std::string& function, const std::string& why, long msg = 303) const;
    // Before storing: the name checked, the entity known, some criteria, each of an attribute the
    // entity still has. Gives the entity's name as kept.
    std::string checkedForStore(const std::string& function);
    // The criteria read back: attr with its operators as operatorText wrote them; dataType 0 when
    // the attribute is no longer known.
    void clearCriteria() { criteria_.clear(); }
    void addStoredCriterion(const std::string& attr, const std::string& operators, short dataType);
    static std::string operatorText(const DKSearchCriteria& c);
    const std::vector<std::unique_ptr<DKSearchCriteria>>& criteria() const { return criteria_; }

private:
    DKSearchCriteria& criterion(const char* name, const std::string& function);

    PTemplateRules rules_;
    std::vector<std::unique_ptr<DKSearchCriteria>> criteria_;
};

// The collection listSearchTemplates returns: elements are tc_voidptr with sub-type 3 (a
// dkSearchTemplate*); it owns and deletes the templates (the caller owns the collection). One
// thread at a time.
class DK_API PTemplateCollection : public DKSequentialCollection {
public:
    static constexpr short kTemplateType = 3;
    ~PTemplateCollection() override;
    void removeAllElements() override;
    int ownsElements() const override { return 1; }
    void add(dkSearchTemplate* t);   // adopted
    // The templates' names, as PNameArray.
    DKString* names(long& count);

private:
    void freeTemplates() noexcept;
};

// What registerMapping reads from its pairs, up to one named "End" or with an empty name:
// "name", "entity" (native), "mappedEntity", and "attr" pairs of MAPPED=NATIVE, every value a
// string. The names are checked as PTemplateNames, mapped attribute names once each; whether the
// native entity and attributes exist is the connector's to check.
struct DK_API PMappingRequest {
    std::string name, entity, mappedEntity;
    std::vector<std::pair<std::string, std::string>> attrs;   // mapped, native; in the order given

    static PMappingRequest read(const DKNVPair* source, const char* location, const char* function);
};

// The attribute and schema mappings getMapping reads back: the common classes as they are (the
// schema mapping owns its attribute mappings, each its attribute definitions).
class DK_API PAttrMapping : public dkAttrMapping {
public:
    explicit PAttrMapping(dkSchemaMapping* schema) : dkAttrMapping(schema) {}
};
class DK_API PSchemaMapping : public dkSchemaMapping {
public:
    PSchemaMapping() = default;
    // A schema mapping of the stored rows: attrs are (mapped, native) in order; nativeDef makes
    // the definition of a native attribute (the connector's class, filled from its catalogue).
    static std::shared_ptr<dkSchemaMapping> build(const std::string& name, const std::string& server, const char* serverType,
                                                  const std::string& entity, const std::string& mappedEntity,
                                                  const std::vector<std::pair<std::string, std::string>>& attrs,
                                                  const std::function<dkAttrDef*(const std::string& name)>& mappedDef,
                                                  const std::function<dkAttrDef*(const std::string& native)>& nativeDef);
    // The same, every definition made by newDef (a definition of the connector's class, of no
    // entity): a mapped one only named, a native one filled from its entry in native (the native
    // entity as the catalogue holds it; null, or an attribute it lacks: only named).
    static std::shared_ptr<dkSchemaMapping> build(const std::string& name, const std::string& server, const char* serverType,
                                                  const std::string& entity, const std::string& mappedEntity,
                                                  const std::vector<std::pair<std::string, std::string>>& attrs,
                                                  const PCatalogueEntity* native,
                                                  const std::function<std::unique_ptr<dkAttrDef>()>& newDef);
};

// The native names behind a schema mapping: its native entity, and the native attribute of each
// mapped one (by lower-case mapped name).
struct DK_API PMappingNames {
    std::string mappedEntity;
    std::string entity;
    std::map<std::string, std::string> attrs;

    // The names of m (null: no mapping named name), which trees translate only where every
    // attribute mapping is one to one without conversion; else 303.
    static PMappingNames of(dkSchemaMapping* m, const std::string& name, const char* source, const char* function);
};
