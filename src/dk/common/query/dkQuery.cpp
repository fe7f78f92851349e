// src/dk/common/query/dkQuery.cpp
//
// The query objects: a query string or a compound expression bound to a datastore, run through
// it, and its results handed back as a cursor or as a collection. Exceptions of the datastore and
// of the cursor pass through unchanged; the query itself adds none.

#include <dk/dkQuery.hpp>

#include <dk/DKDDO.hpp>
#include <dk/DKNVPair.hpp>
#include <dk/DKQExpr.hpp>
#include <dk/DKResults.hpp>
#include <dk/dkDatastore.hpp>
#include <dk/dkResultSetCursor.hpp>

#include <cstring>
#include <memory>
#include <vector>

namespace {
constexpr short kText = 1;
constexpr short kImage = 2;
constexpr short kParametric = 3;
constexpr short kSQL = 4;
}  // namespace

// ---------------------------------------------------------------------------------------------
// dkQueryBase, dkQuery

dkQueryBase::~dkQueryBase() = default;

dkQuery::dkQuery(dkDatastore* datastore) : datastore_(datastore), qlType_(0) {}
dkQuery::dkQuery(dkDatastore* datastore, const char* queryString)
    : datastore_(datastore), qlType_(0), queryString_(queryString) {}
dkQuery::dkQuery(const dkQuery& other) = default;
dkQuery::~dkQuery() = default;

dkDatastore* dkQuery::datastore() { return datastore_; }
short dkQuery::qlType() const { return qlType_; }
DKString dkQuery::queryString() const { return queryString_; }
void dkQuery::setQLType(short qlType) { qlType_ = qlType; }

// ---------------------------------------------------------------------------------------------
// PQueryObject

PQueryObject::PQueryObject(dkDatastore* datastore, const char* queryString, short qlType, bool keepsResult)
    : dkQuery(datastore, queryString), prepared_(0), cursor_(nullptr), status_(DKQueryIdle), resultsTaken_(0),
      numberOfResults_(0), keepsResult_(keepsResult) {
    setQLType(qlType);
}

PQueryObject::PQueryObject(dkDatastore* datastore, DKCQExpr* expression, short qlType, bool keepsResult)
    : PQueryObject(datastore, static_cast<const char*>(nullptr), qlType, keepsResult) {
    expression_.reset(expression);
}

PQueryObject::PQueryObject(const PQueryObject& other)
    : dkQuery(other), prepared_(0), cursor_(nullptr), status_(DKQueryIdle), resultsTaken_(0), numberOfResults_(0),
      expression_(other.expression_), keepsResult_(other.keepsResult_) {}

PQueryObject::~PQueryObject() {
    delete cursor_;
    dropStoredResult();
}

void PQueryObject::dropStoredResult() {
    if (storedResult_.typeCode() == DKAny::tc_collection) delete static_cast<dkCollection*>(storedResult_.value());
    storedResult_.setNull();
}

void PQueryObject::obtainCursor(const DKNVPair* params) {
    delete cursor_;
    cursor_ = nullptr;   // a throwing datastore leaves no dangling cursor behind
    if (expression_ != nullptr) {
        cursor_ = datastore()->execute(expression_.get());
    } else {
        cursor_ = datastore()->execute(queryString().c_str(), qlType(), params);
    }
}

void PQueryObject::prepare(const DKNVPair* params) {
    resultsTaken_ = 0;
    std::vector<DKNVPair> list;
    if (params != nullptr) {
        for (const DKNVPair* p = params; p->getName() != "End"; ++p) list.push_back(*p);
    }
    list.emplace_back("Prepare Query");
    list.emplace_back("End");
    obtainCursor(list.data());
    prepared_ = 1;
}

void PQueryObject::execute(const DKNVPair* params) {
    resultsTaken_ = 0;
    if (prepared_ == 0 || cursor_ == nullptr) {
        obtainCursor(params);
    } else {
        if (cursor_->isOpen()) cursor_->close();
        if (params == nullptr) {
            cursor_->open();
        } else {
            cursor_->open(params);
        }
    }
    numberOfResults_ = cursor_ != nullptr ? cursor_->cardinality() : 0;
    status_ = DKQueryRun;
}

DKQueryStatus PQueryObject::status() { return status_; }
unsigned long PQueryObject::numberOfResults() { return numberOfResults_; }

DKAny PQueryObject::result(int release) {
    DKAny fresh;
    if (resultsTaken_ == 0 && cursor_ != nullptr) {
        auto results = std::make_unique<DKResults>(*datastore());
        // A null fetch ends the loop too, so a cursor that never turns invalid cannot hang it.
        while (cursor_->isValid()) {
            DKDDO* object = cursor_->fetchNext();
            if (object == nullptr) break;
            results->addElement(DKAny(static_cast<dkDataObjectBase*>(object)));
        }
        delete cursor_;
        cursor_ = nullptr;
        fresh = DKAny(static_cast<dkCollection*>(results.release()));
        resultsTaken_ = 1;
        numberOfResults_ = 0;
        prepared_ = 0;
        status_ = DKQueryIdle;
        if (!keepsResult_) return fresh;
        dropStoredResult();   // the collection of an earlier result dies with it
        storedResult_ = fresh;
    }
    if (!keepsResult_) return DKAny();
    if (release == 0) return storedResult_;
    DKAny handed = storedResult_;
    storedResult_.setNull();
    return handed;
}

dkResultSetCursor* PQueryObject::resultSetCursor() {
    if (resultsTaken_ != 0 || cursor_ == nullptr) return nullptr;
    dkResultSetCursor* handed = cursor_;
    cursor_ = nullptr;
    resultsTaken_ = 1;
    numberOfResults_ = 0;
    prepared_ = 0;
    status_ = DKQueryIdle;
    return handed;
}

// ---------------------------------------------------------------------------------------------
// The four query classes

DKTextQuery::DKTextQuery(dkDatastore* ds, const char* q) : PQueryObject(ds, q, kText, true) {}
DKTextQuery::DKTextQuery(dkDatastore* ds, DKCQExpr* e) : PQueryObject(ds, e, kText, true) {}
DKTextQuery::DKTextQuery(const DKTextQuery& other) = default;
DKTextQuery::~DKTextQuery() = default;

DKImageQuery::DKImageQuery(dkDatastore* ds, const char* q) : PQueryObject(ds, q, kImage, true) {}
DKImageQuery::DKImageQuery(dkDatastore* ds, DKCQExpr* e) : PQueryObject(ds, e, kImage, true) {}
DKImageQuery::DKImageQuery(const DKImageQuery& other) = default;
DKImageQuery::~DKImageQuery() = default;

DKParametricQuery::DKParametricQuery(dkDatastore* ds, const char* q) : PQueryObject(ds, q, kParametric, true) {}
DKParametricQuery::DKParametricQuery(dkDatastore* ds, DKCQExpr* e) : PQueryObject(ds, e, kParametric, true) {}
DKParametricQuery::DKParametricQuery(const DKParametricQuery& other) = default;
DKParametricQuery::~DKParametricQuery() = default;

DKSQLQuery::DKSQLQuery(dkDatastore* ds, const char* q) : PQueryObject(ds, q, kSQL, false) {}
DKSQLQuery::DKSQLQuery(dkDatastore* ds, DKCQExpr* e) : PQueryObject(ds, e, kSQL, false) {}
DKSQLQuery::DKSQLQuery(const DKSQLQuery& other) = default;
DKSQLQuery::~DKSQLQuery() = default;
