// src/dk/common/query/PTemplateKit.cpp
//
// The connectors' shared part of search templates and schema mappings: a template's criteria
// and the tree it makes, the pairs of a mapping's registration, the schema mapping read back and
// the native names trees are translated to. Each connector stores them in its own tables and
// answers for its own catalogue through PSearchTemplateBase::findAttr.

#include <dk/PTemplateKit.hpp>

#include <dk/DKException.hpp>
#include <dk/DKNVPair.hpp>
#include <dk/DKOpCode.hpp>
#include <dk/DKQExpr.hpp>
#include <dk/dkDatastoreDef.hpp>
#include <dk/dkThrow.hpp>

#include <algorithm>
#include <cstdlib>
#include <set>

namespace {

constexpr const char* kEnd = "End";   // the pair that ends registerMapping's pairs

std::string textOf(const DKString& s) { return std::string(s.c_str(), static_cast<std::size_t>(s.length())); }

[[noreturn]] void refuse303(const char* source, const char* function, const std::string& why) {
    dkThrow<DKUsageError>(303, source, function, DKString(": " + why));
}

// The operators a tree runs on one attribute.
bool comparison(short op) {
    return (op >= DKOpCode::opEqual && op <= DKOpCode::opLike) || (op >= DKOpCode::opNotLike && op <= DKOpCode::opContainsText);
}

std::vector<short> operatorsOf(const DKSearchCriteria& c) {
    long n = 0;
    std::unique_ptr<short[]> ops(c.getValidOperators(n));
    return std::vector<short>(ops.get(), ops.get() + n);
}

// A value as a tree term reads it: a text of an attribute that needs quotes is quoted (inner
// quotes doubled), so that what was typed stays text and nothing of it reads as NULL or a name.
DKString termValue(const DKString& value, bool quote) {
    if (!quote) return value;
    std::string out = "'";
    for (char c : textOf(value)) out += c == '\'' ? std::string("''") : std::string(1, c);
    return DKString(out + "'");
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Names

std::string PTemplateNames::checked(const std::string& name, const char* what, const char* source, const char* function) {
    if (name.empty() || name.size() > kMaxName || name.find('\0') != std::string::npos)
        refuse303(source, function,
                  std::string(what) + " needs a name of 1 to " + std::to_string(kMaxName) + " bytes without zero bytes");
    return name;
}

std::string PTemplateNames::key(const std::string& name) {
    std::string out = name;
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

// ---------------------------------------------------------------------------------------------
// Templates

PSearchTemplateBase::PSearchTemplateBase(dkDatastore* ds, const char* name, const char* entity, const PTemplateRules& rules)
    : dkSearchTemplate(ds), rules_(rules) {
    setName(name ? name : "");
    setEntityName(entity ? entity : "");
}

PSearchTemplateBase::~PSearchTemplateBase() = default;

bool PSearchTemplateBase::findAttr(const std::string& attr, std::string& entityName, PCatalogueAttr& found,
                                   const char* function) {
    auto* catalogue = dynamic_cast<PSchemaCatalogue*>(getDatastore());
    if (catalogue == nullptr) refuse(function, "no catalogue of the connector");
    const std::shared_ptr<const PCatalogueEntity> e = catalogue->schemaEntity(getEntityName().c_str(), function);
    entityName = e->name;
    const PCatalogueAttr* a = e->find(attr.c_str());
    if (a != nullptr) found = *a;
    return a != nullptr;
}

std::string PSearchTemplateBase::functionName(const char* operation) const {
    return std::string(rules_.className) + "::" + operation;
}

void PSearchTemplateBase::refuse(const std::string& function, const std::string& why, long msg) const {
    dkThrow<DKUsageError>(msg, rules_.source, function.c_str(), DKString(msg == 303 ? ": " + why : why));
}

long PSearchTemplateBase::numberOfCriteria() { return static_cast<long>(criteria_.size()); }

dkCollection* PSearchTemplateBase::listCriteria() {
    auto list = std::make_unique<DKSequentialCollection>();
    for (auto& c : criteria_) list->addElement(DKAny(static_cast<void*>(c.get())));
    return list.release();
}

DKString* PSearchTemplateBase::listCriteriaNames(long& count) {
    count = static_cast<long>(criteria_.size());
    if (criteria_.empty()) return nullptr;
    DKString* names = new DKString[criteria_.size()];
    for (std::size_t i = 0; i < criteria_.size(); ++i) names[i] = criteria_[i]->getName();
    return names;
}

DKSearchCriteria* PSearchTemplateBase::getCriteria(const char* name) {
    const std::string wanted = PTemplateNames::key(name ? name : "");
    for (auto& c : criteria_)
        if (PTemplateNames::key(textOf(c->getName())) == wanted) return c.get();
    return nullptr;
}

DKSearchCriteria& PSearchTemplateBase::criterion(const char* name, const std::string& function) {
    DKSearchCriteria* c = getCriteria(name);
    if (c == nullptr) refuse(function, "template " + textOf(getName()) + " has no criterion " + (name ? name : ""));
    return *c;
}

void PSearchTemplateBase::addCriteria(DKSearchCriteria* criteria) {
    const std::string fn = functionName("addCriteria");
    if (criteria == nullptr) refuse(fn, "no criteria");
    std::string entity;
    PCatalogueAttr a;
    const bool known = findAttr(textOf(criteria->getAttrName()), entity, a, fn.c_str());
    const std::string entityName = textOf(criteria->getEntityName());
    if (!entityName.empty() && PTemplateNames::key(entityName) != PTemplateNames::key(entity))
        refuse(fn, "a criterion of " + entityName + " in a template of " + entity);
    if (!known) refuse(fn, entity + "." + textOf(criteria->getAttrName()), rules_.noAttr);
    const std::vector<short> ops = operatorsOf(*criteria);
    if (ops.empty()) refuse(fn, "a criterion needs at least one operator");
    for (short op : ops)
        if (!comparison(op)) refuse(fn, "operator " + std::to_string(op) + " compares no attribute");
    const std::string name = criteria->getName().length() != 0 ? textOf(criteria->getName()) : a.name;
    PTemplateNames::checked(name, "a criterion", rules_.source, fn.c_str());
    if (getCriteria(name.c_str()) != nullptr) refuse(fn, "template " + textOf(getName()) + " has a criterion " + name);
    criteria->setName(name.c_str());
    criteria->setEntityName(entity.c_str());
    criteria->setAttrName(a.name.c_str());
    criteria->setDataType(static_cast<short>(a.type));
    if (criteria->getDefaultOperator() == 0) criteria->setDefaultOperator(ops.front());
    criteria_.emplace_back(criteria);
}

void PSearchTemplateBase::removeCriteria(const char* name) {
    DKSearchCriteria* c = getCriteria(name);
    criteria_.erase(std::remove_if(criteria_.begin(), criteria_.end(), [&](const auto& p) { return p.get() == c; }),
                    criteria_.end());
}

void PSearchTemplateBase::setOperator(const char* criteriaName, short op) {
    const std::string fn = functionName("setOperator");
    DKSearchCriteria& c = criterion(criteriaName, fn);
    const std::vector<short> ops = operatorsOf(c);
    if (std::find(ops.begin(), ops.end(), op) == ops.end())
        refuse(fn, "criterion " + textOf(c.getName()) + " does not allow operator " + std::to_string(op));
    c.setOperator(op);
}

short PSearchTemplateBase::getOperator(const char* criteriaName) {
    return criterion(criteriaName, functionName("getOperator")).getOperator();
}

void PSearchTemplateBase::setValue(const char* criteriaName, const char* value) {
    DKSearchCriteria& c = criterion(criteriaName, functionName("setValue"));
    c.setValue(value);
    if (c.getOperator() == 0) c.setOperator(c.getDefaultOperator());
}

void PSearchTemplateBase::setValues(const char* criteriaName, const DKString* values, long count) {
    DKSearchCriteria& c = criterion(criteriaName, functionName("setValues"));
    c.setValues(values, count);
    if (c.getOperator() == 0) c.setOperator(c.getDefaultOperator());
}

DKString* PSearchTemplateBase::getValues(const char* criteriaName, long& count) {
    return criterion(criteriaName, functionName("getValues")).getValues(count);
}

void PSearchTemplateBase::clearValues(const char* criteriaName) {
    DKSearchCriteria& old = criterion(criteriaName, functionName("clearValues"));
    // A criterion cannot forget its values: a fresh one with the same definition takes its place.
    auto fresh = std::make_unique<DKSearchCriteria>(old.getEntityName().c_str(), old.getAttrName().c_str());
    fresh->setName(old.getName().c_str());
    const std::vector<short> ops = operatorsOf(old);
    fresh->setValidOperators(ops.data(), static_cast<long>(ops.size()));
    fresh->setDefaultOperator(old.getDefaultOperator());
    fresh->setDataType(old.getDataType());
    for (auto& c : criteria_)
        if (c.get() == &old) c = std::move(fresh);
}

void PSearchTemplateBase::clearAllValues() {
    for (std::size_t i = 0; i < criteria_.size(); ++i) clearValues(criteria_[i]->getName().c_str());
}

int PSearchTemplateBase::isComplete() {
    return std::any_of(criteria_.begin(), criteria_.end(), [](const auto& c) { return c->isSet() != 0; }) ? 1 : 0;
}

DKCQExpr* PSearchTemplateBase::createCQExpr() {
    const std::string fn = functionName("createCQExpr");
    std::unique_ptr<DKQTerm> all;
    for (auto& c : criteria_) {
        if (c->isSet() == 0) continue;
        long n = 0;
        std::unique_ptr<DKString[]> raw(c->getValues(n));
        std::vector<DKString> values;
        for (long i = 0; i < n; ++i) values.push_back(termValue(raw[i], c->isQuoteNeeded() != 0));
        // Single-value operators take their value through setValues, so that it may hold any byte.
        std::unique_ptr<DKQTerm> term;
        if (DKOpCode::isMultiValueOp(c->getOperator())) {
            term = std::make_unique<DKQTerm>(c->getAttrName().c_str(), c->getOperator(), values.data(), n);
        } else {
            term = std::make_unique<DKQTerm>(c->getAttrName().c_str(), c->getOperator(), "");
            term->setValues(values.data(), n);
        }
        all.reset(all ? all.release()->and_(term.release()) : term.release());
    }
    if (!all) refuse(fn, "no criterion of template " + textOf(getName()) + " has an operator and a value");
    auto sub = std::make_unique<DKQSubExpr>();
    sub->setEntityName(getEntityName().c_str());
    sub->setQueryTerm(all.release());
    auto leaf = std::make_unique<DKQExpr>();
    leaf->setQLType(PTemplateCollection::kTemplateType);
    leaf->addSubQuery(sub.release());
    auto tree = std::make_unique<DKCQExpr>(leaf.release());
    tree->setQLType(PTemplateCollection::kTemplateType);
    tree->setDatastoreType(rules_.pidType);
    tree->setDatastoreName(repositoryName().c_str());
    tree->setSearchTemplateName(getName().c_str());
    return tree.release();
}

std::string PSearchTemplateBase::checkedForStore(const std::string& function) {
    const std::string name = PTemplateNames::checked(textOf(getName()), "a template", rules_.source, function.c_str());
    std::string entity;
    PCatalogueAttr a;
    // An empty attribute name asks only for the entity (an unknown one is refused there).
    findAttr(std::string(), entity, a, function.c_str());
    if (criteria_.empty()) refuse(function, "template " + name + " has no criterion");
    for (auto& c : criteria_)
        if (!findAttr(textOf(c->getAttrName()), entity, a, function.c_str()))
            refuse(function, entity + "." + textOf(c->getAttrName()), rules_.noAttr);
    return entity;
}

void PSearchTemplateBase::addStoredCriterion(const std::string& attr, const std::string& text, short dataType) {
    auto c = std::make_unique<DKSearchCriteria>(textOf(getEntityName()).c_str(), attr.c_str());
    c->setName(attr.c_str());
    std::vector<short> ops;
    for (std::size_t at = 0; at < text.size();) {
        std::size_t end = text.find(',', at);
        if (end == std::string::npos) end = text.size();
        ops.push_back(static_cast<short>(std::atoi(text.substr(at, end - at).c_str())));
        at = end + 1;
    }
    if (!ops.empty()) {
        c->setValidOperators(ops.data(), static_cast<long>(ops.size()));
        c->setDefaultOperator(ops.front());
    }
    if (dataType != 0) c->setDataType(dataType);
    criteria_.push_back(std::move(c));
}

std::string PSearchTemplateBase::operatorText(const DKSearchCriteria& c) {
    std::string ops;
    for (short op : operatorsOf(c)) ops += (ops.empty() ? "" : ",") + std::to_string(op);
    return ops;
}

// ---------------------------------------------------------------------------------------------
// The list of templates

PTemplateCollection::~PTemplateCollection() { freeTemplates(); }

void PTemplateCollection::removeAllElements() {
    freeTemplates();
    DKSequentialCollection::removeAllElements();
}

void PTemplateCollection::add(dkSearchTemplate* t) {
    addElement(DKAny(DKAny::tc_voidptr, static_cast<void*>(t), kTemplateType));
}

DKString* PTemplateCollection::names(long& count) {
    std::vector<DKString> all;
    for (PNode* n = head; n != nullptr; n = n->next)
        if (n->value != nullptr && n->value->typeCode() == DKAny::tc_voidptr && n->value->getSubType() == kTemplateType)
            all.push_back(static_cast<dkSearchTemplate*>(n->value->value())->getName());
    return PNameArray(all.size(), count, [&](std::size_t i) { return all[i]; });
}

void PTemplateCollection::freeTemplates() noexcept {
    for (PNode* n = head; n != nullptr; n = n->next) {
        if (n->value == nullptr || n->value->typeCode() != DKAny::tc_voidptr || n->value->getSubType() != kTemplateType)
            continue;
        delete static_cast<dkSearchTemplate*>(n->value->value());
        *n->value = DKAny();
    }
}

// ---------------------------------------------------------------------------------------------
// Mappings

PMappingRequest PMappingRequest::read(const DKNVPair* source, const char* location, const char* function) {
    if (source == nullptr) refuse303(location, function, "no pairs");
    PMappingRequest out;
    for (const DKNVPair* p = source; p->getName().length() != 0 && p->getName() != kEnd; ++p) {
        const std::string key = PTemplateNames::key(textOf(p->getName()));
        const DKAny value = p->getValue();
        if (value.typeCode() != DKAny::tc_string) refuse303(location, function, "the value of " + key + " is no string");
        const std::string text = textOf(static_cast<DKString>(value));
        if (key == "name") {
            out.name = text;
        } else if (key == "entity") {
            out.entity = text;
        } else if (key == "mappedentity") {
            out.mappedEntity = text;
        } else if (key == "attr") {
            const std::size_t eq = text.find('=');
            if (eq == std::string::npos) refuse303(location, function, "attr takes MAPPED=NATIVE: " + text);
            out.attrs.emplace_back(text.substr(0, eq), text.substr(eq + 1));
        } else {
            refuse303(location, function, "unknown pair " + textOf(p->getName()));
        }
    }
    PTemplateNames::checked(out.name, "a mapping", location, function);
    PTemplateNames::checked(out.mappedEntity, "a mapped entity", location, function);
    std::set<std::string> seen;
    for (auto& attr : out.attrs) {
        PTemplateNames::checked(attr.first, "a mapped attribute", location, function);
        if (!seen.insert(PTemplateNames::key(attr.first)).second)
            refuse303(location, function, "mapped attribute " + attr.first + " given twice");
    }
    return out;
}

std::shared_ptr<dkSchemaMapping> PSchemaMapping::build(const std::string& name, const std::string& server, const char* serverType,
                                                       const std::string& entity, const std::string& mappedEntity,
                                                       const std::vector<std::pair<std::string, std::string>>& attrs,
                                                       const std::function<dkAttrDef*(const std::string& name)>& mappedDef,
                                                       const std::function<dkAttrDef*(const std::string& native)>& nativeDef) {
    auto schema = std::make_shared<PSchemaMapping>();
    schema->setName(name.c_str());
    schema->setServerName(server.c_str());
    schema->setServerType(serverType);
    schema->setEntityName(entity.c_str());
    schema->setMappedEntityName(mappedEntity.c_str());
    for (const auto& [mapped, native] : attrs) {
        auto attr = std::make_unique<PAttrMapping>(schema.get());
        attr->addMappedAttr(mappedDef(mapped));
        attr->addMapToAttr(nativeDef(native));
        attr->getName();   // named after its mapped attribute
        schema->addAttrMapping(attr.release());
    }
    return schema;
}

PMappingNames PMappingNames::of(dkSchemaMapping* m, const std::string& mapping, const char* source, const char* function) {
    if (m == nullptr) refuse303(source, function, "no mapping named " + mapping);
    PMappingNames out;
    out.entity = textOf(m->getEntityName());
    out.mappedEntity = textOf(m->getMappedEntityName());
    long count = 0;
    std::unique_ptr<DKString[]> names(m->listAttrMappingNames(count));
    for (long i = 0; i < count; ++i) {
        dkAttrMapping* a = m->getAttrMapping(names[i].c_str());
        const short conversion = a != nullptr ? a->checkConversion() : -1;
        if (conversion != 0)
            refuse303(source, function,
                      "mapping " + mapping + ": " + textOf(names[i]) + " is not one to one without conversion (" +
                          std::to_string(conversion) + ")");
        out.attrs[PTemplateNames::key(textOf(a->getMappedAttrName()))] = textOf(a->getMapToAttrName());
    }
    return out;
}

std::shared_ptr<dkSchemaMapping> PSchemaMapping::build(const std::string& name, const std::string& server, const char* serverType,
                                                       const std::string& entity, const std::string& mappedEntity,
                                                       const std::vector<std::pair<std::string, std::string>>& attrs,
                                                       const PCatalogueEntity* native,
                                                       const std::function<std::unique_ptr<dkAttrDef>()>& newDef) {
    auto mappedDef = [&](const std::string& mapped) {
        std::unique_ptr<dkAttrDef> def = newDef();
        def->setName(mapped.c_str());
        return def.release();
    };
    auto nativeDef = [&](const std::string& attr) {
        std::unique_ptr<dkAttrDef> def = newDef();
        const PCatalogueAttr* p = native != nullptr ? native->find(attr.c_str()) : nullptr;
        if (p != nullptr) p->applyTo(*def, entity.c_str());
        else def->setName(attr.c_str());
        return def.release();
    };
    return build(name, server, serverType, entity, mappedEntity, attrs, mappedDef, nativeDef);
}
