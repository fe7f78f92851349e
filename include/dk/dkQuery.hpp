// include/dk/dkQuery.hpp
#pragma once
#include <dk/DKAny.hpp>
#include <dk/DKString.hpp>
#include <dk/dkExport.hpp>

#include <memory>

class DKCQExpr;
class DKNVPair;
class dkDatastore;
class dkResultSetCursor;

// Where a query object stands: running after execute, idle when new or once its results were
// taken.
enum DKQueryStatus { DKQueryRun = 0, DKQueryIdle = 1 };

// The operations of every query object. No state.
class DK_API dkQueryBase {
public:
    virtual ~dkQueryBase();

    virtual void prepare(const DKNVPair* params) = 0;
    virtual void execute(const DKNVPair* params) = 0;
    virtual DKQueryStatus status() = 0;
    virtual DKAny result(int release) = 0;
    virtual dkResultSetCursor* resultSetCursor() = 0;
    virtual unsigned long numberOfResults() = 0;
};

// A query bound to one datastore (not owned, which must outlive it), with its query-language type
// (1 text, 2 image, 3 parametric, 4 SQL) and query string. One thread at a time.
class DK_API dkQuery : public dkQueryBase {
public:
    explicit dkQuery(dkDatastore* datastore);
    dkQuery(dkDatastore* datastore, const char* queryString);
    dkQuery(const dkQuery& other);
    dkQuery& operator=(const dkQuery&) = delete;
    ~dkQuery() override;

    virtual dkDatastore* datastore();
    virtual short qlType() const;
    virtual DKString queryString() const;

protected:
    virtual void setQLType(short qlType);

private:
    dkDatastore* datastore_;
    short qlType_;
    DKString queryString_;
};

// What the four query classes share: run a compound expression (when given) or the query string
// through the datastore, keep the cursor it returns, and turn it into a collection or hand it
// over. The query owns its cursor until resultSetCursor() hands it out and the collection that
// result() keeps until a newer result() replaces it, result(1) hands it out or the query dies.
// Copies share the compound expression (the last one deletes it) and start idle, without
// cursor or results. One thread at a time.
class DK_API PQueryObject : public dkQuery {
public:
    ~PQueryObject() override;

    // params: pairs ending with one named "End" (or null); the datastore gets the pairs before
    // "End", then "Prepare Query" and "End".
    void prepare(const DKNVPair* params) override;
    void execute(const DKNVPair* params) override;
    DKQueryStatus status() override;
    // The results as a DKResults collection of the fetched data objects; release 0 keeps the
    // collection in the query (a copy of the pointer is returned), else the caller owns it.
    DKAny result(int release) override;
    dkResultSetCursor* resultSetCursor() override;   // the caller deletes it; null when none
    unsigned long numberOfResults() override;

protected:
    PQueryObject(dkDatastore* datastore, const char* queryString, short qlType, bool keepsResult);
    PQueryObject(dkDatastore* datastore, DKCQExpr* expression, short qlType, bool keepsResult);
    PQueryObject(const PQueryObject& other);

private:
    void obtainCursor(const DKNVPair* params);
    void dropStoredResult();

    int prepared_;
    dkResultSetCursor* cursor_;
    DKQueryStatus status_;
    int resultsTaken_;
    unsigned long numberOfResults_;
    std::shared_ptr<DKCQExpr> expression_;
    DKAny storedResult_;
    bool keepsResult_;   // false for SQL queries, which return their collection without keeping it
};

// A text query (type 1); its result() keeps the collection.
class DK_API DKTextQuery : public PQueryObject {
public:
    DKTextQuery(dkDatastore* datastore, const char* queryString);
    DKTextQuery(dkDatastore* datastore, DKCQExpr* expression);   // takes the expression
    DKTextQuery(const DKTextQuery& other);
    ~DKTextQuery() override;
};

// An image query (type 2); its result() keeps the collection.
class DK_API DKImageQuery : public PQueryObject {
public:
    DKImageQuery(dkDatastore* datastore, const char* queryString);
    DKImageQuery(dkDatastore* datastore, DKCQExpr* expression);
    DKImageQuery(const DKImageQuery& other);
    ~DKImageQuery() override;
};

// A parametric query (type 3); its result() keeps the collection.
class DK_API DKParametricQuery : public PQueryObject {
public:
    DKParametricQuery(dkDatastore* datastore, const char* queryString);
    DKParametricQuery(dkDatastore* datastore, DKCQExpr* expression);
    DKParametricQuery(const DKParametricQuery& other);
    ~DKParametricQuery() override;
};

// An SQL query (type 4); its result() returns the collection once and keeps nothing.
class DK_API DKSQLQuery : public PQueryObject {
public:
    DKSQLQuery(dkDatastore* datastore, const char* queryString);
    DKSQLQuery(dkDatastore* datastore, DKCQExpr* expression);
    DKSQLQuery(const DKSQLQuery& other);
    ~DKSQLQuery() override;
};
