// include/dk/DKQExpr.hpp
#pragma once
#include <dk/DKAny.hpp>
#include <dk/DKNVPair.hpp>
#include <dk/DKQTerm.hpp>
#include <dk/DKString.hpp>
#include <dk/dkExport.hpp>

#include <vector>

class PVector;

// The option and parameter lists of DKQSubExpr and DKQExpr: name/value pairs in insertion order,
// indexed from 0, looked up by name from the last entry. Get operations return new copies the
// caller deletes.

// A term bound to what it searches: entity names, display list, mapping, options and
// parameters. The sub-expression owns its term (setQueryTerm deletes a different previous one)
// and every pair of its lists. One thread at a time.
class DK_API DKQSubExpr {
public:
    DKQSubExpr();
    DKQSubExpr(const DKQSubExpr&) = delete;
    DKQSubExpr& operator=(const DKQSubExpr&) = delete;
    virtual ~DKQSubExpr();

    virtual DKString getEntityName() const;   // the first entity name, or ""
    virtual void setEntityName(const char* name);   // the list becomes this one name
    virtual void setAssociatedEntityName(const char* name);
    virtual DKString getAssociatedEntityName() const;
    virtual DKString* getEntityNames(long& count) const;
    virtual void setEntityNames(const DKString* names, long count);
    virtual DKString getMappingName() const;
    virtual void setMappingName(const char* name);
    virtual int getMappingType() const;
    virtual void setMappingType(int type);
    virtual int isTranslation() const;
    virtual void setTranslation(int translation);
    virtual DKString* getDisplayList(long& count) const;
    virtual void setDisplayList(const DKString* names, long count);
    virtual DKQTerm* getQueryTerm() const;
    virtual void setQueryTerm(DKQTerm* term);

    virtual long optionCount() const;
    virtual DKNVPair* getOptionList(long& count) const;
    virtual void setOptionList(const DKNVPair* options, long count);
    virtual DKNVPair* getOption(const char* name) const;
    virtual DKNVPair* getOption(long index) const;
    virtual void setOption(const char* name, const DKAny& value);
    virtual void setOption(long index, const DKNVPair& option);
    virtual void removeOption(const char* name);
    virtual void removeOption(long index);
    virtual long parameterCount() const;
    virtual DKNVPair* getParameterList(long& count) const;
    virtual void setParameterList(const DKNVPair* parameters, long count);
    virtual DKNVPair* getParameter(const char* name) const;
    virtual DKNVPair* getParameter(long index) const;
    virtual void setParameter(const char* name, const DKAny& value);
    virtual void setParameter(long index, const DKNVPair& parameter);
    virtual void removeParameter(const char* name);
    virtual void removeParameter(long index);

protected:
    virtual DKString toString() const;   // ""

private:
    std::vector<DKString> entityNames_;
    DKString associatedEntityName_;
    std::vector<DKString> displayList_;
    DKQTerm* term_;
    DKString mappingName_;
    int mappingType_;
    int translation_;
    PVector* options_;
    PVector* parameters_;
};

// A node of the logical tree of a compound query: an inner node joins two expressions with AND,
// OR or NOT; a leaf (no children) carries sub-expressions. A node owns its children, its
// sub-expressions and its pairs; setLeft and setRight store the new child without deleting the
// old one, which stays with the caller. and_ and or_ return a new node owning this one and the
// argument. Walks and deletion use an explicit stack, so depth is unlimited. One thread at a time.
class DK_API DKQExpr {
public:
    DKQExpr();
    // A logical node (op 6 or 7 with two children, 8 with a right child only), owning both;
    // otherwise DKUsageError 303 and the children stay with the caller.
    DKQExpr(DKQExpr* left, short op, DKQExpr* right);
    DKQExpr(const DKQExpr&) = delete;
    DKQExpr& operator=(const DKQExpr&) = delete;
    virtual ~DKQExpr();

    virtual short getQLType() const;
    virtual void setQLType(short qlType);
    virtual DKString getDatastoreType() const;
    virtual void setDatastoreType(const char* type);
    virtual DKString getDatastoreName() const;
    virtual void setDatastoreName(const char* name);
    virtual int isTranslation() const;
    virtual DKString* getMappingNames(long& count) const;   // one per sub-query, leaves left first
    virtual int* getMappingTypes(long& count) const;
    virtual DKString getAssociatedMapping() const;
    virtual void setAssociatedMapping(const char* name);
    // A leaf's sub-queries from the last to the first, each one's names in order; an inner
    // node's left list, then its right one. Duplicates are kept.
    virtual DKString* getEntityNames(long& count) const;
    virtual DKString getAssociatedEntityName() const;   // of sub-query 0 of a leaf, else ""
    virtual long subQueryCount() const;
    virtual long addSubQuery(DKQSubExpr* subQuery);   // takes it; returns the new count
    virtual void removeSubQuery(long index);           // deletes it
    virtual long removeSubQuery(DKQSubExpr* subQuery);   // gives it back; its index or -1
    virtual DKQSubExpr* getSubQuery(long index) const;   // still owned; null beyond the end

    virtual long optionCount() const;
    virtual DKNVPair* getOptionList(long& count) const;
    virtual void setOptionList(const DKNVPair* options, long count);
    virtual DKNVPair* getOption(const char* name) const;
    virtual DKNVPair* getOption(long index) const;
    virtual void setOption(const char* name, const DKAny& value);
    virtual void setOption(long index, const DKNVPair& option);
    virtual long removeOption(const char* name);   // the removed entry's index, or -1
    virtual void removeOption(long index);
    virtual long parameterCount() const;
    virtual DKNVPair* getParameterList(long& count) const;
    virtual void setParameterList(const DKNVPair* parameters, long count);
    virtual DKNVPair* getParameter(const char* name) const;
    virtual DKNVPair* getParameter(long index) const;
    virtual void setParameter(const char* name, const DKAny& value);
    virtual void setParameter(long index, const DKNVPair& parameter);
    virtual long removeParameter(const char* name);
    virtual void removeParameter(long index);

    virtual short opCode() const;
    virtual DKQExpr* left() const;
    virtual DKQExpr* right() const;
    virtual int isLeaf() const;
    virtual DKQExpr* and_(DKQExpr* other);
    virtual DKQExpr* or_(DKQExpr* other);
    virtual void setLeft(DKQExpr* left);
    virtual void setRight(DKQExpr* right);

private:
    short qlType_;
    short op_;
    DKString datastoreType_;
    DKString datastoreName_;
    DKString associatedMapping_;
    DKQExpr* left_;
    DKQExpr* right_;
    PVector* subQueries_;
    PVector* options_;
    PVector* parameters_;
};

// The compound query expression a query object or a datastore receives: query-language type
// (1 text, 2 image, 3 parametric, 4 SQL), target datastore, search-template name and the root
// expression, which it owns and deletes. setQueryExpr takes the new root without deleting the
// old one. One thread at a time.
class DK_API DKCQExpr {
public:
    DKCQExpr();
    explicit DKCQExpr(DKQExpr* expression);   // takes the expression
    DKCQExpr(const DKCQExpr&) = delete;
    DKCQExpr& operator=(const DKCQExpr&) = delete;
    virtual ~DKCQExpr();

    virtual short getQLType() const;
    virtual void setQLType(short qlType);
    virtual DKString getDatastoreType() const;
    virtual void setDatastoreType(const char* type);
    virtual DKString getDatastoreName() const;
    virtual void setDatastoreName(const char* name);
    virtual DKString* getMappingNames(long& count) const;
    virtual int* getMappingTypes(long& count) const;
    virtual DKString* getEntityNames(long& count) const;
    virtual int isTranslation() const;
    virtual DKQExpr* getQueryExpr() const;
    virtual void setQueryExpr(DKQExpr* expression);
    // The SQL of the first parametric (type 3) leaf with a sub-query, left before right:
    // " SELECT a,b FROM E WHERE <term>"; "" when there is none.
    virtual DKString toSQL() const;
    virtual void setSearchTemplateName(const char* name);
    virtual DKString getSearchTemplateName() const;

private:
    short qlType_;
    DKQExpr* expression_;
    DKString datastoreType_;
    DKString datastoreName_;
    DKString searchTemplateName_;
};
