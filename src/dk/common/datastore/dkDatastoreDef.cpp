// src/dk/common/datastore/dkDatastoreDef.cpp
//
// The base of a datastore's schema description and of its server records. The catalogue reads
// are the connector's; the base rejects them, answers the searchable lists with the full ones
// and hands out the administration object the connector set.

#include <dk/dkDatastoreDef.hpp>

#include <dk/dkDatastore.hpp>
#include <dk/dkThrow.hpp>

namespace {

constexpr const char* kSource = "dk/common/dkDatastoreDef";

[[noreturn]] void reject(const char* messageName, const char* locationName,
                         unsigned long line = __builtin_LINE()) {
    dkThrow<DKUsageError>(341, kSource, locationName, DKString(messageName), line);
}

[[noreturn]] void reject(const char* name, unsigned long line = __builtin_LINE()) {
    reject(name, name, line);
}

}  // namespace

dkDatastoreDef::dkDatastoreDef(dkDatastore* datastore) : admin_(nullptr), datastore_(datastore) {}

dkDatastoreDef::~dkDatastoreDef() = default;

DKString dkDatastoreDef::datastoreName() const {
    return datastore_ != nullptr ? datastore_->datastoreName() : DKString();
}

DKString dkDatastoreDef::datastoreType() const {
    return datastore_ != nullptr ? datastore_->datastoreType() : DKString();
}

dkEntityDef* dkDatastoreDef::createEntity() { reject("dkDatastoreDef::createEntity"); }
dkEntityDef* dkDatastoreDef::getEntity(const char*) { reject("dkDatastoreDef::getEntity"); }
dkEntityDef* dkDatastoreDef::retrieveEntity(const char*) { reject("dkDatastoreDef::retrieveEntity"); }
dkCollection* dkDatastoreDef::listEntities(const DKNVPair*, long) { reject("dkDatastoreDef::listEntities"); }
dkCollection* dkDatastoreDef::listEntities(long) { reject("dkDatastoreDef::listEntities"); }
dkCollection* dkDatastoreDef::listEntities() { reject("dkDatastoreDef::listEntities"); }
DKString* dkDatastoreDef::listEntityNames(const DKNVPair*, long, long&) { reject("dkDatastoreDef::listEntityNames"); }
DKString* dkDatastoreDef::listEntityNames(long, long&) { reject("dkDatastoreDef::listEntityNames"); }
DKString* dkDatastoreDef::listEntityNames(long&) { reject("dkDatastoreDef::listEntityNames"); }

dkCollection* dkDatastoreDef::listSearchableEntities(const DKNVPair* options, long count) {
    return listEntities(options, count);
}

dkCollection* dkDatastoreDef::listSearchableEntities(long flags) {
    return listEntities(flags);
}

dkCollection* dkDatastoreDef::listSearchableEntities() {
    return listEntities();
}

DKString* dkDatastoreDef::listSearchableEntityNames(const DKNVPair* options, long optionCount, long& count) {
    return listEntityNames(options, optionCount, count);
}

DKString* dkDatastoreDef::listSearchableEntityNames(long flags, long& count) {
    return listEntityNames(flags, count);
}

DKString* dkDatastoreDef::listSearchableEntityNames(long& count) {
    return listEntityNames(count);
}

dkCollection* dkDatastoreDef::listEntityAttrs(const char*) { reject("dkDatastoreDef::listEntityAttrs"); }
DKString* dkDatastoreDef::listEntityAttrNames(const char*, long&) { reject("dkDatastoreDef::listEntityAttrNames"); }
dkCollection* dkDatastoreDef::listSearchTemplates() { reject("dkDatastoreDef::listSearchTemplates"); }
DKString* dkDatastoreDef::listSearchTemplateNames(long&) { reject("dkDatastoreDef::listSearchTemplateNames"); }
void dkDatastoreDef::add(dkEntityDef*) { reject("dkDatastoreDef::add(dkEntityDef)", "dkDatastoreDef::add"); }
void dkDatastoreDef::del(dkEntityDef*) { reject("dkDatastoreDef::del(dkEntityDef)", "dkDatastoreDef::del"); }
void dkDatastoreDef::deleteEntity(const char*) { reject("dkDatastoreDef::deleteEntity"); }

dkDatastoreAdmin* dkDatastoreDef::datastoreAdmin() {
    if (admin_ == nullptr) reject("dkDatastoreDef::datastoreAdmin");
    return admin_;
}

void dkDatastoreDef::clearCache() { reject("dkDatastoreDef::clearCache"); }

dkServerDef::dkServerDef(dkDatastore* datastore) : datastore_(datastore) {}

dkServerDef::~dkServerDef() = default;

dkDatastore* dkServerDef::datastore() {
    return datastore_;
}

dkDatastore* dkServerDef::getDatastore() {
    return datastore_;
}

void dkServerDef::setDatastore(dkDatastore* datastore) {
    datastore_ = datastore;
}

DKString dkServerDef::getName() {
    return name_;
}

void dkServerDef::setName(const char* name) {
    name_ = name;
}

DKString dkServerDef::datastoreType() const {
    return datastore_ != nullptr ? datastore_->datastoreType() : DKString();
}
