// connectors/sqlite/PSqliteTemplates.cpp
//
// Search templates and schema mappings of the SQLite connector, kept in four dk_ tables of the
// repository. A template is an entity and its criteria (an attribute and the operators it
// allows); a mapping is a mapped entity over a native one, with mapped attribute names over
// native ones, which trees naming the mapping are translated to. Names and values are bound,
// never pasted; the tables are made at a writing connect when the repository lacks them.

#include "PSqliteTemplates.hpp"
#include "DKDatastoreDefSQLITE.hpp"
#include "DKDatastoreSQLITE.hpp"
#include "PSqliteStatement.hpp"
#include "PSqliteTree.hpp"
#include "PSqliteValues.hpp"

#include <dk/DKException.hpp>
#include <dk/DKNVPair.hpp>
#include <dk/DKOpCode.hpp>
#include <dk/DKQExpr.hpp>
#include <dk/DKSequentialCollection.hpp>
#include <dk/dkThrow.hpp>

#include <sqlite3.h>

#include <algorithm>
#include <set>

using namespace dksqlite;

namespace {

constexpr const char* kSource = kDatastoreSource;
constexpr size_t kMaxName = 128;   // bytes of a template, mapping or mapped name
constexpr short kTemplateType = 3;   // the list sub-type of a dkSearchTemplate*

constexpr const char* kCreateTables =
    "CREATE TABLE IF NOT EXISTS dk_templates(name TEXT PRIMARY KEY COLLATE NOCASE, entity TEXT NOT NULL,"
    " description TEXT NOT NULL DEFAULT '');"
    "CREATE TABLE IF NOT EXISTS dk_template_criteria(template TEXT NOT NULL COLLATE NOCASE,"
    " position INTEGER NOT NULL, attr TEXT NOT NULL, operators TEXT NOT NULL, PRIMARY KEY(template, position));"
    "CREATE TABLE IF NOT EXISTS dk_mappings(name TEXT PRIMARY KEY COLLATE NOCASE, entity TEXT NOT NULL,"
    " mapped_entity TEXT NOT NULL);"
    "CREATE TABLE IF NOT EXISTS dk_mapping_attrs(mapping TEXT NOT NULL COLLATE NOCASE, position INTEGER NOT NULL,"
    " mapped TEXT NOT NULL, native TEXT NOT NULL, PRIMARY KEY(mapping, position));";

[[noreturn]] void refuse(const char* function, const std::string& why, long msg = 303) {
    dkThrow<DKUsageError>(msg, kSource, function, DKString(msg == 303 ? ": " + why : why));
}

std::string textOf(const DKString& s) { return std::string(s.c_str(), static_cast<size_t>(s.length())); }

// A name kept as data: any text of 1 to kMaxName bytes without a zero byte.
std::string checkedName(const std::string& name, const char* what, const char* function) {
    if (name.empty() || name.size() > kMaxName || name.find('\0') != std::string::npos)
        refuse(function, std::string(what) + " needs a name of 1 to " + std::to_string(kMaxName) + " bytes without zero bytes");
    return name;
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

void bindName(sqlite3_stmt* s, int i, const std::string& text) { bindText(s, i, text); }

// The collection of listSearchTemplates: it owns and deletes the templates (the caller owns the
// collection). One thread at a time.
class PTemplateCollection : public DKSequentialCollection {
public:
    ~PTemplateCollection() override { freeTemplates(); }
    void removeAllElements() override {
        freeTemplates();
        DKSequentialCollection::removeAllElements();
    }
    int ownsElements() const override { return 1; }
    void add(dkSearchTemplate* t) { addElement(DKAny(DKAny::tc_voidptr, static_cast<void*>(t), kTemplateType)); }

private:
    void freeTemplates() noexcept {
        for (PNode* n = head; n != nullptr; n = n->next) {
            if (n->value == nullptr || n->value->typeCode() != DKAny::tc_voidptr || n->value->getSubType() != kTemplateType)
                continue;
            delete static_cast<dkSearchTemplate*>(n->value->value());
            *n->value = DKAny();
        }
    }
};

}  // namespace

// ---------------------------------------------------------------------------------------------
// Templates

PSearchTemplate::PSearchTemplate(DKDatastoreSQLITE* ds, const char* name, const char* entity)
    : dkSearchTemplate(ds), ds_(ds) {
    setName(name);
    setEntityName(entity);
}

PSearchTemplate::~PSearchTemplate() = default;

long PSearchTemplate::numberOfCriteria() { return static_cast<long>(criteria_.size()); }

dkCollection* PSearchTemplate::listCriteria() {
    auto list = std::make_unique<DKSequentialCollection>();
    for (auto& c : criteria_) list->addElement(DKAny(static_cast<void*>(c.get())));
    return list.release();
}

DKString* PSearchTemplate::listCriteriaNames(long& count) {
    count = static_cast<long>(criteria_.size());
    if (criteria_.empty()) return nullptr;
    DKString* names = new DKString[criteria_.size()];
    for (size_t i = 0; i < criteria_.size(); ++i) names[i] = criteria_[i]->getName();
    return names;
}

DKSearchCriteria* PSearchTemplate::getCriteria(const char* name) {
    const std::string wanted = lowerName(name ? name : "");
    for (auto& c : criteria_)
        if (lowerName(c->getName().c_str()) == wanted) return c.get();
    return nullptr;
}

DKSearchCriteria& PSearchTemplate::criterion(const char* name, const char* function) {
    DKSearchCriteria* c = getCriteria(name);
    if (c == nullptr) refuse(function, "template " + textOf(getName()) + " has no criterion " + (name ? name : ""));
    return *c;
}

void PSearchTemplate::addCriteria(DKSearchCriteria* criteria) {
    static const char* const fn = "DKSearchTemplateSQLITE::addCriteria";
    if (criteria == nullptr) refuse(fn, "no criteria");
    const std::shared_ptr<PEntity> e = ds_->entity(getEntityName().c_str(), fn);
    const std::string entityName = textOf(criteria->getEntityName());
    if (!entityName.empty() && lowerName(entityName.c_str()) != lowerName(e->name.c_str()))
        refuse(fn, "a criterion of " + entityName + " in a template of " + e->name);
    const PAttr* a = e->find(criteria->getAttrName().c_str());
    if (a == nullptr) refuse(fn, e->name + "." + textOf(criteria->getAttrName()), kMsgNoAttr);
    const std::vector<short> ops = operatorsOf(*criteria);
    if (ops.empty()) refuse(fn, "a criterion needs at least one operator");
    for (short op : ops)
        if (!comparison(op)) refuse(fn, "operator " + std::to_string(op) + " compares no attribute");
    const std::string name = criteria->getName().length() != 0 ? textOf(criteria->getName()) : a->name;
    checkedName(name, "a criterion", fn);
    if (getCriteria(name.c_str()) != nullptr) refuse(fn, "template " + textOf(getName()) + " has a criterion " + name);
    criteria->setName(name.c_str());
    criteria->setEntityName(e->name.c_str());
    criteria->setAttrName(a->name.c_str());
    criteria->setDataType(static_cast<short>(a->type));
    if (criteria->getDefaultOperator() == 0) criteria->setDefaultOperator(ops.front());
    criteria_.emplace_back(criteria);
}

void PSearchTemplate::removeCriteria(const char* name) {
    DKSearchCriteria* c = getCriteria(name);
    criteria_.erase(std::remove_if(criteria_.begin(), criteria_.end(), [&](const auto& p) { return p.get() == c; }),
                    criteria_.end());
}

void PSearchTemplate::setOperator(const char* criteriaName, short op) {
    static const char* const fn = "DKSearchTemplateSQLITE::setOperator";
    DKSearchCriteria& c = criterion(criteriaName, fn);
    const std::vector<short> ops = operatorsOf(c);
    if (std::find(ops.begin(), ops.end(), op) == ops.end())
        refuse(fn, "criterion " + textOf(c.getName()) + " does not allow operator " + std::to_string(op));
    c.setOperator(op);
}

short PSearchTemplate::getOperator(const char* criteriaName) {
    return criterion(criteriaName, "DKSearchTemplateSQLITE::getOperator").getOperator();
}

void PSearchTemplate::setValue(const char* criteriaName, const char* value) {
    static const char* const fn = "DKSearchTemplateSQLITE::setValue";
    DKSearchCriteria& c = criterion(criteriaName, fn);
    c.setValue(value);
    if (c.getOperator() == 0) c.setOperator(c.getDefaultOperator());
}

void PSearchTemplate::setValues(const char* criteriaName, const DKString* values, long count) {
    static const char* const fn = "DKSearchTemplateSQLITE::setValues";
    DKSearchCriteria& c = criterion(criteriaName, fn);
    c.setValues(values, count);
    if (c.getOperator() == 0) c.setOperator(c.getDefaultOperator());
}

DKString* PSearchTemplate::getValues(const char* criteriaName, long& count) {
    return criterion(criteriaName, "DKSearchTemplateSQLITE::getValues").getValues(count);
}

void PSearchTemplate::clearValues(const char* criteriaName) {
    static const char* const fn = "DKSearchTemplateSQLITE::clearValues";
    DKSearchCriteria& old = criterion(criteriaName, fn);
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

void PSearchTemplate::clearAllValues() {
    for (size_t i = 0; i < criteria_.size(); ++i) clearValues(criteria_[i]->getName().c_str());
}

int PSearchTemplate::isComplete() {
    return std::any_of(criteria_.begin(), criteria_.end(), [](const auto& c) { return c->isSet() != 0; }) ? 1 : 0;
}

DKCQExpr* PSearchTemplate::createCQExpr() {
    static const char* const fn = "DKSearchTemplateSQLITE::createCQExpr";
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
    leaf->setQLType(kTemplateType);
    leaf->addSubQuery(sub.release());
    auto tree = std::make_unique<DKCQExpr>(leaf.release());
    tree->setQLType(kTemplateType);
    tree->setDatastoreType(kPidType);
    tree->setDatastoreName(ds_->repositoryName().c_str());
    tree->setSearchTemplateName(getName().c_str());
    return tree.release();
}

void PSearchTemplate::load(sqlite3_stmt* rows) {
    const std::string entity = textOf(getEntityName());
    std::shared_ptr<PEntity> e;
    auto it = ds_->entities_.find(lowerName(entity.c_str()));
    if (it != ds_->entities_.end()) e = it->second;
    criteria_.clear();
    int rc;
    while ((rc = sqlite3_step(rows)) == SQLITE_ROW) {
        const std::string attr = textColumn(rows, 0);
        auto c = std::make_unique<DKSearchCriteria>(entity.c_str(), attr.c_str());
        c->setName(attr.c_str());
        std::vector<short> ops;
        const std::string text = textColumn(rows, 1);
        for (size_t at = 0; at < text.size();) {
            size_t end = text.find(',', at);
            if (end == std::string::npos) end = text.size();
            ops.push_back(static_cast<short>(std::atoi(text.substr(at, end - at).c_str())));
            at = end + 1;
        }
        if (!ops.empty()) {
            c->setValidOperators(ops.data(), static_cast<long>(ops.size()));
            c->setDefaultOperator(ops.front());
        }
        const PAttr* a = e ? e->find(attr.c_str()) : nullptr;
        if (a != nullptr) c->setDataType(static_cast<short>(a->type));
        criteria_.push_back(std::move(c));
    }
    if (rc != SQLITE_DONE) throwSqlite(ds_->db_, rc, kSource, "DKSearchTemplateSQLITE::retrieve", "reading a template");
}

void PSearchTemplate::store(bool replace, const char* function) {
    sqlite3* d = ds_->writable(function);
    const std::string name = checkedName(textOf(getName()), "a template", function);
    const std::shared_ptr<PEntity> e = ds_->entity(getEntityName().c_str(), function);
    if (criteria_.empty()) refuse(function, "template " + name + " has no criterion");
    for (auto& c : criteria_)
        if (e->find(c->getAttrName().c_str()) == nullptr) refuse(function, e->name + "." + textOf(c->getAttrName()), kMsgNoAttr);
    ds_->ensureTemplateTables(function);
    DKDatastoreSQLITE::PWriteScope scope(*ds_, function);
    const int held = exists();
    if (held != 0 && !replace) refuse(function, "a template named " + name + " exists");
    if (held == 0 && replace) refuse(function, "no template named " + name);
    for (const char* sql : {"DELETE FROM dk_templates WHERE name = ?1", "DELETE FROM dk_template_criteria WHERE template = ?1"}) {
        PStmt s = prepare(d, sql, kSource, function);
        bindName(s.get(), 1, name);
        stepDone(d, s.get(), kSource, function, "storing a template");
    }
    PStmt t = prepare(d, "INSERT INTO dk_templates(name, entity, description) VALUES (?1, ?2, ?3)", kSource, function);
    bindName(t.get(), 1, name);
    bindName(t.get(), 2, e->name);
    bindName(t.get(), 3, textOf(getDescription()));
    stepDone(d, t.get(), kSource, function, "storing a template");
    PStmt c = prepare(d, "INSERT INTO dk_template_criteria VALUES (?1, ?2, ?3, ?4)", kSource, function);
    for (size_t i = 0; i < criteria_.size(); ++i) {
        std::string ops;
        for (short op : operatorsOf(*criteria_[i])) ops += (ops.empty() ? "" : ",") + std::to_string(op);
        sqlite3_reset(c.get());
        bindName(c.get(), 1, name);
        sqlite3_bind_int64(c.get(), 2, static_cast<sqlite3_int64>(i + 1));
        bindName(c.get(), 3, textOf(criteria_[i]->getAttrName()));
        bindName(c.get(), 4, ops);
        stepDone(d, c.get(), kSource, function, "storing a template");
    }
    scope.commit();
}

void PSearchTemplate::add() { store(false, "DKSearchTemplateSQLITE::add"); }
void PSearchTemplate::update() { store(true, "DKSearchTemplateSQLITE::update"); }

void PSearchTemplate::del() {
    static const char* const fn = "DKSearchTemplateSQLITE::del";
    sqlite3* d = ds_->writable(fn);
    if (exists() == 0) refuse(fn, "no template named " + textOf(getName()));
    DKDatastoreSQLITE::PWriteScope scope(*ds_, fn);
    for (const char* sql : {"DELETE FROM dk_templates WHERE name = ?1", "DELETE FROM dk_template_criteria WHERE template = ?1"}) {
        PStmt s = prepare(d, sql, kSource, fn);
        bindName(s.get(), 1, textOf(getName()));
        stepDone(d, s.get(), kSource, fn, "deleting a template");
    }
    scope.commit();
}

int PSearchTemplate::exists() {
    static const char* const fn = "DKSearchTemplateSQLITE::exists";
    sqlite3* d = ds_->db(fn);
    if (!ds_->hasTemplateTables(fn)) return 0;
    PStmt s = prepare(d, "SELECT count(*) FROM dk_templates WHERE name = ?1", kSource, fn);
    bindName(s.get(), 1, textOf(getName()));
    return stepCount(d, s.get(), kSource, fn, "reading the templates") != 0 ? 1 : 0;
}

void PSearchTemplate::retrieve() {
    static const char* const fn = "DKSearchTemplateSQLITE::retrieve";
    sqlite3* d = ds_->db(fn);
    if (exists() == 0) refuse(fn, "no template named " + textOf(getName()));
    ds_->loadEntities(fn);
    PStmt t = prepare(d, "SELECT entity FROM dk_templates WHERE name = ?1", kSource, fn);
    bindName(t.get(), 1, textOf(getName()));
    if (sqlite3_step(t.get()) == SQLITE_ROW) setEntityName(textColumn(t.get(), 0).c_str());
    PStmt c = prepare(d, "SELECT attr, operators FROM dk_template_criteria WHERE template = ?1 ORDER BY position", kSource, fn);
    bindName(c.get(), 1, textOf(getName()));
    load(c.get());
}

dkSearchTemplate* PTemplates::createSearchTemplate(const char* name, const char* entity) {
    ds_->db("DKTemplatesSQLITE::createSearchTemplate");
    return new PSearchTemplate(ds_, name ? name : "", entity ? entity : "");
}

// ---------------------------------------------------------------------------------------------
// The datastore's side

dkExtension* DKDatastoreSQLITE::templatesExtension(const char* function) {
    db(function);
    if (!templates_) templates_ = std::make_shared<PTemplates>(this);
    return templates_.get();
}

bool DKDatastoreSQLITE::hasTemplateTables(const char* function) {
    PStmt s = prepare(db(function),
                      "SELECT count(*) FROM sqlite_schema WHERE type = 'table' AND name IN"
                      " ('dk_templates', 'dk_template_criteria', 'dk_mappings', 'dk_mapping_attrs')",
                      kSource, function);
    return stepCount(db_, s.get(), kSource, function, "reading the catalogue") == 4;
}

void DKDatastoreSQLITE::ensureTemplateTables(const char* function) {
    if (readOnly_ || hasTemplateTables(function)) return;
    exec(writable(function), kCreateTables, kSource, function);
}

dkCollection* DKDatastoreSQLITE::listSearchTemplates() {
    static const char* const fn = "DKDatastoreSQLITE::listSearchTemplates";
    DKTraceScope t(trace_, fn, this);
    sqlite3* d = db(fn);
    auto list = std::make_unique<PTemplateCollection>();
    if (!hasTemplateTables(fn)) return list.release();
    loadEntities(fn);
    PStmt all = prepare(d, "SELECT name, entity FROM dk_templates ORDER BY name", kSource, fn);
    PStmt criteria = prepare(d, "SELECT attr, operators FROM dk_template_criteria WHERE template = ?1 ORDER BY position",
                             kSource, fn);
    int rc;
    while ((rc = sqlite3_step(all.get())) == SQLITE_ROW) {
        auto tpl = std::make_unique<PSearchTemplate>(this, textColumn(all.get(), 0).c_str(), textColumn(all.get(), 1).c_str());
        sqlite3_reset(criteria.get());
        bindText(criteria.get(), 1, textColumn(all.get(), 0));
        tpl->load(criteria.get());
        list->add(tpl.release());
    }
    if (rc != SQLITE_DONE) throwSqlite(d, rc, kSource, fn, "reading the templates");
    return list.release();
}

DKString* DKDatastoreSQLITE::listSearchTemplateNames(long& count) {
    std::unique_ptr<dkCollection> all(listSearchTemplates());
    count = static_cast<long>(all->cardinality());
    DKString* names = new DKString[count > 0 ? static_cast<size_t>(count) : 1];
    std::unique_ptr<dkIterator> it(all->createIterator());
    for (long i = 0; it->more(); ++i) names[i] = static_cast<dkSearchTemplate*>(static_cast<void*>(*it->next()))->getName();
    return names;
}

DKString DKDatastoreSQLITE::registerMapping(DKNVPair* source) {
    static const char* const fn = "DKDatastoreSQLITE::registerMapping";
    DKTraceScope t(trace_, fn, this);
    sqlite3* d = writable(fn);
    if (source == nullptr) refuse(fn, "no pairs");
    std::string name, native, mapped;
    std::vector<std::pair<std::string, std::string>> attrs;   // mapped, native
    for (const DKNVPair* p = source; p->getName().length() != 0 && p->getName() != kEndMark; ++p) {
        const std::string key = lowerName(p->getName().c_str());
        const DKAny value = p->getValue();
        if (value.typeCode() != DKAny::tc_string) refuse(fn, "the value of " + key + " is no string");
        const std::string text = textOf(static_cast<DKString>(value));
        if (key == "name") {
            name = text;
        } else if (key == "entity") {
            native = text;
        } else if (key == "mappedentity") {
            mapped = text;
        } else if (key == "attr") {
            const size_t eq = text.find('=');
            if (eq == std::string::npos) refuse(fn, "attr takes MAPPED=NATIVE: " + text);
            attrs.emplace_back(text.substr(0, eq), text.substr(eq + 1));
        } else {
            refuse(fn, "unknown pair " + textOf(p->getName()));
        }
    }
    checkedName(name, "a mapping", fn);
    checkedName(mapped, "a mapped entity", fn);
    const std::shared_ptr<PEntity> e = entity(native.c_str(), fn);
    if (attrs.empty()) refuse(fn, "mapping " + name + " maps no attribute");
    std::set<std::string> seen;
    for (auto& [m, n] : attrs) {
        checkedName(m, "a mapped attribute", fn);
        if (!seen.insert(lowerName(m.c_str())).second) refuse(fn, "mapped attribute " + m + " given twice");
        const PAttr* a = e->find(n.c_str());
        if (a == nullptr) refuse(fn, e->name + "." + n, kMsgNoAttr);
        n = a->name;
    }
    ensureTemplateTables(fn);
    PWriteScope scope(*this, fn);
    PStmt held = prepare(d, "SELECT count(*) FROM dk_mappings WHERE name = ?1", kSource, fn);
    bindName(held.get(), 1, name);
    if (stepCount(d, held.get(), kSource, fn, "reading the mappings") != 0) refuse(fn, "a mapping named " + name + " exists");
    PStmt m = prepare(d, "INSERT INTO dk_mappings VALUES (?1, ?2, ?3)", kSource, fn);
    bindName(m.get(), 1, name);
    bindName(m.get(), 2, e->name);
    bindName(m.get(), 3, mapped);
    stepDone(d, m.get(), kSource, fn, "storing a mapping");
    PStmt a = prepare(d, "INSERT INTO dk_mapping_attrs VALUES (?1, ?2, ?3, ?4)", kSource, fn);
    for (size_t i = 0; i < attrs.size(); ++i) {
        sqlite3_reset(a.get());
        bindName(a.get(), 1, name);
        sqlite3_bind_int64(a.get(), 2, static_cast<sqlite3_int64>(i + 1));
        bindName(a.get(), 3, attrs[i].first);
        bindName(a.get(), 4, attrs[i].second);
        stepDone(d, a.get(), kSource, fn, "storing a mapping");
    }
    scope.commit();
    mappings_.erase(lowerName(name.c_str()));
    return DKString(name);
}

void DKDatastoreSQLITE::unRegisterMapping(const char* name) {
    static const char* const fn = "DKDatastoreSQLITE::unRegisterMapping";
    DKTraceScope t(trace_, fn, this);
    sqlite3* d = writable(fn);
    const std::string n = name ? name : "";
    if (!hasTemplateTables(fn)) refuse(fn, "no mapping named " + n);
    PWriteScope scope(*this, fn);
    PStmt m = prepare(d, "DELETE FROM dk_mappings WHERE name = ?1", kSource, fn);
    bindName(m.get(), 1, n);
    stepDone(d, m.get(), kSource, fn, "deleting a mapping");
    if (sqlite3_changes(d) == 0) refuse(fn, "no mapping named " + n);
    PStmt a = prepare(d, "DELETE FROM dk_mapping_attrs WHERE mapping = ?1", kSource, fn);
    bindName(a.get(), 1, n);
    stepDone(d, a.get(), kSource, fn, "deleting a mapping");
    scope.commit();
    mappings_.erase(lowerName(n.c_str()));
}

DKString* DKDatastoreSQLITE::listMappingNames(long& count) {
    static const char* const fn = "DKDatastoreSQLITE::listMappingNames";
    sqlite3* d = db(fn);
    std::vector<std::string> names;
    if (hasTemplateTables(fn)) {
        PStmt s = prepare(d, "SELECT name FROM dk_mappings ORDER BY name", kSource, fn);
        int rc;
        while ((rc = sqlite3_step(s.get())) == SQLITE_ROW) names.push_back(textColumn(s.get(), 0));
        if (rc != SQLITE_DONE) throwSqlite(d, rc, kSource, fn, "reading the mappings");
    }
    count = static_cast<long>(names.size());
    DKString* out = new DKString[names.empty() ? 1 : names.size()];
    for (size_t i = 0; i < names.size(); ++i) out[i] = DKString(names[i]);
    return out;
}

dkSchemaMapping* DKDatastoreSQLITE::getMapping(const char* name) {
    static const char* const fn = "DKDatastoreSQLITE::getMapping";
    sqlite3* d = db(fn);
    const std::string n = name ? name : "";
    auto kept = mappings_.find(lowerName(n.c_str()));
    if (kept != mappings_.end()) return kept->second.get();
    if (!hasTemplateTables(fn)) return nullptr;
    PStmt m = prepare(d, "SELECT name, entity, mapped_entity FROM dk_mappings WHERE name = ?1", kSource, fn);
    bindName(m.get(), 1, n);
    if (sqlite3_step(m.get()) != SQLITE_ROW) return nullptr;
    auto schema = std::make_shared<PSchemaMapping>();
    const std::string native = textColumn(m.get(), 1);
    schema->setName(textColumn(m.get(), 0).c_str());
    schema->setServerName(repositoryName_.c_str());
    schema->setServerType(kPidType);
    schema->setEntityName(native.c_str());
    schema->setMappedEntityName(textColumn(m.get(), 2).c_str());
    loadEntities(fn);
    auto e = entities_.find(lowerName(native.c_str()));
    PStmt a = prepare(d, "SELECT mapped, native FROM dk_mapping_attrs WHERE mapping = ?1 ORDER BY position", kSource, fn);
    bindName(a.get(), 1, n);
    while (sqlite3_step(a.get()) == SQLITE_ROW) {
        auto attr = std::make_unique<PAttrMapping>(schema.get());
        auto from = std::make_unique<DKAttrDefSQLITE>(this, nullptr);
        from->setName(textColumn(a.get(), 0).c_str());
        attr->addMappedAttr(from.release());
        auto to = std::make_unique<DKAttrDefSQLITE>(this, nullptr);
        const PAttr* p = e != entities_.end() ? e->second->find(textColumn(a.get(), 1).c_str()) : nullptr;
        if (p != nullptr) to->load(*p, native.c_str());
        else to->setName(textColumn(a.get(), 1).c_str());
        attr->addMapToAttr(to.release());
        attr->getName();   // named after its mapped attribute
        schema->addAttrMapping(attr.release());
    }
    mappings_[lowerName(n.c_str())] = schema;
    return schema.get();
}

PMapping DKDatastoreSQLITE::nativeNames(const std::string& mapping, const char* function) {
    dkSchemaMapping* m = getMapping(mapping.c_str());
    if (m == nullptr) refuse(function, "no mapping named " + mapping);
    PMapping out;
    out.entity = textOf(m->getEntityName());
    out.mappedEntity = textOf(m->getMappedEntityName());
    long count = 0;
    std::unique_ptr<DKString[]> names(m->listAttrMappingNames(count));
    for (long i = 0; i < count; ++i) {
        dkAttrMapping* a = m->getAttrMapping(names[i].c_str());
        const short conversion = a != nullptr ? a->checkConversion() : -1;
        if (conversion != 0)
            refuse(function, "mapping " + mapping + ": " + textOf(names[i]) + " is not one to one without conversion (" +
                                 std::to_string(conversion) + ")");
        out.attrs[lowerName(a->getMappedAttrName().c_str())] = textOf(a->getMapToAttrName());
    }
    return out;
}
