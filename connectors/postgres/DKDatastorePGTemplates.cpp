// connectors/postgres/DKDatastorePGTemplates.cpp
//
// Search templates and schema mappings of the PostgreSQL connector, kept in four dk_ tables of
// the repository; what they mean is the connector kit's (PTemplateKit.hpp), so the same calls
// give the same answers as on SQLite. Names are kept as given and matched by their ASCII lower
// case (the key columns), as the catalogue's names are. Every value is a parameter, never text
// of a statement. Each change is one transaction (a savepoint in the caller's): a template or
// mapping is stored whole or not at all, and two sessions storing one name store it once.

#include "DKDatastorePG.hpp"
#include "DKDatastoreDefPG.hpp"
#include "PPgTemplates.hpp"

#include <dk/DKException.hpp>
#include <dk/dkThrow.hpp>

#include <libpq-fe.h>

#include <cstring>

using namespace dkpg;

namespace {

constexpr const char* kSource = kDatastoreSource;

// The tables, made with the catalogue and, in a repository made before them, at connect. A
// template's criteria and a mapping's attributes go with it.
constexpr const char* kCreateTables =
    "CREATE TABLE public.dk_templates (key text PRIMARY KEY, name text NOT NULL, entity text NOT NULL, "
    "description text NOT NULL);"
    "CREATE TABLE public.dk_template_criteria (template text NOT NULL REFERENCES public.dk_templates "
    "ON DELETE CASCADE ON UPDATE CASCADE, position integer NOT NULL, attr text NOT NULL, operators text NOT NULL, "
    "PRIMARY KEY (template, position));"
    "CREATE TABLE public.dk_mappings (key text PRIMARY KEY, name text NOT NULL, entity text NOT NULL, "
    "mapped_entity text NOT NULL);"
    "CREATE TABLE public.dk_mapping_attrs (mapping text NOT NULL REFERENCES public.dk_mappings ON DELETE CASCADE, "
    "position integer NOT NULL, mapped text NOT NULL, native text NOT NULL, PRIMARY KEY (mapping, position))";

const PTemplateRules kRules{kSource, "DKSearchTemplatePG", kPidType, kMsgNoAttr};

[[noreturn]] void refuse(const char* function, const std::string& why) {
    dkThrow<DKUsageError>(303, kSource, function, DKString(": " + why));
}

std::string textOf(const DKString& s) { return std::string(s.c_str(), static_cast<size_t>(s.length())); }

std::string key(const std::string& name) { return PTemplateNames::key(name); }

}  // namespace

// ---------------------------------------------------------------------------------------------
// Templates

PSearchTemplatePG::PSearchTemplatePG(DKDatastorePG* ds, const char* name, const char* entity)
    : PSearchTemplateBase(ds, name, entity, kRules), ds_(ds) {}

std::string PSearchTemplatePG::repositoryName() { return ds_->repositoryName(); }

void PSearchTemplatePG::load(const pg_result* rows) {
    std::shared_ptr<PEntity> e;
    auto it = ds_->entities_.find(lowerName(getEntityName().c_str()));
    if (it != ds_->entities_.end()) e = it->second;
    clearCriteria();
    for (int row = 0; row < PQntuples(rows); ++row) {
        const std::string attr = PQgetvalue(rows, row, 0);
        const PAttr* a = e ? e->find(attr.c_str()) : nullptr;
        addStoredCriterion(attr, PQgetvalue(rows, row, 1), a != nullptr ? static_cast<short>(a->type) : 0);
    }
}

void PSearchTemplatePG::store(bool replace, const char* function) {
    PGconn* c = ds_->conn(function);
    const std::string entity = checkedForStore(function);
    const std::string name = textOf(getName());
    DKDatastorePG::PTransaction t(*ds_, function);
    // The key's row is written first, so a second session storing the same name waits for this one.
    PResult held = run(c,
                       replace ? "UPDATE public.dk_templates SET name = $2, entity = $3, description = $4 WHERE key = $1 "
                                 "RETURNING key"
                               : "INSERT INTO public.dk_templates VALUES ($1, $2, $3, $4) ON CONFLICT DO NOTHING RETURNING key",
                       {key(name), name, entity, textOf(getDescription())}, kSource, function, "storing a template");
    if (PQntuples(held.get()) == 0) refuse(function, (replace ? "no template named " : "a template named ") + name +
                                                         (replace ? "" : " exists"));
    run(c, "DELETE FROM public.dk_template_criteria WHERE template = $1", {key(name)}, kSource, function, "storing a template");
    for (size_t i = 0; i < criteria().size(); ++i)
        run(c, "INSERT INTO public.dk_template_criteria VALUES ($1, $2, $3, $4)",
            {key(name), std::to_string(i + 1), textOf(criteria()[i]->getAttrName()), operatorText(*criteria()[i])}, kSource,
            function, "storing a template");
    t.commit();
}

void PSearchTemplatePG::add() { store(false, "DKSearchTemplatePG::add"); }
void PSearchTemplatePG::update() { store(true, "DKSearchTemplatePG::update"); }

void PSearchTemplatePG::del() {
    static const char* const fn = "DKSearchTemplatePG::del";
    PGconn* c = ds_->conn(fn);
    DKDatastorePG::PTransaction t(*ds_, fn);
    PResult gone = run(c, "DELETE FROM public.dk_templates WHERE key = $1 RETURNING key", {key(textOf(getName()))}, kSource,
                       fn, "deleting a template");
    if (PQntuples(gone.get()) == 0) refuse(fn, "no template named " + textOf(getName()));
    t.commit();
}

int PSearchTemplatePG::exists() {
    static const char* const fn = "DKSearchTemplatePG::exists";
    PResult r = run(ds_->conn(fn), "SELECT count(*) FROM public.dk_templates WHERE key = $1", {key(textOf(getName()))},
                    kSource, fn, "reading the templates");
    return std::strcmp(PQgetvalue(r.get(), 0, 0), "0") != 0 ? 1 : 0;
}

void PSearchTemplatePG::retrieve() {
    static const char* const fn = "DKSearchTemplatePG::retrieve";
    PGconn* c = ds_->conn(fn);
    const std::string k = key(textOf(getName()));
    PResult t = run(c, "SELECT entity FROM public.dk_templates WHERE key = $1", {k}, kSource, fn, "reading a template");
    if (PQntuples(t.get()) == 0) refuse(fn, "no template named " + textOf(getName()));
    setEntityName(PQgetvalue(t.get(), 0, 0));
    ds_->loadEntities(fn);
    PResult rows = run(c, "SELECT attr, operators FROM public.dk_template_criteria WHERE template = $1 ORDER BY position", {k},
                       kSource, fn, "reading a template");
    load(rows.get());
}

dkSearchTemplate* PTemplatesPG::createSearchTemplate(const char* name, const char* entity) {
    ds_->conn("DKTemplatesPG::createSearchTemplate");
    return new PSearchTemplatePG(ds_, name ? name : "", entity ? entity : "");
}

// ---------------------------------------------------------------------------------------------
// The datastore's side

void DKDatastorePG::ensureTemplateTables(pg_conn* c, const char* function) {
    PResult found = run(c, "SELECT to_regclass('public.dk_templates') IS NULL", {}, kSource, function, "reading the catalogue");
    if (std::strcmp(PQgetvalue(found.get(), 0, 0), "t") != 0) return;
    // A role that may not create tables still opens a repository made before templates were
    // kept; its template operations then fail on the missing tables.
    run(c, "SAVEPOINT dk_templates", {}, kSource, function, "creating the template tables");
    PResult made(PQexec(c, kCreateTables), PQclear);
    const char* state = PQresultErrorField(made.get(), PG_DIAG_SQLSTATE);
    if (PQresultStatus(made.get()) != PGRES_COMMAND_OK && !(state && std::strcmp(state, "42501") == 0))
        throwPg(c, made.get(), kSource, function, DKString("creating the template tables"));
    run(c, PQresultStatus(made.get()) == PGRES_COMMAND_OK ? "RELEASE SAVEPOINT dk_templates" : "ROLLBACK TO SAVEPOINT dk_templates",
        {}, kSource, function, "creating the template tables");
}

dkExtension* DKDatastorePG::templatesExtension(const char* function) {
    conn(function);
    if (!templates_) templates_ = std::make_unique<PTemplatesPG>(this);
    return templates_.get();
}

dkCollection* DKDatastorePG::listSearchTemplates() {
    static const char* const fn = "DKDatastorePG::listSearchTemplates";
    DKTraceScope t(trace_, fn, this);
    PGconn* c = conn(fn);
    loadEntities(fn);
    auto list = std::make_unique<PTemplateCollection>();
    PResult all = run(c, "SELECT name, entity, key FROM public.dk_templates ORDER BY key", {}, kSource, fn,
                      "reading the templates");
    for (int row = 0; row < PQntuples(all.get()); ++row) {
        auto tpl = std::make_unique<PSearchTemplatePG>(this, PQgetvalue(all.get(), row, 0), PQgetvalue(all.get(), row, 1));
        PResult criteria = run(c, "SELECT attr, operators FROM public.dk_template_criteria WHERE template = $1 ORDER BY position",
                               {PQgetvalue(all.get(), row, 2)}, kSource, fn, "reading the templates");
        tpl->load(criteria.get());
        list->add(tpl.release());
    }
    return list.release();
}

DKString* DKDatastorePG::listSearchTemplateNames(long& count) {
    std::unique_ptr<PTemplateCollection> all(static_cast<PTemplateCollection*>(listSearchTemplates()));
    return all->names(count);
}

DKString DKDatastorePG::registerMapping(DKNVPair* source) {
    static const char* const fn = "DKDatastorePG::registerMapping";
    DKTraceScope t(trace_, fn, this);
    PGconn* c = conn(fn);
    PMappingRequest request = PMappingRequest::read(source, kSource, fn);
    const std::shared_ptr<PEntity> e = entity(request.entity.c_str(), fn);
    if (request.attrs.empty()) refuse(fn, "mapping " + request.name + " maps no attribute");
    for (auto& attr : request.attrs) {
        const PAttr* a = e->find(attr.second.c_str());
        if (a == nullptr) dkThrow<DKUsageError>(kMsgNoAttr, kSource, fn, DKString((e->name + "." + attr.second).c_str()));
        attr.second = a->name;
    }
    const std::string k = key(request.name);
    PTransaction unit(*this, fn);
    PResult held = run(c, "INSERT INTO public.dk_mappings VALUES ($1, $2, $3, $4) ON CONFLICT DO NOTHING RETURNING key",
                       {k, request.name, e->name, request.mappedEntity}, kSource, fn, "storing a mapping");
    if (PQntuples(held.get()) == 0) refuse(fn, "a mapping named " + request.name + " exists");
    for (size_t i = 0; i < request.attrs.size(); ++i)
        run(c, "INSERT INTO public.dk_mapping_attrs VALUES ($1, $2, $3, $4)",
            {k, std::to_string(i + 1), request.attrs[i].first, request.attrs[i].second}, kSource, fn, "storing a mapping");
    unit.commit();
    mappings_.erase(k);
    return DKString(request.name.c_str());
}

void DKDatastorePG::unRegisterMapping(const char* name) {
    static const char* const fn = "DKDatastorePG::unRegisterMapping";
    DKTraceScope t(trace_, fn, this);
    PGconn* c = conn(fn);
    const std::string n = name ? name : "";
    PTransaction unit(*this, fn);
    PResult gone = run(c, "DELETE FROM public.dk_mappings WHERE key = $1 RETURNING key", {key(n)}, kSource, fn,
                       "deleting a mapping");
    if (PQntuples(gone.get()) == 0) refuse(fn, "no mapping named " + n);
    unit.commit();
    mappings_.erase(key(n));
}

DKString* DKDatastorePG::listMappingNames(long& count) {
    static const char* const fn = "DKDatastorePG::listMappingNames";
    PResult r = run(conn(fn), "SELECT name FROM public.dk_mappings ORDER BY key", {}, kSource, fn, "reading the mappings");
    return PNameArray(static_cast<size_t>(PQntuples(r.get())), count,
                      [&](size_t i) { return DKString(PQgetvalue(r.get(), static_cast<int>(i), 0)); });
}

dkSchemaMapping* DKDatastorePG::getMapping(const char* name) {
    static const char* const fn = "DKDatastorePG::getMapping";
    PGconn* c = conn(fn);
    const std::string k = key(name ? name : "");
    auto kept = mappings_.find(k);
    if (kept != mappings_.end()) return kept->second.get();
    PResult m = run(c, "SELECT name, entity, mapped_entity FROM public.dk_mappings WHERE key = $1", {k}, kSource, fn,
                    "reading the mappings");
    if (PQntuples(m.get()) == 0) return nullptr;
    const std::string native = PQgetvalue(m.get(), 0, 1);
    PResult rows = run(c, "SELECT mapped, native FROM public.dk_mapping_attrs WHERE mapping = $1 ORDER BY position", {k},
                       kSource, fn, "reading the mappings");
    std::vector<std::pair<std::string, std::string>> attrs;
    for (int row = 0; row < PQntuples(rows.get()); ++row)
        attrs.emplace_back(PQgetvalue(rows.get(), row, 0), PQgetvalue(rows.get(), row, 1));
    loadEntities(fn);
    auto e = entities_.find(lowerName(native.c_str()));
    std::shared_ptr<dkSchemaMapping> schema =
        PSchemaMapping::build(PQgetvalue(m.get(), 0, 0), repositoryName_, kPidType, native, PQgetvalue(m.get(), 0, 2), attrs,
                              e != entities_.end() ? e->second.get() : nullptr,
                              [this] { return std::make_unique<DKAttrDefPG>(this, nullptr); });
    mappings_[k] = schema;
    return schema.get();
}

PMappingNames DKDatastorePG::nativeNames(const std::string& mapping, const char* function) {
    return PMappingNames::of(getMapping(mapping.c_str()), mapping, kSource, function);
}
