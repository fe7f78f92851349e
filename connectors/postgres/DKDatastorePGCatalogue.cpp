// connectors/postgres/DKDatastorePGCatalogue.cpp
//
// The catalogue of DKDatastorePG: entities and their attributes in dk_entities and dk_attrs, read
// into a cache of PEntity objects, and the schema changes that keep the catalogue and the entity
// tables in step. Every change runs in one transaction under the catalogue's advisory lock, so two
// sessions never make the same entity twice and a failure leaves neither table nor entry behind.
// Names are compared without case: an entity's table and an attribute's column are the name in
// lower case, while the catalogue keeps the name as given.

#include "DKDatastoreDefPG.hpp"
#include "DKDatastorePG.hpp"
#include "PPgAcls.hpp"
#include "PPgText.hpp"

#include <dk/DKException.hpp>
#include <dk/PMemberKit.hpp>
#include <dk/dkThrow.hpp>

#include <libpq-fe.h>

#include <algorithm>
#include <cstdlib>

using namespace dkpg;

namespace {

constexpr const char* kSource = kDatastoreSource;
// The advisory lock that serialises schema changes of one repository.
constexpr const char* kSchemaLock = "SELECT pg_advisory_xact_lock(7629)";

long number(const PGresult* r, int row, int col) { return std::strtol(PQgetvalue(r, row, col), nullptr, 10); }

std::string columnDefinition(const PAttr& a) {
    return quoteIdent(lowerName(a.name.c_str())) + " " + columnTypeOf(a.type) + (a.nullable ? "" : " NOT NULL");
}

void checkAttr(const PAttr& a, const char* function) {
    if (!isValidName(a.name.c_str())) dkThrow<DKUsageError>(kMsgBadName, kSource, function, DKString(a.name.c_str()));
    if (!isStorableType(a.type))
        dkThrow<DKUsageError>(kMsgBadType, kSource, function,
                              DKString(a.name.c_str()) + ": type code " + DKString(static_cast<long>(a.type)));
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// PEntity

void PEntity::prepare() {
    names = PAttributeNames(true);
    const std::string table = quoteIdent(lowerName(name.c_str()));
    std::string columns, markers;
    for (std::size_t k = 0; k < attrs.size(); ++k) {
        names.add(attrs[k].name.c_str());
        columns += (k ? ", " : "") + quoteIdent(lowerName(attrs[k].name.c_str()));
        markers += (k ? ", $" : "$") + std::to_string(k + 1);
    }
    insertSql = attrs.empty() ? "INSERT INTO " + table + " DEFAULT VALUES RETURNING " + kIdColumn
                              : "INSERT INTO " + table + " (" + columns + ") VALUES (" + markers + ") RETURNING " + kIdColumn;
    selectSql = std::string("SELECT ") + kIdColumn + (attrs.empty() ? "" : ", " + columns) + " FROM " + table + " WHERE " +
                kIdColumn + " = $1";
    // The item's content parts go with it, in the same statement.
    deleteSql = "WITH gone AS (DELETE FROM " + table + " WHERE " + kIdColumn + " = $1 RETURNING " + kIdColumn +
                ") SELECT public.dk_drop_parts(" + std::to_string(id) + ", " + kIdColumn + ") FROM gone";
    shape.reset();
}

DKDDODef* PEntity::shapeDefinition() {
    // A DDO may add items of its own to the shared definition; the next DDO then gets a fresh one.
    if (!shape || shape->definition()->dataCount() != attrs.size() + PMemberKit::count(type) + children.size()) {
        shape = std::make_unique<PEntityShape>();
        shape->addAttrs(attrs);
        PMemberKit::addItems(*shape, type);   // the membership collections follow the attributes
        PMemberKit::addChildItems(*shape, children);
    }
    return shape->definition();
}

const DKPid& PEntity::pidFor(const std::string& repository, long rowId) {
    return pid_.pidFor(kPidType, repository, name, rowId);
}

// ---------------------------------------------------------------------------------------------
// Reading the catalogue

void DKDatastorePG::loadEntities(const char* function) {
    if (entitiesLoaded_) return;
    PGconn* c = conn(function);
    // One snapshot for both tables, so an entity and its attributes agree.
    PResult r = run(c,
                    "SELECT e.id, e.name, e.type, e.description, a.name, a.type, a.nullable, a.size, a.prec, a.scale, "
                    "a.description, a.text_searchable, to_regclass('public.' || quote_ident(e.lname))::oid, "
                    "coalesce(to_jsonb(e) ->> 'parent', '') FROM public.dk_entities e "
                    "LEFT JOIN public.dk_attrs a ON a.entity = e.id "
                    "ORDER BY e.id, a.position",
                    {}, kSource, function, "reading the catalogue");
    std::map<std::string, std::shared_ptr<PEntity>> all;
    std::vector<std::shared_ptr<PEntity>> ordered;   // by id, so sub-entities are listed in the order made
    std::shared_ptr<PEntity> e;
    for (int row = 0; row < PQntuples(r.get()); ++row) {
        const short id = static_cast<short>(number(r.get(), row, 0));
        if (!e || e->id != id) {
            if (e) e->prepare();
            e = std::make_shared<PEntity>();
            e->id = id;
            e->name = PQgetvalue(r.get(), row, 1);
            e->type = static_cast<short>(number(r.get(), row, 2));
            e->description = PQgetvalue(r.get(), row, 3);
            e->table = static_cast<unsigned int>(std::strtoul(PQgetvalue(r.get(), row, 12), nullptr, 10));
            e->parent = PQgetvalue(r.get(), row, 13);
            all[lowerName(e->name.c_str())] = e;
            ordered.push_back(e);
        }
        if (PQgetisnull(r.get(), row, 4)) continue;
        PAttr a;
        a.name = PQgetvalue(r.get(), row, 4);
        a.type = static_cast<unsigned short>(number(r.get(), row, 5));
        a.id = static_cast<short>(e->attrs.size() + 1);
        a.nullable = static_cast<int>(number(r.get(), row, 6));
        a.size = number(r.get(), row, 7);
        a.precision = number(r.get(), row, 8);
        a.scale = number(r.get(), row, 9);
        a.description = PQgetvalue(r.get(), row, 10);
        a.textSearchable = static_cast<int>(number(r.get(), row, 11));
        e->attrs.push_back(std::move(a));
    }
    if (e) e->prepare();
    for (const auto& sub : ordered) {
        auto parent = sub->parent.empty() ? all.end() : all.find(lowerName(sub->parent.c_str()));
        if (parent != all.end()) parent->second->children.push_back(sub->name);
    }
    entities_.swap(all);
    entitiesLoaded_ = true;
}

std::shared_ptr<PEntity> DKDatastorePG::entity(const char* name, const char* function) {
    const std::string key = lowerName(name);
    for (int attempt = 0; attempt < 2; ++attempt) {
        loadEntities(function);
        auto it = entities_.find(key);
        if (it != entities_.end()) return it->second;
        // Another session may have made it since the cache was read.
        if (attempt == 0) entitiesLoaded_ = false;
    }
    dkThrow<DKUsageError>(kMsgNoEntity, kSource, function, DKString(name ? name : ""));
}

std::shared_ptr<PEntity> DKDatastorePG::entityByTable(unsigned int oid, const char* function) {
    loadEntities(function);
    for (auto& [key, e] : entities_)
        if (e->table == oid) return e;
    return nullptr;
}

std::vector<std::shared_ptr<PEntity>> DKDatastorePG::entitiesInOrder(const char* function) {
    entitiesLoaded_ = false;   // a list shows what is there now
    loadEntities(function);
    std::vector<std::shared_ptr<PEntity>> all;
    for (auto& [key, e] : entities_) all.push_back(e);
    std::sort(all.begin(), all.end(), [](const auto& a, const auto& b) { return a->id < b->id; });
    return all;
}

std::shared_ptr<const PCatalogueEntity> DKDatastorePG::schemaEntity(const char* name, const char* function) {
    return entity(name, function);
}

std::vector<std::shared_ptr<const PCatalogueEntity>> DKDatastorePG::schemaEntities(const char* function) {
    const std::vector<std::shared_ptr<PEntity>> all = entitiesInOrder(function);
    return {all.begin(), all.end()};
}

// ---------------------------------------------------------------------------------------------
// Changing the schema

DKDatastorePG::PTransaction DKDatastorePG::schemaChange(const char* function) {
    entitiesLoaded_ = false;
    PTransaction t(*this, function);
    run(conn(function), kSchemaLock, {}, kSource, function, "locking the catalogue");
    return t;
}

void DKDatastorePG::storeEntities(const std::vector<PNewEntity>& entities, const char* function) {
    for (const PNewEntity& e : entities) {
        if (!isValidName(e.name.c_str())) dkThrow<DKUsageError>(kMsgBadName, kSource, function, DKString(e.name.c_str()));
        PAttributeNames seen(true);
        for (const PAttr& a : e.attrs) {
            checkAttr(a, function);
            if (seen.find(a.name.c_str()) != PAttributeNames::npos)
                dkThrow<DKUsageError>(kMsgAttrExists, kSource, function, DKString(a.name.c_str()));
            seen.add(a.name.c_str());
        }
    }
    PGconn* c = conn(function);
    PTransaction t = schemaChange(function);
    for (const PNewEntity& e : entities) createEntity(c, e, function);
    t.commit();
    entitiesLoaded_ = false;   // read inside the change, before it
}

// One entity's table, catalogue rows, trigger and text indexes, in the schema change that is open.
void DKDatastorePG::createEntity(pg_conn* c, const PNewEntity& e, const char* function) {
    const std::string& name = e.name;
    const std::string lname = lowerName(name.c_str());
    // The table is checked too: a table of that name that is no entity is as much in the way.
    PResult found = run(c, "SELECT EXISTS (SELECT 1 FROM public.dk_entities WHERE lname = $1) OR "
                           "to_regclass('public.' || quote_ident($1)) IS NOT NULL",
                        {lname}, kSource, function, "reading the catalogue");
    if (std::string(PQgetvalue(found.get(), 0, 0)) == "t")
        dkThrow<DKUsageError>(kMsgEntityExists, kSource, function, DKString(name.c_str()));
    const std::string parent = e.parent.empty() ? std::string() : parentName(c, e, function);
    std::string sql = "CREATE TABLE public." + quoteIdent(lname) + " (" + kIdColumn + " bigserial PRIMARY KEY";
    for (const PAttr& a : e.attrs) sql += ", " + columnDefinition(a);
    run(c, (sql + ")").c_str(), {}, kSource, function, "creating the entity's table");
    PResult id = run(c,
                     "INSERT INTO public.dk_entities (name, lname, type, description, parent) VALUES ($1, $2, $3, $4, $5) "
                     "RETURNING id",
                     {name, lname, std::to_string(e.type), e.description, parent}, kSource, function, "adding the entity");
    const std::string entityId = PQgetvalue(id.get(), 0, 0);
    itemTrigger(c, entityId, lname, function);
    PAclsPG::protect(c, entityId, lname, function);
    for (std::size_t k = 0; k < e.attrs.size(); ++k) {
        const PAttr& a = e.attrs[k];
        run(c,
            "INSERT INTO public.dk_attrs VALUES ($1, $2, $3, $4, $5, $6, $7, $8, $9, $10, $11)",
            {entityId, std::to_string(k + 1), a.name, lowerName(a.name.c_str()), std::to_string(a.type),
             std::to_string(a.nullable ? 1 : 0), std::to_string(a.size), std::to_string(a.precision), std::to_string(a.scale),
             a.description, std::to_string(a.textSearchable ? 1 : 0)},
            kSource, function, "adding the entity's attributes");
        addTextIndex(c, name, a, kSource, function);
    }
}

std::string DKDatastorePG::parentName(pg_conn* c, const PNewEntity& e, const char* function) {
    PResult p = run(c,
                    "SELECT p.name, EXISTS (SELECT 1 FROM public.dk_attrs a WHERE a.entity = p.id AND a.lname = $2) "
                    "FROM public.dk_entities p WHERE p.lname = $1",
                    {lowerName(e.parent.c_str()), lowerName(e.name.c_str())}, kSource, function, "reading the catalogue");
    if (PQntuples(p.get()) == 0) dkThrow<DKUsageError>(kMsgNoEntity, kSource, function, DKString(e.parent.c_str()));
    // The parent's "CHILD" item is named like the sub-entity, so it must not stand for an attribute.
    if (std::string(PQgetvalue(p.get(), 0, 1)) == "t")
        dkThrow<DKUsageError>(kMsgBadName, kSource, function, DKString(e.name.c_str()) + ": an attribute of " + e.parent.c_str());
    return PQgetvalue(p.get(), 0, 0);
}

void DKDatastorePG::dropEntity(const char* name, const char* function) {
    PGconn* c = conn(function);
    PTransaction t = schemaChange(function);
    // The entity and every sub-entity under it, deepest first: their items live only under it.
    PResult gone = run(c,
                       "WITH RECURSIVE tree AS (SELECT id, lname, 0 AS depth FROM public.dk_entities WHERE lname = $1 "
                       "UNION ALL SELECT e.id, e.lname, t.depth + 1 FROM public.dk_entities e JOIN tree t "
                       "ON lower(coalesce(to_jsonb(e) ->> 'parent', '')) = t.lname), "
                       "dropped AS (DELETE FROM public.dk_entities WHERE id IN (SELECT id FROM tree) RETURNING id) "
                       "SELECT lname FROM tree ORDER BY depth DESC, id DESC",
                       {lowerName(name)}, kSource, function, "deleting the entity");
    if (PQntuples(gone.get()) == 0) dkThrow<DKUsageError>(kMsgNoEntity, kSource, function, DKString(name ? name : ""));
    for (int row = 0; row < PQntuples(gone.get()); ++row)
        run(c, ("DROP TABLE public." + quoteIdent(PQgetvalue(gone.get(), row, 0))).c_str(), {}, kSource, function,
            "deleting the entity's table");
    t.commit();
    entitiesLoaded_ = false;   // read inside the change, before it
}

void DKDatastorePG::storeAttr(const char* entityName, const PAttr& attr, const char* function) {
    checkAttr(attr, function);
    PGconn* c = conn(function);
    PTransaction t = schemaChange(function);
    std::shared_ptr<PEntity> e = entity(entityName, function);
    if (e->find(attr.name.c_str()) != nullptr)
        dkThrow<DKUsageError>(kMsgAttrExists, kSource, function, DKString(attr.name.c_str()));
    run(c, ("ALTER TABLE public." + quoteIdent(lowerName(e->name.c_str())) + " ADD COLUMN " + columnDefinition(attr)).c_str(),
        {}, kSource, function, "adding the attribute's column");
    run(c, "INSERT INTO public.dk_attrs VALUES ($1, $2, $3, $4, $5, $6, $7, $8, $9, $10, $11)",
        {std::to_string(e->id), std::to_string(e->attrs.size() + 1), attr.name, lowerName(attr.name.c_str()),
         std::to_string(attr.type), std::to_string(attr.nullable ? 1 : 0), std::to_string(attr.size),
         std::to_string(attr.precision), std::to_string(attr.scale), attr.description,
         std::to_string(attr.textSearchable ? 1 : 0)},
        kSource, function, "adding the attribute");
    addTextIndex(c, e->name, attr, kSource, function);
    t.commit();
    entitiesLoaded_ = false;   // read inside the change, before it
}

void DKDatastorePG::dropAttr(const char* entityName, const char* attr, const char* function) {
    PGconn* c = conn(function);
    PTransaction t = schemaChange(function);
    std::shared_ptr<PEntity> e = entity(entityName, function);
    const PAttr* a = e->find(attr);
    if (a == nullptr) dkThrow<DKUsageError>(kMsgNoAttr, kSource, function, DKString(attr ? attr : ""));
    const std::string lname = lowerName(a->name.c_str());
    run(c, ("ALTER TABLE public." + quoteIdent(lowerName(e->name.c_str())) + " DROP COLUMN " + quoteIdent(lname)).c_str(), {},
        kSource, function, "deleting the attribute's column");
    // The attributes after it move up one place.
    run(c, "DELETE FROM public.dk_attrs WHERE entity = $1 AND lname = $2", {std::to_string(e->id), lname}, kSource, function,
        "deleting the attribute");
    run(c, "UPDATE public.dk_attrs SET position = position - 1 WHERE entity = $1 AND position > $2",
        {std::to_string(e->id), std::to_string(a->id)}, kSource, function, "deleting the attribute");
    t.commit();
    entitiesLoaded_ = false;   // read inside the change, before it
}

// ---------------------------------------------------------------------------------------------
// The schema through the datastore

void DKDatastorePG::clearCache() {
    entities_.clear();
    mappings_.clear();
    entitiesLoaded_ = false;
    if (def_) def_->clearCache();
}

dkDatastoreDef* DKDatastorePG::datastoreDef() {
    if (!def_) def_ = std::make_unique<DKDatastoreDefPG>(this);
    return def_.get();
}

dkCollection* DKDatastorePG::listEntities() { return datastoreDef()->listEntities(); }
DKString* DKDatastorePG::listEntityNames(long& count) { return datastoreDef()->listEntityNames(count); }
dkCollection* DKDatastorePG::listEntityAttrs(const char* entity) { return datastoreDef()->listEntityAttrs(entity); }
DKString* DKDatastorePG::listEntityAttrNames(const char* entity, long& count) {
    return datastoreDef()->listEntityAttrNames(entity, count);
}
