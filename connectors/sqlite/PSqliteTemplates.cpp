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
#include <dk/dkThrow.hpp>

#include <sqlite3.h>


using namespace dksqlite;

namespace {

constexpr const char* kSource = kDatastoreSource;

constexpr const char* kCreateTables =
    "CREATE TABLE IF NOT EXISTS dk_templates(name TEXT PRIMARY KEY COLLATE NOCASE, entity TEXT NOT NULL,"
    " description TEXT NOT NULL DEFAULT '');"
    "CREATE TABLE IF NOT EXISTS dk_template_criteria(template TEXT NOT NULL COLLATE NOCASE,"
    " position INTEGER NOT NULL, attr TEXT NOT NULL, operators TEXT NOT NULL, PRIMARY KEY(template, position));"
    "CREATE TABLE IF NOT EXISTS dk_mappings(name TEXT PRIMARY KEY COLLATE NOCASE, entity TEXT NOT NULL,"
    " mapped_entity TEXT NOT NULL);"
    "CREATE TABLE IF NOT EXISTS dk_mapping_attrs(mapping TEXT NOT NULL COLLATE NOCASE, position INTEGER NOT NULL,"
    " mapped TEXT NOT NULL, native TEXT NOT NULL, PRIMARY KEY(mapping, position));";

const PTemplateRules kRules{kSource, "DKSearchTemplateSQLITE", kPidType, kMsgNoAttr};

[[noreturn]] void refuse(const char* function, const std::string& why, long msg = 303) {
    dkThrow<DKUsageError>(msg, kSource, function, DKString(msg == 303 ? ": " + why : why));
}

std::string textOf(const DKString& s) { return std::string(s.c_str(), static_cast<size_t>(s.length())); }

void bindName(sqlite3_stmt* s, int i, const std::string& text) { bindText(s, i, text); }

}  // namespace

// ---------------------------------------------------------------------------------------------
// Templates

PSearchTemplate::PSearchTemplate(DKDatastoreSQLITE* ds, const char* name, const char* entity)
    : PSearchTemplateBase(ds, name, entity, kRules), ds_(ds) {}

std::string PSearchTemplate::repositoryName() { return ds_->repositoryName(); }

void PSearchTemplate::load(sqlite3_stmt* rows) {
    std::shared_ptr<PEntity> e;
    auto it = ds_->entities_.find(lowerName(getEntityName().c_str()));
    if (it != ds_->entities_.end()) e = it->second;
    clearCriteria();
    int rc;
    while ((rc = sqlite3_step(rows)) == SQLITE_ROW) {
        const std::string attr = textColumn(rows, 0);
        const PAttr* a = e ? e->find(attr.c_str()) : nullptr;
        addStoredCriterion(attr, textColumn(rows, 1), a != nullptr ? static_cast<short>(a->type) : 0);
    }
    if (rc != SQLITE_DONE) throwSqlite(ds_->db_, rc, kSource, "DKSearchTemplateSQLITE::retrieve", "reading a template");
}

void PSearchTemplate::store(bool replace, const char* function) {
    sqlite3* d = ds_->writable(function);
    const std::string entity = checkedForStore(function);
    const std::string name = textOf(getName());
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
    bindName(t.get(), 2, entity);
    bindName(t.get(), 3, textOf(getDescription()));
    stepDone(d, t.get(), kSource, function, "storing a template");
    PStmt c = prepare(d, "INSERT INTO dk_template_criteria VALUES (?1, ?2, ?3, ?4)", kSource, function);
    for (size_t i = 0; i < criteria().size(); ++i) {
        sqlite3_reset(c.get());
        bindName(c.get(), 1, name);
        sqlite3_bind_int64(c.get(), 2, static_cast<sqlite3_int64>(i + 1));
        bindName(c.get(), 3, textOf(criteria()[i]->getAttrName()));
        bindName(c.get(), 4, operatorText(*criteria()[i]));
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
    std::unique_ptr<PTemplateCollection> all(static_cast<PTemplateCollection*>(listSearchTemplates()));
    return all->names(count);
}

DKString DKDatastoreSQLITE::registerMapping(DKNVPair* source) {
    static const char* const fn = "DKDatastoreSQLITE::registerMapping";
    DKTraceScope t(trace_, fn, this);
    sqlite3* d = writable(fn);
    PMappingRequest request = PMappingRequest::read(source, kSource, fn);
    const std::string& name = request.name;
    const std::shared_ptr<PEntity> e = entity(request.entity.c_str(), fn);
    if (request.attrs.empty()) refuse(fn, "mapping " + name + " maps no attribute");
    for (auto& attr : request.attrs) {
        const PAttr* a = e->find(attr.second.c_str());
        if (a == nullptr) refuse(fn, e->name + "." + attr.second, kMsgNoAttr);
        attr.second = a->name;
    }
    ensureTemplateTables(fn);
    PWriteScope scope(*this, fn);
    PStmt held = prepare(d, "SELECT count(*) FROM dk_mappings WHERE name = ?1", kSource, fn);
    bindName(held.get(), 1, name);
    if (stepCount(d, held.get(), kSource, fn, "reading the mappings") != 0) refuse(fn, "a mapping named " + name + " exists");
    PStmt m = prepare(d, "INSERT INTO dk_mappings VALUES (?1, ?2, ?3)", kSource, fn);
    bindName(m.get(), 1, name);
    bindName(m.get(), 2, e->name);
    bindName(m.get(), 3, request.mappedEntity);
    stepDone(d, m.get(), kSource, fn, "storing a mapping");
    PStmt a = prepare(d, "INSERT INTO dk_mapping_attrs VALUES (?1, ?2, ?3, ?4)", kSource, fn);
    const auto& attrs = request.attrs;
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
    const std::string native = textColumn(m.get(), 1);
    loadEntities(fn);
    auto e = entities_.find(lowerName(native.c_str()));
    std::vector<std::pair<std::string, std::string>> attrs;
    PStmt a = prepare(d, "SELECT mapped, native FROM dk_mapping_attrs WHERE mapping = ?1 ORDER BY position", kSource, fn);
    bindName(a.get(), 1, n);
    while (sqlite3_step(a.get()) == SQLITE_ROW) attrs.emplace_back(textColumn(a.get(), 0), textColumn(a.get(), 1));
    std::shared_ptr<dkSchemaMapping> schema =
        PSchemaMapping::build(textColumn(m.get(), 0), repositoryName_, kPidType, native, textColumn(m.get(), 2), attrs,
                              e != entities_.end() ? e->second.get() : nullptr,
                              [this] { return std::make_unique<DKAttrDefSQLITE>(this, nullptr); });
    mappings_[lowerName(n.c_str())] = schema;
    return schema.get();
}

PMappingNames DKDatastoreSQLITE::nativeNames(const std::string& mapping, const char* function) {
    return PMappingNames::of(getMapping(mapping.c_str()), mapping, kSource, function);
}
