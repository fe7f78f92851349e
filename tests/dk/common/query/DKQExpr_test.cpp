// tests/dk/common/query/DKQExpr_test.cpp
//
// Expression trees and compound expressions: the constructor checks, who owns what after
// setLeft, removeSubQuery and setQueryExpr, the order of the gathered name lists, the option
// lists at their edges, the SQL of the first parametric leaf, and trees deeper than the stack.

#include <dk/DKQExpr.hpp>

#include "dkTestSupport.hpp"

#include <memory>
#include <tuple>

namespace {
using Expr = std::unique_ptr<DKQExpr>;

DKQSubExpr* sub(std::vector<DKString> entities, const char* mapping = "", int type = 0) {
    auto* s = new DKQSubExpr;
    s->setEntityNames(entities.data(), static_cast<long>(entities.size()));
    s->setMappingName(mapping);
    s->setMappingType(type);
    return s;
}

Expr leafWith(std::initializer_list<DKQSubExpr*> subs, short qlType = 3) {
    Expr e(new DKQExpr);
    e->setQLType(qlType);
    for (DKQSubExpr* s : subs) e->addSubQuery(s);
    return e;
}

template <class T>
std::vector<T> take(T* array, const long& n) {   // n read after the call that sets it
    std::unique_ptr<T[]> owned(array);
    return std::vector<T>(array, array + n);
}

std::vector<DKString> entities(const DKQExpr& e) {
    long n = -1;
    return take(e.getEntityNames(n), n);
}
}  // namespace

TEST(DKQExprChecks, RefusedNodesLeaveTheChildrenWithTheCaller) {
    // The shapes and texts of 303 are the terms' (one check serves both); these show it is made here.
    Expr a(new DKQExpr), b(new DKQExpr);
    EXPECT_EQ(303, dktest::usageError([&] { DKQExpr(a.get(), 5, b.get()); }));
    EXPECT_EQ(303, dktest::usageError([&] { a->and_(a.get()); }));   // would be deleted twice
    EXPECT_EQ(303, dktest::usageError([&] { a->or_(nullptr); }));     // the new node is freed as it throws
    Expr negated(new DKQExpr(nullptr, 8, b.release()));
    EXPECT_EQ(std::make_pair(short(8), 0), std::make_pair(negated->opCode(), negated->isLeaf()));
}

TEST(DKQExprOwnership, SetLeftKeepsTheOldChildAndSubQueriesGoByPointerOrIndex) {
    Expr root(Expr(new DKQExpr).release()->and_(new DKQExpr));
    Expr old(root->left());   // setLeft does not delete it: it is ours again
    root->setLeft(new DKQExpr);
    EXPECT_NE(old.get(), root->left());

    Expr leaf = leafWith({sub({"A"}), sub({"B"}), sub({"C"})});
    const long added = leaf->addSubQuery(sub({"D"}));
    EXPECT_EQ(std::make_pair(4L, 4L), std::make_pair(added, leaf->addSubQuery(nullptr)));   // nothing is not added
    std::unique_ptr<DKQSubExpr> kept(leaf->getSubQuery(1));
    EXPECT_EQ(1, leaf->removeSubQuery(kept.get()));   // removed, not deleted
    EXPECT_EQ(-1, leaf->removeSubQuery(kept.get()));
    for (long i : {0L, 7L, -1L}) leaf->removeSubQuery(i);   // the first removed and deleted, the others out of range
    ASSERT_EQ(2, leaf->subQueryCount());
    EXPECT_EQ(DKString("C"), leaf->getSubQuery(0)->getEntityName());
    for (long i : {2L, -1L}) EXPECT_EQ(nullptr, leaf->getSubQuery(i)) << i;

    DKQSubExpr s;
    auto* term = new DKQTerm("a", 1, "1");
    s.setQueryTerm(term);
    s.setQueryTerm(term);   // the same term: kept
    s.setQueryTerm(new DKQTerm("b", 1, "1"));   // a different one: the old is deleted

    DKCQExpr compound(new DKQExpr);
    Expr first(compound.getQueryExpr());   // setQueryExpr does not delete the old root
    compound.setQueryExpr(new DKQExpr);
}

TEST(DKQExprNames, ListsFollowTheLeavesInTheirOrder) {
    Expr left = leafWith({sub({"A", "B"}, "m0", 1), sub({"C"}, "m1", 2)});
    EXPECT_EQ((std::vector<DKString>{"C", "A", "B"}), entities(*left));   // sub-queries last to first
    left->getSubQuery(0)->setAssociatedEntityName("assoc");
    EXPECT_EQ(DKString("assoc"), left->getAssociatedEntityName());
    Expr tree(left.release()->or_(leafWith({sub({"D"}, "m2", 3), sub({"A"}, "m3", 4)}).release()));
    EXPECT_EQ((std::vector<DKString>{"C", "A", "B", "A", "D"}), entities(*tree));
    long n = 0, m = 0;
    EXPECT_EQ((std::vector<DKString>{"m0", "m1", "m2", "m3"}), take(tree->getMappingNames(n), n));
    EXPECT_EQ((std::vector<int>{1, 2, 3, 4}), take(tree->getMappingTypes(m), m));
    EXPECT_EQ(std::make_pair(DKString(), 0), std::make_pair(tree->getAssociatedEntityName(), tree->isTranslation()));
    tree->right()->getSubQuery(1)->setTranslation(1);
    EXPECT_EQ(1, tree->isTranslation());

    DKCQExpr compound(tree.release());
    EXPECT_EQ(5u, entities(*compound.getQueryExpr()).size());
    EXPECT_EQ(1, compound.isTranslation());
    DKCQExpr empty;
    long n1 = 7, n2 = 7;
    const bool none = empty.getEntityNames(n1) == nullptr && empty.getMappingTypes(n) == nullptr &&
                      DKQExpr().getMappingNames(n2) == nullptr;
    EXPECT_EQ(std::make_tuple(true, 0L, 0L, 0), std::make_tuple(none, n1, n2, empty.isTranslation()));
}

TEST(DKQExprOptions, NamesFromTheEndIndexesInRangeOrAppended) {
    DKQExpr e;
    long n = 5;
    EXPECT_TRUE(e.getOptionList(n) == nullptr && e.getOption("x") == nullptr);
    EXPECT_EQ(std::make_pair(0L, -1L), std::make_pair(n, static_cast<long>(e.removeOption("x"))));
    e.removeOption(0L);   // no list yet: nothing happens

    e.setOption(5L, DKNVPair("a", DKAny("1")));   // beyond the end: appended
    e.setOption(1L, DKNVPair("a", DKAny("2")));
    e.setOption("a", DKAny("3"));                 // the last "a" changes
    std::unique_ptr<DKNVPair> first(e.getOption(0L)), last(e.getOption("a"));
    EXPECT_EQ("1 3", first->getValue().toString().str() + " " + last->getValue().toString().str());
    for (long i : {2L, -1L}) EXPECT_EQ(nullptr, e.getOption(i)) << i;
    const long removed = e.removeOption("a");
    EXPECT_EQ(std::make_pair(1L, 1L), std::make_pair(removed, static_cast<long>(e.optionCount())));
    for (long i : {9L, -3L}) e.removeOption(i);   // out of range: nothing happens

    DKNVPair list[] = {DKNVPair("p", DKAny(1L)), DKNVPair("q", DKAny(2L))};
    e.setParameterList(list, 2);
    e.setParameterList(list, 1);   // replaces, does not add
    e.setParameter(0L, DKNVPair("r", DKAny(3L)));
    ASSERT_EQ(DKString("r"), take(e.getParameterList(n), n).at(0).getName());
    EXPECT_EQ(1, n);
    e.setParameterList(nullptr, 3);
    EXPECT_EQ(0, e.parameterCount());

    DKQSubExpr s;   // the same lists in a sub-expression
    s.setOption("k", DKAny("v"));
    for (const char* name : {"missing", "k"}) s.removeOption(name);
    EXPECT_EQ(0, s.optionCount());
}

TEST(DKCQExprSQL, TheFirstParametricLeafLeftBeforeRight) {
    DKString display[] = {"a", "b"};
    DKQSubExpr* s = sub({"E"});
    s->setDisplayList(display, 2);
    s->setQueryTerm(new DKQTerm("x", 3, "1"));
    DKCQExpr compound(leafWith({s}).release());
    EXPECT_EQ(" SELECT a,b FROM E WHERE x > 1", compound.toSQL().str());
    s->setDisplayList(nullptr, 0);
    EXPECT_EQ(" SELECT * FROM E WHERE x > 1", compound.toSQL().str());
    s->setQueryTerm(nullptr);
    EXPECT_EQ(" SELECT * FROM E", compound.toSQL().str());   // no term: no WHERE

    // Text leaves and a parametric leaf without sub-queries give nothing; the search goes on.
    DKQSubExpr* second = sub({"F"});
    second->setQueryTerm(new DKQTerm("y", 1, "NULL"));
    Expr left(leafWith({sub({"T"})}, 1).release()->and_(leafWith({}).release()));
    Expr tree(left.release()->or_(Expr(new DKQExpr(nullptr, 8, leafWith({second}).release())).release()));
    DKCQExpr found(tree.release());
    EXPECT_EQ(" SELECT * FROM F WHERE y IS NULL ", found.toSQL().str());
    EXPECT_EQ("", DKCQExpr().toSQL().str() + DKCQExpr(leafWith({sub({"T"})}, 4).release()).toSQL().str());
}

TEST(DKQExprDepth, AHundredThousandAndsWalkAndDie) {
    Expr chain = leafWith({sub({"first"})});
    chain->getSubQuery(0)->setQueryTerm(new DKQTerm("k", 1, "1"));
    for (int i = 0; i < 100000; ++i) chain.reset(chain.release()->and_(leafWith({sub({"E"})}).release()));
    EXPECT_EQ(100001u, entities(*chain).size());
    EXPECT_EQ(DKString("first"), entities(*chain).front());
    DKCQExpr compound(chain.release());
    EXPECT_EQ(" SELECT * FROM first WHERE k = 1", compound.toSQL().str());
}
