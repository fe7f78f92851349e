// src/dk/common/model/DKDDO.cpp
//
// The dynamic data object as applications use it: a DKDDOBase bound to its datastore. Adding,
// retrieving, updating and deleting are the datastore's work; this object only hands itself and
// the caller's arguments over, unchanged, through the calls of dkDatastoreAccess.hpp.

#include <dk/DKDDO.hpp>

#include <dk/DKException.hpp>
#include <dk/dkThrow.hpp>

#include "dk/common/model/dkDatastoreAccess.hpp"

namespace {
constexpr const char* kSource = "dk/common/DKDDO";
}  // namespace

DKDDO::DKDDO(unsigned short size) : DKDDOBase(size), datastore(nullptr) {}

DKDDO::DKDDO(const char* objectType, unsigned short size)
    : DKDDOBase(objectType, size), datastore(nullptr) {}

DKDDO::DKDDO(dkDatastore* ds, const char* objectType, unsigned short size)
    : DKDDOBase(objectType, size), datastore(ds) {}

DKDDO::DKDDO(const DKPid& p, unsigned short size) : DKDDOBase(p, size), datastore(nullptr) {}

DKDDO::DKDDO(dkDatastore* ds, const DKPid& p, unsigned short size) : DKDDOBase(p, size), datastore(ds) {}

DKDDO::DKDDO(dkDatastore* ds, const DKPid& p, DKDDODef* sizeFrom)
    : DKDDOBase(p, sizeFrom != nullptr ? sizeFrom->dataCount() : static_cast<unsigned short>(10)),
      datastore(ds) {}

DKDDO::~DKDDO() = default;

short DKDDO::protocol() const { return DKProtocolDDO; }

void DKDDO::setDatastore(dkDatastore* ds) { datastore = ds; }

dkDatastore* DKDDO::getDatastore() const { return datastore; }

const DKTrace& DKDDO::trace() const {
    if (!trace_) trace_.emplace("DKDDO");
    return *trace_;
}

dkDatastore& DKDDO::checkedDatastore(const char* function) const {
    if (datastore == nullptr) dkThrow<DKUsageError>(422, kSource, function);
    return *datastore;
}

dkDataObjectBase& DKDDO::add(const DKNVPair* parms, long count) {
    DKTraceScope t(trace(), "DKDDO::add(const DKNVPair*, long)", this);
    dkCallDatastore(checkedDatastore("DKDDO::add"), dkObjectCall::add, this, parms, count);
    return *this;
}

dkDataObjectBase& DKDDO::add(long option) {
    DKTraceScope t(trace(), "DKDDO::add(long)", this);
    dkCallDatastore(checkedDatastore("DKDDO::add"), dkObjectCall::add, this, option);
    return *this;
}

dkDataObjectBase& DKDDO::add() {
    DKTraceScope t(trace(), "DKDDO::add()", this);
    dkCallDatastore(checkedDatastore("DKDDO::add"), dkObjectCall::add, this);
    return *this;
}

dkDataObjectBase& DKDDO::retrieve(const DKNVPair* parms, long count) {
    DKTraceScope t(trace(), "DKDDO::retrieve(const DKNVPair*, long)", this);
    dkCallDatastore(checkedDatastore("DKDDO::retrieve"), dkObjectCall::retrieve, this, parms, count);
    return *this;
}

dkDataObjectBase& DKDDO::retrieve(long option) {
    DKTraceScope t(trace(), "DKDDO::retrieve(long)", this);
    dkCallDatastore(checkedDatastore("DKDDO::retrieve"), dkObjectCall::retrieve, this, option);
    return *this;
}

dkDataObjectBase& DKDDO::retrieve() {
    DKTraceScope t(trace(), "DKDDO::retrieve()", this);
    dkCallDatastore(checkedDatastore("DKDDO::retrieve"), dkObjectCall::retrieve, this);
    return *this;
}

dkDataObjectBase& DKDDO::update(const DKNVPair* parms, long count) {
    DKTraceScope t(trace(), "DKDDO::update(const DKNVPair*, long)", this);
    dkCallDatastore(checkedDatastore("DKDDO::update"), dkObjectCall::update, this, parms, count);
    return *this;
}

dkDataObjectBase& DKDDO::update(long option) {
    DKTraceScope t(trace(), "DKDDO::update(long)", this);
    dkCallDatastore(checkedDatastore("DKDDO::update"), dkObjectCall::update, this, option);
    return *this;
}

dkDataObjectBase& DKDDO::update() {
    DKTraceScope t(trace(), "DKDDO::update()", this);
    dkCallDatastore(checkedDatastore("DKDDO::update"), dkObjectCall::update, this);
    return *this;
}

dkDataObjectBase& DKDDO::del(const DKNVPair* parms, long count) {
    DKTraceScope t(trace(), "DKDDO::del(const DKNVPair*, long)", this);
    dkCallDatastore(checkedDatastore("DKDDO::del"), dkObjectCall::del, this, parms, count);
    return *this;
}

dkDataObjectBase& DKDDO::del(long option) {
    DKTraceScope t(trace(), "DKDDO::del(long)", this);
    dkCallDatastore(checkedDatastore("DKDDO::del"), dkObjectCall::del, this, option);
    return *this;
}

dkDataObjectBase& DKDDO::del() {
    DKTraceScope t(trace(), "DKDDO::del()", this);
    dkCallDatastore(checkedDatastore("DKDDO::del"), dkObjectCall::del, this);
    return *this;
}
