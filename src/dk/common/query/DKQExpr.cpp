// src/dk/common/query/DKQExpr.cpp
//
// The logical tree of a compound query (DKQExpr), the sub-expressions its leaves carry
// (DKQSubExpr) and the compound expression handed to datastores and query objects (DKCQExpr),
// with the name lists gathered over the leaves and the SQL of the first parametric leaf. Every
// walk over the tree uses an explicit stack, so depth costs memory, never the call stack.

#include <dk/DKQExpr.hpp>

#include <dk/DKOpCode.hpp>
#include <dk/PVector.hpp>

#include "dk/common/query/dkQueryLists.hpp"

#include <memory>
#include <string>
#include <utility>

namespace {
constexpr const char* kSource = "dk/common/DKQExpr";
constexpr unsigned long kSubQueryRoom = 2;
constexpr unsigned long kPairRoom = 4;

// Calls f on every leaf under root, left before right, until f returns true.
template <class F>
void eachLeaf(const DKQExpr* root, F f) {
    std::vector<const DKQExpr*> pending;
    if (root != nullptr) pending.push_back(root);
    while (!pending.empty()) {
        const DKQExpr* node = pending.back();
        pending.pop_back();
        if (node->isLeaf()) {
            if (f(*node)) return;
            continue;
        }
        if (node->right() != nullptr) pending.push_back(node->right());
        if (node->left() != nullptr) pending.push_back(node->left());
    }
}

template <class T>
T* newArray(std::vector<T>& items, long& count) {
    count = static_cast<long>(items.size());
    if (items.empty()) return nullptr;
    auto* a = new T[items.size()];
    for (size_t i = 0; i < items.size(); ++i) a[i] = std::move(items[i]);
    return a;
}

std::vector<DKString> entityNamesOf(const DKQExpr* root) {
    std::vector<DKString> names;
    eachLeaf(root, [&names](const DKQExpr& leaf) {
        for (long i = leaf.subQueryCount() - 1; i >= 0; --i) {
            long n = 0;
            std::unique_ptr<DKString[]> some(leaf.getSubQuery(i)->getEntityNames(n));
            for (long k = 0; k < n; ++k) names.push_back(some[k]);
        }
        return false;
    });
    return names;
}

template <class T, class Get>
T* perSubQuery(const DKQExpr* root, long& count, Get get) {
    std::vector<T> items;
    eachLeaf(root, [&](const DKQExpr& leaf) {
        for (long i = 0; i < leaf.subQueryCount(); ++i) items.push_back(get(*leaf.getSubQuery(i)));
        return false;
    });
    return newArray(items, count);
}

int anyTranslation(const DKQExpr* root) {
    int found = 0;
    eachLeaf(root, [&found](const DKQExpr& leaf) {
        for (long i = 0; i < leaf.subQueryCount() && found == 0; ++i) {
            found = leaf.getSubQuery(i)->isTranslation() != 0 ? 1 : 0;
        }
        return found != 0;
    });
    return found;
}
}  // namespace

// ---------------------------------------------------------------------------------------------
// DKQSubExpr

DKQSubExpr::DKQSubExpr()
    : term_(nullptr), mappingType_(0), translation_(0), options_(nullptr), parameters_(nullptr) {}

DKQSubExpr::~DKQSubExpr() {
    delete term_;
    dkq::pairsFree(options_);
    dkq::pairsFree(parameters_);
}

DKString DKQSubExpr::getEntityName() const { return entityNames_.empty() ? DKString() : entityNames_.front(); }

void DKQSubExpr::setEntityName(const char* name) {
    std::vector<DKString> one(1, DKString(name));
    entityNames_.swap(one);
}

void DKQSubExpr::setAssociatedEntityName(const char* name) { associatedEntityName_ = name; }
DKString DKQSubExpr::getAssociatedEntityName() const { return associatedEntityName_; }
DKString* DKQSubExpr::getEntityNames(long& count) const { return dkq::copyStrings(entityNames_, count); }
void DKQSubExpr::setEntityNames(const DKString* names, long count) { dkq::assignStrings(entityNames_, names, count); }
DKString DKQSubExpr::getMappingName() const { return mappingName_; }
void DKQSubExpr::setMappingName(const char* name) { mappingName_ = name; }
int DKQSubExpr::getMappingType() const { return mappingType_; }
void DKQSubExpr::setMappingType(int type) { mappingType_ = type; }
int DKQSubExpr::isTranslation() const { return translation_; }
void DKQSubExpr::setTranslation(int translation) { translation_ = translation; }
DKString* DKQSubExpr::getDisplayList(long& count) const { return dkq::copyStrings(displayList_, count); }
void DKQSubExpr::setDisplayList(const DKString* names, long count) { dkq::assignStrings(displayList_, names, count); }
DKQTerm* DKQSubExpr::getQueryTerm() const { return term_; }

void DKQSubExpr::setQueryTerm(DKQTerm* term) {
    if (term_ != term) delete term_;
    term_ = term;
}

long DKQSubExpr::optionCount() const { return dkq::pairCount(options_); }
DKNVPair* DKQSubExpr::getOptionList(long& count) const { return dkq::pairsCopy(options_, count); }
void DKQSubExpr::setOptionList(const DKNVPair* p, long n) { dkq::pairsAssign(options_, kPairRoom, p, n); }
DKNVPair* DKQSubExpr::getOption(const char* name) const { return dkq::pairGet(options_, name); }
DKNVPair* DKQSubExpr::getOption(long index) const { return dkq::pairGet(options_, index); }
void DKQSubExpr::setOption(const char* name, const DKAny& v) { dkq::pairSet(options_, kPairRoom, name, v); }
void DKQSubExpr::setOption(long index, const DKNVPair& p) { dkq::pairSet(options_, kPairRoom, index, p); }
void DKQSubExpr::removeOption(const char* name) { dkq::pairRemove(options_, name); }
void DKQSubExpr::removeOption(long index) { dkq::pairRemove(options_, index); }
long DKQSubExpr::parameterCount() const { return dkq::pairCount(parameters_); }
DKNVPair* DKQSubExpr::getParameterList(long& count) const { return dkq::pairsCopy(parameters_, count); }
void DKQSubExpr::setParameterList(const DKNVPair* p, long n) { dkq::pairsAssign(parameters_, kPairRoom, p, n); }
DKNVPair* DKQSubExpr::getParameter(const char* name) const { return dkq::pairGet(parameters_, name); }
DKNVPair* DKQSubExpr::getParameter(long index) const { return dkq::pairGet(parameters_, index); }
void DKQSubExpr::setParameter(const char* name, const DKAny& v) { dkq::pairSet(parameters_, kPairRoom, name, v); }
void DKQSubExpr::setParameter(long index, const DKNVPair& p) { dkq::pairSet(parameters_, kPairRoom, index, p); }
void DKQSubExpr::removeParameter(const char* name) { dkq::pairRemove(parameters_, name); }
void DKQSubExpr::removeParameter(long index) { dkq::pairRemove(parameters_, index); }
DKString DKQSubExpr::toString() const { return DKString(); }

// ---------------------------------------------------------------------------------------------
// DKQExpr

DKQExpr::DKQExpr()
    : qlType_(0), op_(0), left_(nullptr), right_(nullptr), subQueries_(nullptr), options_(nullptr),
      parameters_(nullptr) {}

DKQExpr::DKQExpr(DKQExpr* left, short op, DKQExpr* right) : DKQExpr() {
    dkq::checkLogical(kSource, "DKQExpr::DKQExpr", left, op, right);
    op_ = op;
    left_ = left;
    right_ = right;
}

DKQExpr::~DKQExpr() {
    // The children are taken out of each node before it dies, so no destructor ever recurses.
    std::vector<DKQExpr*> pending;
    for (DKQExpr* node = this; node != nullptr;) {
        if (node->left_ != nullptr) pending.push_back(std::exchange(node->left_, nullptr));
        if (node->right_ != nullptr) pending.push_back(std::exchange(node->right_, nullptr));
        if (node->subQueries_ != nullptr) {
            for (unsigned long i = 0; i < node->subQueries_->size(); ++i) {
                delete static_cast<DKQSubExpr*>((*node->subQueries_)[i]);
            }
            delete std::exchange(node->subQueries_, nullptr);
        }
        dkq::pairsFree(node->options_);
        dkq::pairsFree(node->parameters_);
        if (node != this) delete node;
        node = nullptr;
        if (!pending.empty()) {
            node = pending.back();
            pending.pop_back();
        }
    }
}

short DKQExpr::getQLType() const { return qlType_; }
void DKQExpr::setQLType(short qlType) { qlType_ = qlType; }
DKString DKQExpr::getDatastoreType() const { return datastoreType_; }
void DKQExpr::setDatastoreType(const char* type) { datastoreType_ = type; }
DKString DKQExpr::getDatastoreName() const { return datastoreName_; }
void DKQExpr::setDatastoreName(const char* name) { datastoreName_ = name; }
int DKQExpr::isTranslation() const { return anyTranslation(this); }

DKString* DKQExpr::getMappingNames(long& count) const {
    return perSubQuery<DKString>(this, count, [](const DKQSubExpr& s) { return s.getMappingName(); });
}

int* DKQExpr::getMappingTypes(long& count) const {
    return perSubQuery<int>(this, count, [](const DKQSubExpr& s) { return s.getMappingType(); });
}

DKString DKQExpr::getAssociatedMapping() const { return associatedMapping_; }
void DKQExpr::setAssociatedMapping(const char* name) { associatedMapping_ = name; }

DKString* DKQExpr::getEntityNames(long& count) const {
    std::vector<DKString> names = entityNamesOf(this);
    return newArray(names, count);
}

DKString DKQExpr::getAssociatedEntityName() const {
    if (!isLeaf() || subQueryCount() == 0) return DKString();
    return getSubQuery(0)->getAssociatedEntityName();
}

long DKQExpr::subQueryCount() const {
    return subQueries_ != nullptr ? static_cast<long>(subQueries_->size()) : 0;
}

long DKQExpr::addSubQuery(DKQSubExpr* subQuery) {
    if (subQuery == nullptr) return subQueryCount();
    if (subQueries_ == nullptr) subQueries_ = new PVector(kSubQueryRoom);
    return static_cast<long>(subQueries_->addLast(subQuery));
}

void DKQExpr::removeSubQuery(long index) {
    if (index < 0 || index >= subQueryCount()) return;
    delete static_cast<DKQSubExpr*>(subQueries_->remove(static_cast<unsigned long>(index)));
}

long DKQExpr::removeSubQuery(DKQSubExpr* subQuery) {
    for (long i = subQueryCount() - 1; i >= 0; --i) {
        if (getSubQuery(i) == subQuery) {
            subQueries_->remove(static_cast<unsigned long>(i));
            return i;
        }
    }
    return -1;
}

DKQSubExpr* DKQExpr::getSubQuery(long index) const {
    if (index < 0 || index >= subQueryCount()) return nullptr;
    return static_cast<DKQSubExpr*>((*subQueries_)[static_cast<unsigned long>(index)]);
}

long DKQExpr::optionCount() const { return dkq::pairCount(options_); }
DKNVPair* DKQExpr::getOptionList(long& count) const { return dkq::pairsCopy(options_, count); }
void DKQExpr::setOptionList(const DKNVPair* p, long n) { dkq::pairsAssign(options_, kPairRoom, p, n); }
DKNVPair* DKQExpr::getOption(const char* name) const { return dkq::pairGet(options_, name); }
DKNVPair* DKQExpr::getOption(long index) const { return dkq::pairGet(options_, index); }
void DKQExpr::setOption(const char* name, const DKAny& v) { dkq::pairSet(options_, kPairRoom, name, v); }
void DKQExpr::setOption(long index, const DKNVPair& p) { dkq::pairSet(options_, kPairRoom, index, p); }
long DKQExpr::removeOption(const char* name) { return dkq::pairRemove(options_, name); }
void DKQExpr::removeOption(long index) { dkq::pairRemove(options_, index); }
long DKQExpr::parameterCount() const { return dkq::pairCount(parameters_); }
DKNVPair* DKQExpr::getParameterList(long& count) const { return dkq::pairsCopy(parameters_, count); }
void DKQExpr::setParameterList(const DKNVPair* p, long n) { dkq::pairsAssign(parameters_, kPairRoom, p, n); }
DKNVPair* DKQExpr::getParameter(const char* name) const { return dkq::pairGet(parameters_, name); }
DKNVPair* DKQExpr::getParameter(long index) const { return dkq::pairGet(parameters_, index); }
void DKQExpr::setParameter(const char* name, const DKAny& v) { dkq::pairSet(parameters_, kPairRoom, name, v); }
void DKQExpr::setParameter(long index, const DKNVPair& p) { dkq::pairSet(parameters_, kPairRoom, index, p); }
long DKQExpr::removeParameter(const char* name) { return dkq::pairRemove(parameters_, name); }
void DKQExpr::removeParameter(long index) { dkq::pairRemove(parameters_, index); }

short DKQExpr::opCode() const { return op_; }
DKQExpr* DKQExpr::left() const { return left_; }
DKQExpr* DKQExpr::right() const { return right_; }
int DKQExpr::isLeaf() const { return left_ == nullptr && right_ == nullptr ? 1 : 0; }
DKQExpr* DKQExpr::and_(DKQExpr* other) { return new DKQExpr(this, DKOpCode::opAnd, other); }
DKQExpr* DKQExpr::or_(DKQExpr* other) { return new DKQExpr(this, DKOpCode::opOr, other); }
void DKQExpr::setLeft(DKQExpr* left) { left_ = left; }
void DKQExpr::setRight(DKQExpr* right) { right_ = right; }

// ---------------------------------------------------------------------------------------------
// DKCQExpr

DKCQExpr::DKCQExpr() : qlType_(0), expression_(nullptr) {}
DKCQExpr::DKCQExpr(DKQExpr* expression) : qlType_(0), expression_(expression) {}
DKCQExpr::~DKCQExpr() { delete expression_; }

short DKCQExpr::getQLType() const { return qlType_; }
void DKCQExpr::setQLType(short qlType) { qlType_ = qlType; }
DKString DKCQExpr::getDatastoreType() const { return datastoreType_; }
void DKCQExpr::setDatastoreType(const char* type) { datastoreType_ = type; }
DKString DKCQExpr::getDatastoreName() const { return datastoreName_; }
void DKCQExpr::setDatastoreName(const char* name) { datastoreName_ = name; }

DKString* DKCQExpr::getMappingNames(long& count) const {
    count = 0;
    return expression_ != nullptr ? expression_->getMappingNames(count) : nullptr;
}

int* DKCQExpr::getMappingTypes(long& count) const {
    count = 0;
    return expression_ != nullptr ? expression_->getMappingTypes(count) : nullptr;
}

DKString* DKCQExpr::getEntityNames(long& count) const {
    count = 0;
    return expression_ != nullptr ? expression_->getEntityNames(count) : nullptr;
}

int DKCQExpr::isTranslation() const { return expression_ != nullptr ? expression_->isTranslation() : 0; }
DKQExpr* DKCQExpr::getQueryExpr() const { return expression_; }
void DKCQExpr::setQueryExpr(DKQExpr* expression) { expression_ = expression; }

DKString DKCQExpr::toSQL() const {
    std::string sql;
    eachLeaf(expression_, [&sql](const DKQExpr& leaf) {
        if (leaf.getQLType() != 3 || leaf.subQueryCount() == 0) return false;
        const DKQSubExpr& sub = *leaf.getSubQuery(0);
        long n = 0;
        std::unique_ptr<DKString[]> display(sub.getDisplayList(n));
        sql = " SELECT ";
        for (long i = 0; i < n; ++i) {
            if (i > 0) sql += ',';
            sql += display[i].str();
        }
        sql += n > 0 ? " FROM " : "* FROM ";
        sql += sub.getEntityName().str();
        // Without a condition the statement stops after the entity, rather than with a bare WHERE.
        std::string condition;
        if (sub.getQueryTerm() != nullptr) sub.getQueryTerm()->appendSQL(condition);
        if (!condition.empty()) sql += " WHERE " + condition;
        return true;
    });
    return DKString(sql);
}

void DKCQExpr::setSearchTemplateName(const char* name) { searchTemplateName_ = name; }
DKString DKCQExpr::getSearchTemplateName() const { return searchTemplateName_; }
