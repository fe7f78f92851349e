// include/dk/PTreeKit.hpp
#pragma once

// The walk every SQL connector makes over a query tree (DKCQExpr), done once here so that the
// same tree is read the same way everywhere: the expression nodes' AND, OR and NOT join one
// condition per entity table, each leaf's sub-queries name the entities searched (through a
// schema mapping where they ask for one), a term's chains of one operator are written flat, and
// a raw value is resolved to the text or typed value it stands for. A connector writes only its
// comparisons and values. Header only: the walk is a template over the connector's entity.

#include <dk/DKAny.hpp>
#include <dk/DKException.hpp>
#include <dk/DKNVPair.hpp>
#include <dk/DKOpCode.hpp>
#include <dk/DKQExpr.hpp>
#include <dk/DKQTerm.hpp>
#include <dk/DKString.hpp>
#include <dk/PTemplateKit.hpp>
#include <dk/dkThrow.hpp>

#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

// One raw value of a term as the tree means it: a typed value a parameter gave, or text (a
// literal without one level of its quotes, or a parameter's text).
struct PTreeRaw {
    bool typed = false;
    DKAny value;        // when typed
    std::string text;   // otherwise
};

// The walk over one tree. Derived (the connector's compiler, deriving from this) supplies
//   std::string comparison(const DKQTerm& t, short op, const std::string& name, const Entity& e,
//                          const DKQSubExpr& sub, const DKQExpr& leaf)
// the SQL of one comparison term on the attribute name (already translated where the sub-query
// names a mapping; empty for CONTAINS_TEXT over every text-searchable attribute). Entity has a
// std::string name. Every refusal is DKUsageError 303 located in source and function, but for a
// leaf of another language (languageMsg) and a name no mapping knows (noAttrMsg). Lists of AND or
// OR are kept without parentheses and put in them only where they become the operand of a
// stronger operator; the depth of a node counts on into the terms of its leaves, and a chain of
// one operator counts by its length, so a tree deeper than maxDepth is refused before the
// database's parser meets its own limit. One thread at a time.
template <class Derived, class Entity>
class PTreeWalk {
public:
    using EntityLookup = std::function<std::shared_ptr<Entity>(const std::string& name)>;
    using MappingLookup = std::function<PMappingNames(const std::string& name)>;

    // One entity's condition so far.
    struct Condition {
        std::shared_ptr<Entity> entity;
        std::string sql;
        char list = 0;   // 'A' a list of AND, 'O' a list of OR, 0 one operand
    };
    using Conditions = std::map<std::string, Condition>;   // by the entity's lower-case name

    struct Limits {
        int maxDepth;
        std::string depthNote;   // after "the tree is deeper than N levels"
        long languageMsg;        // a leaf of a language other than text or parametric
        long noAttrMsg;          // an attribute a mapping does not name
    };

protected:
    PTreeWalk(const EntityLookup& lookup, const MappingLookup& mappings, Limits limits, const char* source,
              const char* function)
        : source_(source), function_(function), lookup_(lookup), mappings_(mappings), limits_(std::move(limits)) {}

    // The conditions of tree, one per entity it searches, in the order of their lower-case names.
    Conditions conditions(const DKCQExpr& tree) {
        const DKQExpr* root = tree.getQueryExpr();
        if (root == nullptr) refuse("the tree has no expression");
        compound_ = tree.getQLType();
        Conditions out = node(*root);
        if (out.empty()) refuse("the tree searches no entity");
        return out;
    }

    [[noreturn]] void refuse(const std::string& why, long msg = 303) const {
        dkThrow<DKUsageError>(msg, source_, function_, DKString(why.c_str()));
    }

    // raw as the tree means it: a bare NULL is refused (it compares only with == and <>), :NAME
    // names a parameter of the sub-query or else of its leaf, a quoted text loses one level of
    // quotes (a doubled quote inside stands for one), the rest is text as it stands.
    PTreeRaw resolve(const std::string& raw, const DKQSubExpr& sub, const DKQExpr& leafNode) const {
        if (raw == "NULL") refuse("NULL compares only with == and <>");
        PTreeRaw out;
        if (raw.size() > 1 && raw[0] == ':') {
            std::unique_ptr<DKNVPair> p(sub.getParameter(raw.c_str() + 1));
            if (!p) p.reset(leafNode.getParameter(raw.c_str() + 1));
            if (!p) refuse("no parameter " + raw);
            const DKAny given = p->getValue();
            if (given.typeCode() == DKAny::tc_string) {
                out.text = textOf(static_cast<DKString>(given));
            } else {
                out.typed = true;
                out.value = given;
            }
            return out;
        }
        if (raw.size() > 1 && raw.front() == '\'' && raw.back() == '\'') {
            for (std::size_t i = 1; i + 1 < raw.size(); ++i) {
                out.text += raw[i];
                if (raw[i] == '\'' && i + 2 < raw.size() && raw[i + 1] == '\'') ++i;
            }
            return out;
        }
        out.text = raw;
        return out;
    }

    // The values of t, as written in the tree.
    static std::vector<std::string> valuesOf(const DKQTerm& t) {
        long count = 0;
        std::unique_ptr<DKString[]> raw(t.getValues(count));
        std::vector<std::string> texts;
        for (long i = 0; i < count; ++i) texts.push_back(textOf(raw[i]));
        return texts;
    }

    // Refuses op unless texts holds n values (exact) or at least n.
    void need(short op, const std::vector<std::string>& texts, std::size_t n, bool exact) const {
        if (exact ? texts.size() != n : texts.size() < n)
            refuse(std::string(DKOpCode::text(op) ? DKOpCode::text(op) : "?") + " needs " + (exact ? "" : "at least ") +
                   std::to_string(n) + " value(s)");
    }

    // text has form's shape, d standing for a digit.
    static bool shaped(const std::string& text, const std::string& form) {
        if (text.size() != form.size()) return false;
        for (std::size_t i = 0; i < form.size(); ++i)
            if (form[i] == 'd' ? (text[i] < '0' || text[i] > '9') : text[i] != form[i]) return false;
        return true;
    }

    static std::string textOf(const DKString& s) { return std::string(s.c_str(), static_cast<std::size_t>(s.length())); }

    const char* source_;
    const char* function_;

private:
    static std::string grouped(const Condition& c) { return c.list == 0 ? c.sql : "(" + c.sql + ")"; }

    [[noreturn]] void tooDeep() const {
        refuse("the tree is deeper than " + std::to_string(limits_.maxDepth) + " levels" + limits_.depthNote);
    }

    Conditions node(const DKQExpr& e, int depth = 0) {
        if (depth > limits_.maxDepth) tooDeep();
        if (e.isLeaf()) return leaf(e, depth);
        const short op = e.opCode();
        if (op == DKOpCode::opNot) {
            if (e.right() == nullptr) refuse("NOT without an operand");
            Conditions r = node(*e.right(), depth + 1);
            single(r, "NOT");
            Condition& c = r.begin()->second;
            c.sql = "NOT " + grouped(c);
            c.list = 0;
            return r;
        }
        if ((op != DKOpCode::opAnd && op != DKOpCode::opOr) || e.left() == nullptr || e.right() == nullptr)
            refuse("an inner node needs AND or OR with two operands, or NOT with one");
        Conditions l = node(*e.left(), depth + 1);
        Conditions r = node(*e.right(), depth + 1);
        if (op == DKOpCode::opAnd) {
            single(l, "AND");
            single(r, "AND");
            if (l.begin()->first != r.begin()->first) refuse("AND joins conditions of one entity");
            Condition& a = l.begin()->second;
            const Condition& b = r.begin()->second;
            a.sql = (a.list == 'O' ? grouped(a) : a.sql) + " AND " + (b.list == 'O' ? grouped(b) : b.sql);
            a.list = 'A';
            return l;
        }
        merge(l, r);
        return l;
    }

    void single(const Conditions& c, const char* op) const {
        if (c.size() != 1) refuse(std::string(op) + " joins conditions of one entity");
    }

    static void merge(Conditions& into, Conditions& from) {
        for (auto& [key, entry] : from) {
            auto it = into.find(key);
            if (it == into.end()) {
                into.emplace(key, std::move(entry));
            } else {
                // AND binds more strongly than OR: neither side needs parentheses.
                it->second.sql += " OR " + entry.sql;
                it->second.list = 'O';
            }
        }
    }

    // A leaf matches the union of its sub-queries' entities, each searched with the sub-query's term.
    Conditions leaf(const DKQExpr& e, int depth) {
        constexpr short kText = 1, kParametric = 3;
        short type = e.getQLType();
        if (type == 0) type = compound_;
        if (type != 0 && type != kParametric && type != kText) refuse(std::to_string(type), limits_.languageMsg);
        if (e.subQueryCount() == 0) refuse("a leaf without sub-queries");
        Conditions out;
        for (long i = 0; i < e.subQueryCount(); ++i) {
            const DKQSubExpr* sub = e.getSubQuery(i);
            if (sub == nullptr) continue;
            long count = 0;
            std::unique_ptr<DKString[]> names(sub->getEntityNames(count));
            if (count == 0) refuse("a sub-query without an entity");
            if (sub->getQueryTerm() == nullptr) refuse("a sub-query without a term");
            // A sub-query naming a mapping names the mapped entity and attributes: the native
            // ones are searched.
            const std::string mappingName = textOf(sub->getMappingName());
            PMappingNames mapping;
            const bool mapped = !mappingName.empty() || sub->isTranslation() != 0;
            if (mapped) {
                if (mappingName.empty()) refuse("a sub-query asks for translation but names no mapping");
                if (!mappings_) refuse("no mapping " + mappingName);
                mapping = mappings_(mappingName);
            }
            mapping_ = mapped ? &mapping : nullptr;
            for (long k = 0; k < count; ++k) {
                std::string name = textOf(names[k]);
                if (mapped) {
                    if (PTemplateNames::key(name) != PTemplateNames::key(mapping.mappedEntity))
                        refuse("mapping " + mappingName + " maps " + mapping.mappedEntity + ", not " + name);
                    name = mapping.entity;
                }
                std::shared_ptr<Entity> entity = lookup_(name);
                Conditions one;
                one.emplace(PTemplateNames::key(entity->name),
                            Condition{entity, term(*sub->getQueryTerm(), *entity, *sub, e, depth), 0});
                merge(out, one);
            }
            mapping_ = nullptr;
        }
        return out;
    }

    // The operands of the chain of t's operator that starts at t, left to right.
    std::vector<const DKQTerm*> chain(const DKQTerm& t) const {
        std::vector<const DKQTerm*> operands;
        std::vector<const DKQTerm*> todo{&t};
        while (!todo.empty()) {
            const DKQTerm* x = todo.back();
            todo.pop_back();
            if (x->getStringTerm().length() == 0 && x->getOpCode() == t.getOpCode()) {
                if (x->getLeft() == nullptr || x->getRight() == nullptr) refuse("AND or OR without two operands");
                todo.push_back(x->getRight());
                todo.push_back(x->getLeft());
                if (todo.size() + operands.size() > static_cast<std::size_t>(limits_.maxDepth)) tooDeep();
            } else {
                operands.push_back(x);
            }
        }
        return operands;
    }

    std::string term(const DKQTerm& t, const Entity& entity, const DKQSubExpr& sub, const DKQExpr& leafNode, int depth) {
        if (depth > limits_.maxDepth) tooDeep();
        if (t.getStringTerm().length() != 0) refuse("a string term is query text; trees take conditions");
        const short op = t.getOpCode();
        if (op == DKOpCode::opAnd || op == DKOpCode::opOr) {
            // A chain of one operator is written flat, "(a AND b AND c)": parsers take only some
            // hundred nested parentheses, and the chain's length counts as depth.
            std::vector<const DKQTerm*> operands = chain(t);
            const int below = depth + static_cast<int>(operands.size());
            std::string out = "(";
            for (std::size_t i = 0; i < operands.size(); ++i) {
                if (i != 0) out += op == DKOpCode::opAnd ? " AND " : " OR ";
                out += term(*operands[i], entity, sub, leafNode, below);
            }
            return out + ")";
        }
        if (op == DKOpCode::opNot) {
            if (t.getRight() == nullptr) refuse("NOT without an operand");
            return "(NOT " + term(*t.getRight(), entity, sub, leafNode, depth + 1) + ")";
        }
        std::string name = textOf(t.getName());
        // A text condition without a name searches every text-searchable attribute: nothing to map.
        if (mapping_ != nullptr && !(op == DKOpCode::opContainsText && name.empty())) {
            auto native = mapping_->attrs.find(PTemplateNames::key(name));
            if (native == mapping_->attrs.end()) refuse(mapping_->mappedEntity + "." + name, limits_.noAttrMsg);
            name = native->second;
        }
        return static_cast<Derived*>(this)->comparison(t, op, name, entity, sub, leafNode);
    }

    const EntityLookup lookup_;
    const MappingLookup mappings_;
    const Limits limits_;
    const PMappingNames* mapping_ = nullptr;   // of the sub-query being walked, when it is translated
    short compound_ = 0;
};
