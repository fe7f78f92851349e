// src/dk/common/datastore/dkDatastore.cpp
//
// The base bodies of the abstract connector. Operations that need a repository reject the call
// with message 341; the collection forms, the search-template forms, the listSearchable...
// operations and serviceMgr() are built on the others so that a connector gets them for free.
// Also the calls that DDOs and query results, which sit below the datastore, make on it.

#include <dk/dkDatastore.hpp>

#include <dk/DKDDO.hpp>
#include <dk/DKException.hpp>
#include <dk/PConnectorKit.hpp>
#include <dk/PMessageText.hpp>
#include <dk/dkCollection.hpp>
#include <dk/dkDataObject.hpp>
#include <dk/dkService.hpp>
#include <dk/dkThrow.hpp>

#include "dk/coll/dkDataObjectAccess.hpp"
#include "dk/common/datastore/dkTemplateAccess.hpp"
#include "dk/common/model/dkDatastoreAccess.hpp"


namespace {

constexpr const char* kSource = "dk/common/dkDatastore";

// The rejection of an operation the base cannot do: 341, the message name after the catalogue
// text, the location name in the location (the two differ for clearCache(long)).
[[noreturn]] void reject(const char* messageName, const char* locationName,
                         unsigned long line = __builtin_LINE()) {
    dkThrow<DKUsageError>(341, kSource, locationName, DKString(messageName), line);
}

[[noreturn]] void reject(const char* name, unsigned long line = __builtin_LINE()) {
    reject(name, name, line);
}

// A search template's filled-in expression, owned by the caller until it goes out of scope, which
// also deletes it when the DKCQExpr form throws. A null template is refused with 303.
dkTemplateExpr templateExpr(dkSearchTemplate* searchTemplate, const char* operation,
                            unsigned long line = __builtin_LINE()) {
    if (searchTemplate == nullptr) dkThrow<DKUsageError>(303, kSource, operation, DKString(), line);
    return dkTemplateExpr(dkCreateTemplateExpr(*searchTemplate));
}

// What the collection forms refuse: an element that is no data object of the DDO family (the
// connector kit's rule) would reach the connector as a wrong pointer.
const PObjectRules kRules{303, kSource, " The collection element is not a data object.",
                          " The collection element is not a data object.", nullptr};

// The loop of every collection form: one call of the single-object form per element, in order,
// each element checked just before its call. A DKException from an element gets the collection
// operation's location and leaves as the same object, so its class is kept.
template <class Call>
void forEachObject(dkCollection* objects, const char* operation, Call call, unsigned long line = __builtin_LINE()) {
    PConnectorKit::eachObject(objects, kRules, operation, [&](DKDDOBase& ddo) { call(&ddo); }, line);
}

// The single-object operation a DDO asks for, in whichever of its three forms.
template <class... Args>
void callObjectOperation(dkDatastore& datastore, dkObjectCall call, dkDataObject* object, Args... args) {
    switch (call) {
    case dkObjectCall::add: datastore.addObject(object, args...); return;
    case dkObjectCall::retrieve: datastore.retrieveObject(object, args...); return;
    case dkObjectCall::update: datastore.updateObject(object, args...); return;
    case dkObjectCall::del: datastore.deleteObject(object, args...); return;
    }
}

}  // namespace

void dkCallDatastore(dkDatastore& datastore, dkObjectCall call, dkDataObject* object, const DKNVPair* parms,
                     long count) {
    callObjectOperation(datastore, call, object, parms, count);
}

void dkCallDatastore(dkDatastore& datastore, dkObjectCall call, dkDataObject* object, long option) {
    callObjectOperation(datastore, call, object, option);
}

void dkCallDatastore(dkDatastore& datastore, dkObjectCall call, dkDataObject* object) {
    callObjectOperation(datastore, call, object);
}

DKAny dkDatastoreEvaluate(dkDatastore& datastore, const char* query, short queryType, const DKNVPair* options) {
    return datastore.evaluate(query, queryType, options);
}

dkQueryManager::~dkQueryManager() = default;

dkDatastore::dkDatastore() : dkDatastore("", "") {}

dkDatastore::dkDatastore(const char* datastoreType, const char* datastoreName)
    : datastoreName_(datastoreName),
      datastoreType_(datastoreType),
      messageText_(new PMessageText(300, dkMessageFile, 1)),
      serviceMgr_(nullptr) {}

dkDatastore::~dkDatastore() {
    delete serviceMgr_;
    delete messageText_;
}

DKAny dkDatastore::evaluate(const char*, short, const DKNVPair*) { reject("dkDatastore::evaluate"); }
dkQuery* dkDatastore::createQuery(const char*, short, const DKNVPair*) { reject("dkDatastore::createQuery"); }
void dkDatastore::connect(const char*, const char*, const char*, const char*) { reject("dkDatastore::connect"); }
void dkDatastore::disconnect() { reject("dkDatastore::disconnect"); }
void dkDatastore::getOption(long, DKAny&) { reject("dkDatastore::getOption"); }
void dkDatastore::setOption(long, DKAny&) { reject("dkDatastore::setOption"); }

DKAny dkDatastore::evaluate(dkSearchTemplate* searchTemplate) {
    dkTemplateExpr expression = templateExpr(searchTemplate, "dkDatastore::evaluate");
    return evaluate(expression.get());
}
DKAny dkDatastore::evaluate(DKCQExpr*) { reject("dkDatastore::evaluate"); }
DKAny dkDatastore::evaluate(dkQuery*) { reject("dkDatastore::evaluate"); }

dkResultSetCursor* dkDatastore::execute(dkSearchTemplate* searchTemplate) {
    dkTemplateExpr expression = templateExpr(searchTemplate, "dkDatastore::execute");
    return execute(expression.get());
}
dkResultSetCursor* dkDatastore::execute(DKCQExpr*) { reject("dkDatastore::execute"); }
dkResultSetCursor* dkDatastore::execute(dkQuery*) { reject("dkDatastore::execute"); }
dkResultSetCursor* dkDatastore::execute(const char*, short, const DKNVPair*) { reject("dkDatastore::execute"); }

void dkDatastore::executeWithCallback(dkSearchTemplate* searchTemplate, dkCallback* callback) {
    dkTemplateExpr expression = templateExpr(searchTemplate, "dkDatastore::executeWithCallback");
    executeWithCallback(expression.get(), callback);
}
void dkDatastore::executeWithCallback(DKCQExpr*, dkCallback*) { reject("dkDatastore::executeWithCallback"); }
void dkDatastore::executeWithCallback(dkQuery*, dkCallback*) { reject("dkDatastore::executeWithCallback"); }
void dkDatastore::executeWithCallback(const char*, short, const DKNVPair*, dkCallback*) {
    reject("dkDatastore::executeWithCallback");
}
dkQuery* dkDatastore::createQuery(DKCQExpr*) { reject("dkDatastore::createQuery"); }

void dkDatastore::addObject(dkDataObject*, const DKNVPair*, long) { reject("dkDatastore::addObject"); }
void dkDatastore::addObject(dkDataObject*, long) { reject("dkDatastore::addObject"); }
void dkDatastore::addObject(dkDataObject*) { reject("dkDatastore::addObject"); }
void dkDatastore::addObjects(dkCollection* objects, const DKNVPair* options, long flags) {
    forEachObject(objects, "dkDatastore::addObjects",
                  [&](dkDataObject* o) { addObject(o, options, flags); });
}
void dkDatastore::addObjects(dkCollection* objects, long flags) {
    forEachObject(objects, "dkDatastore::addObjects", [&](dkDataObject* o) { addObject(o, flags); });
}
void dkDatastore::addObjects(dkCollection* objects) {
    forEachObject(objects, "dkDatastore::addObjects", [&](dkDataObject* o) { addObject(o); });
}

void dkDatastore::deleteObject(dkDataObject*, const DKNVPair*, long) { reject("dkDatastore::deleteObject"); }
void dkDatastore::deleteObject(dkDataObject*, long) { reject("dkDatastore::deleteObject"); }
void dkDatastore::deleteObject(dkDataObject*) { reject("dkDatastore::deleteObject"); }
void dkDatastore::deleteObjects(dkCollection* objects, const DKNVPair* options, long flags) {
    forEachObject(objects, "dkDatastore::deleteObjects",
                  [&](dkDataObject* o) { deleteObject(o, options, flags); });
}
void dkDatastore::deleteObjects(dkCollection* objects, long flags) {
    forEachObject(objects, "dkDatastore::deleteObjects", [&](dkDataObject* o) { deleteObject(o, flags); });
}
void dkDatastore::deleteObjects(dkCollection* objects) {
    forEachObject(objects, "dkDatastore::deleteObjects", [&](dkDataObject* o) { deleteObject(o); });
}

void dkDatastore::retrieveObject(dkDataObject*, const DKNVPair*, long) { reject("dkDatastore::retrieveObject"); }
void dkDatastore::retrieveObject(dkDataObject*, long) { reject("dkDatastore::retrieveObject"); }
void dkDatastore::retrieveObject(dkDataObject*) { reject("dkDatastore::retrieveObject"); }
void dkDatastore::retrieveObjects(dkCollection* objects, const DKNVPair* options, long flags) {
    forEachObject(objects, "dkDatastore::retrieveObjects",
                  [&](dkDataObject* o) { retrieveObject(o, options, flags); });
}
void dkDatastore::retrieveObjects(dkCollection* objects, long flags) {
    forEachObject(objects, "dkDatastore::retrieveObjects",
                  [&](dkDataObject* o) { retrieveObject(o, flags); });
}
void dkDatastore::retrieveObjects(dkCollection* objects) {
    forEachObject(objects, "dkDatastore::retrieveObjects", [&](dkDataObject* o) { retrieveObject(o); });
}

void dkDatastore::updateObject(dkDataObject*, const DKNVPair*, long) { reject("dkDatastore::updateObject"); }
void dkDatastore::updateObject(dkDataObject*, long) { reject("dkDatastore::updateObject"); }
void dkDatastore::updateObject(dkDataObject*) { reject("dkDatastore::updateObject"); }
void dkDatastore::updateObjects(dkCollection* objects, const DKNVPair* options, long flags) {
    forEachObject(objects, "dkDatastore::updateObjects",
                  [&](dkDataObject* o) { updateObject(o, options, flags); });
}
void dkDatastore::updateObjects(dkCollection* objects, long flags) {
    forEachObject(objects, "dkDatastore::updateObjects", [&](dkDataObject* o) { updateObject(o, flags); });
}
void dkDatastore::updateObjects(dkCollection* objects) {
    forEachObject(objects, "dkDatastore::updateObjects", [&](dkDataObject* o) { updateObject(o); });
}

void dkDatastore::startTransaction() { reject("dkDatastore::startTransaction"); }
void dkDatastore::commit() { reject("dkDatastore::commit"); }
void dkDatastore::rollback() { reject("dkDatastore::rollback"); }

int dkDatastore::isConnected() {
    return 0;
}

DKString dkDatastore::datastoreName() const {
    return datastoreName_;
}

DKString dkDatastore::datastoreType() const {
    return datastoreType_;
}

DKString dkDatastore::userName() const {
    return userName_;
}

DKHandle* dkDatastore::connection() { reject("dkDatastore::connection"); }
DKHandle* dkDatastore::handle(const char*) { reject("dkDatastore::handle"); }
dkCollection* dkDatastore::listDataSources() { reject("dkDatastore::listDataSources"); }
DKString* dkDatastore::listDataSourceNames(long&) { reject("dkDatastore::listDataSourceNames"); }
DKAny dkDatastore::listServers() { reject("dkDatastore::listServers"); }
DKAny dkDatastore::listSchema() { reject("dkDatastore::listSchema"); }
DKAny dkDatastore::listSchemaAttributes(const char*) { reject("dkDatastore::listSchemaAttributes"); }

dkCollection* dkDatastore::listSearchableEntities() {
    return listEntities();
}

dkCollection* dkDatastore::listEntities() { reject("dkDatastore::listEntities"); }
DKString* dkDatastore::listEntityNames(long&) { reject("dkDatastore::listEntityNames"); }

DKString* dkDatastore::listSearchableEntityNames(long& count) {
    return listEntityNames(count);
}

dkCollection* dkDatastore::listEntityAttrs(const char*) { reject("dkDatastore::listEntityAttrs"); }
DKString* dkDatastore::listEntityAttrNames(const char*, long&) { reject("dkDatastore::listEntityAttrNames"); }
dkCollection* dkDatastore::listSearchTemplates() { reject("dkDatastore::listSearchTemplates"); }
DKString* dkDatastore::listSearchTemplateNames(long&) { reject("dkDatastore::listSearchTemplateNames"); }
dkDatastoreDef* dkDatastore::datastoreDef() { reject("dkDatastore::datastoreDef"); }
DKString dkDatastore::registerMapping(DKNVPair*) { reject("dkDatastore::registerMapping"); }
void dkDatastore::unRegisterMapping(const char*) { reject("dkDatastore::unRegisterMapping"); }
DKString* dkDatastore::listMappingNames(long&) { reject("dkDatastore::listMappingNames"); }
dkSchemaMapping* dkDatastore::getMapping(const char*) { reject("dkDatastore::getMapping"); }
dkExtension* dkDatastore::getExtension(const char*) { reject("dkDatastore::getExtension"); }
void dkDatastore::addExtension(const char*, dkExtension*) { reject("dkDatastore::addExtension"); }
void dkDatastore::removeExtension(const char*) { reject("dkDatastore::removeExtension"); }
DKString* dkDatastore::listExtensionNames(long&) { reject("dkDatastore::listExtensionNames"); }
DKDDO* dkDatastore::createDDO(const char*, long) { reject("dkDatastore::createDDO"); }
void dkDatastore::clearCache(long) { reject("dkDatastore::clearCache(long)", "dkDatastore::clearCache"); }
void dkDatastore::clearCache() { reject("dkDatastore::clearCache"); }

dkServiceMgr* dkDatastore::serviceMgr() {
    if (!isConnected()) dkThrow<DKDatastoreError>(310, kSource, "dkDatastore::serviceMgr");
    if (serviceMgr_ == nullptr) serviceMgr_ = new DKServiceMgrImp();
    return serviceMgr_;
}

DKString* dkDatastore::listAvailableServices(long&) { reject("dkDatastore::listAvailableServices"); }
int dkDatastore::setLocaleAndCodePage(char*, char*) { reject("dkDatastore::setLocaleAndCodePage"); }
void dkDatastore::getLocaleAndCodePage(DKString&, DKString&) { reject("dkDatastore::getLocaleAndCodePage"); }

short dkDatastore::validateConnection() {
    return 3;
}

void dkDatastore::setDatastoreName(const char* datastoreName) {
    datastoreName_ = datastoreName;
}

void dkDatastore::setUserName(const char* userName) {
    userName_ = userName;
}
