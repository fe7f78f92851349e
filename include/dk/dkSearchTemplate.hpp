// include/dk/dkSearchTemplate.hpp
#pragma once
#include <dk/DKSequentialCollection.hpp>
#include <dk/DKString.hpp>
#include <dk/dkExport.hpp>

#include <vector>

class DKCQExpr;
class DKNVPair;
class PVector;
class dkCollection;
class dkDatastore;

// A list of value pairs offered for one attribute of one entity on one server. It owns its pairs;
// the collection getValuePairs() returns points at them and is the caller's to delete (not the
// pairs). One thread at a time.
class DK_API DKPredefinedValues {
public:
    DKPredefinedValues();
    DKPredefinedValues(const char* entityName, const char* attrName);
    DKPredefinedValues(const DKPredefinedValues&) = delete;
    DKPredefinedValues& operator=(const DKPredefinedValues&) = delete;
    virtual ~DKPredefinedValues();

    DKString getEntityName() const;
    void setEntityName(const char* name);
    DKString getAttrName() const;
    void setAttrName(const char* name);
    DKString getServerName() const;
    void setServerName(const char* name);
    int getServerId() const;
    void setServerId(int id);
    void addValuePair(const char* name, const char* value);   // the value as a string DKAny
    // Removes the last pair with that name whose value reads as that text; nothing when none.
    void removeValuePair(const char* name, const char* value);
    // A new collection of void-pointer DKAny entries, each pointing at a DKNVPair still owned here.
    dkCollection* getValuePairs() const;
    long valuePairCount() const;

private:
    DKString entityName_;
    DKString attrName_;
    DKString serverName_;
    int serverId_;
    PVector* pairs_;   // owned DKNVPair*, made on first use
};

// One criterion of a search template: an attribute with its display settings, the operators
// allowed, default and predefined values, and the operator and values chosen. It owns its arrays
// and the DKPredefinedValues it accepted. Every rejection (DKUsageError 303) comes before any
// change. One thread at a time.
class DK_API DKSearchCriteria {
public:
    DKSearchCriteria();
    DKSearchCriteria(const char* entityName, const char* attrName);   // 303 when either is null
    DKSearchCriteria(const DKSearchCriteria&) = delete;
    DKSearchCriteria& operator=(const DKSearchCriteria&) = delete;
    virtual ~DKSearchCriteria();

    DKString getName() const;
    void setName(const char* name);
    DKString getDisplayName() const;
    void setDisplayName(const char* name);   // 303 for null
    short getId() const;                      // the id read as a short
    void setId(short id);
    long getIntId() const;
    void setIntId(long id);
    DKString getEntityName() const;
    void setEntityName(const char* name);
    DKString getAssociatedEntityName() const;
    void setAssociatedEntityName(const char* name);
    DKString getAttrName() const;
    void setAttrName(const char* name);
    short getDefaultOperator() const;
    void setDefaultOperator(short op);
    short getOperator() const;
    void setOperator(short op);
    short getDisplayPosition() const;
    void setDisplayPosition(short position);
    short getDisplayWidth() const;
    void setDisplayWidth(short width);
    short getCriteriaPosition() const;
    void setCriteriaPosition(short position);
    int isDisplayable() const;
    void setDisplayable(int displayable);
    int isQueryable() const;
    void setQueryable(int queryable);
    short getType() const;
    void setType(short type);
    short getAttrId() const;
    void setAttrId(short id);
    long getAttrIntId() const;
    void setAttrIntId(long id);
    short getEntityId() const;
    void setEntityId(short id);
    long getEntityIntId() const;
    void setEntityIntId(long id);
    short getDataType() const;   // a DKAny type code
    void setDataType(short type);

    // 303 for a null array or a negative count. The getters return new arrays (null, 0 when empty).
    void setValidOperators(const short* ops, long count);
    short* getValidOperators(long& count) const;
    void setDefaultValues(const DKString* values, long count);
    DKString* getDefaultValues(long& count) const;
    void setValue(const char* value);                       // 303 for null
    void setValues(const DKString* values, long count);     // 303 for null or a count below 1
    DKString getValue() const;                              // the first value, or ""
    DKString* getValues(long& count) const;
    int hasMultiValues() const;
    int isSet() const;           // an operator (not 0) and a value set
    int isQuoteNeeded() const;   // data types 1, 2, 7, 8 and 9

    // Takes pv when it names an entity and an attribute and has pairs; otherwise 303 and pv stays
    // with the caller.
    void addPredefinedValues(DKPredefinedValues* pv);
    // A new collection holding the same entries (void pointers to the DKPredefinedValues still
    // owned here); the caller deletes the collection only.
    dkCollection* getPredefinedValues() const;
    DKSequentialCollection* getPredefinedValuesI();   // the criterion's own collection
    void removePredefinedValues();                    // deletes every DKPredefinedValues held

private:
    DKString name_;
    long id_;
    DKString displayName_;
    DKString entityName_;
    DKString associatedEntityName_;
    long entityId_;
    DKString attrName_;
    long attrId_;
    short displayPosition_;
    short displayWidth_;
    short criteriaPosition_;
    short operator_;
    short defaultOperator_;
    std::vector<short> validOperators_;
    std::vector<DKString> defaultValues_;
    std::vector<DKString> values_;
    int queryable_;
    int displayable_;
    short type_;
    DKSequentialCollection predefinedValues_;
    int valueSet_;
    short dataType_;
};

// The abstract search template: a stored, named search form of a repository (an entity and its
// criteria) that a connector implements. The template holds its name, description, id and entity
// name; the datastore is not owned. createCQExpr() is the one operation a connector must give;
// the 25 slots before it are named here for every connector alike and rejected with 341 in the
// base:
//   criteria  numberOfCriteria, listCriteria, listCriteriaNames, getCriteria, addCriteria,
//             removeCriteria, getDisplayAttrNames, setDisplayAttrNames, getMaxResults,
//             setMaxResults;
//   values    setOperator, getOperator, setValue, setValues, getValues, clearValues,
//             clearAllValues, isComplete;
//   storage   retrieve, add, update, del, exists, getOwner, setOwner.
// One thread at a time.
class DK_API dkSearchTemplate {
public:
    dkSearchTemplate();
    explicit dkSearchTemplate(dkDatastore* datastore);
    dkSearchTemplate(const dkSearchTemplate&) = delete;
    dkSearchTemplate& operator=(const dkSearchTemplate&) = delete;
    virtual ~dkSearchTemplate();

    virtual short getId() const;
    virtual void setId(short id);
    virtual dkDatastore* getDatastore() const;
    virtual void setDatastore(dkDatastore* datastore);

    // criteria
    virtual long numberOfCriteria();
    virtual dkCollection* listCriteria();                    // a new collection; entries stay here
    virtual DKString* listCriteriaNames(long& count);
    virtual DKSearchCriteria* getCriteria(const char* name);   // still owned by the template
    virtual void addCriteria(DKSearchCriteria* criteria);      // takes it
    virtual void removeCriteria(const char* name);
    virtual DKString* getDisplayAttrNames(long& count);
    virtual void setDisplayAttrNames(const DKString* names, long count);
    virtual long getMaxResults();
    virtual void setMaxResults(long maxResults);
    // values
    virtual void setOperator(const char* criteriaName, short op);
    virtual short getOperator(const char* criteriaName);
    virtual void setValue(const char* criteriaName, const char* value);
    virtual void setValues(const char* criteriaName, const DKString* values, long count);
    virtual DKString* getValues(const char* criteriaName, long& count);
    virtual void clearValues(const char* criteriaName);
    virtual void clearAllValues();
    virtual int isComplete();
    // storage
    virtual void retrieve();
    virtual void add();
    virtual void update();
    virtual void del();
    virtual int exists();
    virtual DKString getOwner();
    virtual void setOwner(const char* owner);
    // The filled-in template as a new compound expression the caller deletes.
    virtual DKCQExpr* createCQExpr() = 0;

    virtual void clearCache();   // 341 in the base

    DKString getName() const;
    void setName(const char* name);
    DKString getDescription() const;
    void setDescription(const char* description);
    DKString getEntityName() const;
    void setEntityName(const char* name);

private:
    DKString name_;
    DKString description_;
    short id_;
    DKString entityName_;
    dkDatastore* datastore_;
};
