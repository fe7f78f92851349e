// src/dk/common/datastore/dkTemplateAccess.hpp
#pragma once

#include <memory>

class DKCQExpr;
class dkSearchTemplate;

// What the datastore's search-template forms ask of the query model, which sits above the
// datastore: a template's filled-in expression and its deletion. The datastore cannot include the
// query headers, so it declares here what it calls and src/dk/common/query/dkSearchTemplate.cpp
// defines it; a declaration and a definition that drift apart fail to link.
DKCQExpr* dkCreateTemplateExpr(dkSearchTemplate& searchTemplate);   // the caller deletes it
void dkDeleteTemplateExpr(DKCQExpr* expression);

// The template's expression, deleted when the holder goes out of scope, also on a throw.
struct dkTemplateExprDeleter {
    void operator()(DKCQExpr* expression) const { dkDeleteTemplateExpr(expression); }
};
using dkTemplateExpr = std::unique_ptr<DKCQExpr, dkTemplateExprDeleter>;
