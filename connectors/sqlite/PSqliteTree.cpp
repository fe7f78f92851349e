// connectors/sqlite/PSqliteTree.cpp
//
// Turns a query tree into one SELECT over an entity table. The logical nodes of the tree and of
// each term become the WHERE clause; every value becomes a numbered parameter (?N), read as the
// type of the attribute it is compared with, so no text of a value ever reaches the SQL, and
// names are checked against the catalogue and quoted. Text conditions match the entity's text
// index with the value bound to MATCH. A long IN list is one parameter, a JSON array read through
// json_each, so no list meets SQLite's limit on parameters; a tree deeper than SQLite's
// expression depth limit is refused before SQLite sees it.

#include "PSqliteTree.hpp"
#include "PSqliteConfig.hpp"
#include "PSqliteError.hpp"
#include "PSqliteText.hpp"
#include "PSqliteValues.hpp"

#include <dk/DKDecimal.hpp>
#include <dk/DKException.hpp>
#include <dk/DKNVPair.hpp>
#include <dk/DKOpCode.hpp>
#include <dk/DKQExpr.hpp>
#include <dk/DKQTerm.hpp>
#include <dk/dkThrow.hpp>

#include <sqlite3.h>

#include <cerrno>
#include <charconv>
#include <climits>
#include <cmath>
#include <algorithm>
#include <map>

namespace dksqlite {
namespace {

constexpr short kText = 1;
constexpr short kParametric = 3;

std::string textOf(const DKString& s) { return std::string(s.c_str(), static_cast<size_t>(s.length())); }

// One entity's condition so far. Lists of AND or OR are kept without parentheses, so that long
// chains do not nest them past what SQLite's parser takes; a list is put in parentheses only
// where it becomes the operand of a stronger operator.
struct PCondition {
    std::shared_ptr<PEntity> entity;
    std::string sql;
    char list = 0;   // 'A' a list of AND, 'O' a list of OR, 0 one operand
};
using PConditions = std::map<std::string, PCondition>;   // by lower-case entity name

std::string grouped(const PCondition& c) { return c.list == 0 ? c.sql : "(" + c.sql + ")"; }

class PTreeCompiler {
public:
    PTreeCompiler(const PEntityLookup& lookup, const PMappingLookup& mappings, const char* source, const char* function)
        : lookup_(lookup), mappings_(mappings), source_(source), function_(function) {}

    // One statement per entity, in the order of their lower-case names; the values are numbered
    // across all of them, and each statement binds those up to its highest number.
    std::vector<PTreeQuery> compile(const DKCQExpr& tree) {
        const DKQExpr* root = tree.getQueryExpr();
        if (root == nullptr) refuse("the tree has no expression");
        compound_ = tree.getQLType();
        std::vector<PTreeQuery> out;
        for (auto& [key, entry] : node(*root)) {
            PTreeQuery q;
            q.entity = entry.entity;
            q.sql = "SELECT * FROM " + quoteIdent(q.entity->name) + " WHERE " + entry.sql + " ORDER BY dk_id";
            q.values = values_;
            out.push_back(std::move(q));
        }
        if (out.empty()) refuse("the tree searches no entity");
        return out;
    }

private:
    [[noreturn]] void refuse(const std::string& why, long msg = 303) const {
        dkThrow<DKUsageError>(msg, source_, function_, DKString(why.c_str()));
    }

    // The expression nodes: an explicit stack would only matter past SQLite's own depth limit,
    // which would refuse such a tree when it is prepared; the walk stops there first. The depth
    // of a node counts on into the terms of its leaves, as it does in the SQL.
    PConditions node(const DKQExpr& e, int depth = 0) {
        if (depth > kMaxDepth) tooDeep();
        if (e.isLeaf()) return leaf(e, depth);
        const short op = e.opCode();
        if (op == DKOpCode::opNot) {
            if (e.right() == nullptr) refuse("NOT without an operand");
            PConditions r = node(*e.right(), depth + 1);
            single(r, "NOT");
            PCondition& c = r.begin()->second;
            c.sql = "NOT " + grouped(c);
            c.list = 0;
            return r;
        }
        if ((op != DKOpCode::opAnd && op != DKOpCode::opOr) || e.left() == nullptr || e.right() == nullptr)
            refuse("an inner node needs AND or OR with two operands, or NOT with one");
        PConditions l = node(*e.left(), depth + 1);
        PConditions r = node(*e.right(), depth + 1);
        if (op == DKOpCode::opAnd) {
            single(l, "AND");
            single(r, "AND");
            if (l.begin()->first != r.begin()->first) refuse("AND joins conditions of one entity");
            PCondition& a = l.begin()->second;
            const PCondition& b = r.begin()->second;
            a.sql = (a.list == 'O' ? grouped(a) : a.sql) + " AND " + (b.list == 'O' ? grouped(b) : b.sql);
            a.list = 'A';
            return l;
        }
        merge(l, r);
        return l;
    }

    void single(const PConditions& c, const char* op) const {
        if (c.size() != 1) refuse(std::string(op) + " joins conditions of one entity");
    }

    static void merge(PConditions& into, PConditions& from) {
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

    [[noreturn]] void tooDeep() const {
        refuse("the tree is deeper than " + std::to_string(kMaxDepth) + " levels (SQLite takes expressions up to " +
               std::to_string(kSqliteDepth) + ")");
    }

    PConditions leaf(const DKQExpr& e, int depth) {
        short type = e.getQLType();
        if (type == 0) type = compound_;
        if (type != 0 && type != kParametric && type != kText) refuse(std::to_string(type), kMsgBadQueryLanguage);
        if (e.subQueryCount() == 0) refuse("a leaf without sub-queries");
        PConditions out;
        for (long i = 0; i < e.subQueryCount(); ++i) {
            const DKQSubExpr* sub = e.getSubQuery(i);
            if (sub == nullptr) continue;
            long count = 0;
            std::unique_ptr<DKString[]> names(sub->getEntityNames(count));
            if (count == 0) refuse("a sub-query without an entity");
            const std::string mappingName = textOf(sub->getMappingName());
            PMapping mapping;
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
                    if (lowerName(name.c_str()) != lowerName(mapping.mappedEntity.c_str()))
                        refuse("mapping " + mappingName + " maps " + mapping.mappedEntity + ", not " + name);
                    name = mapping.entity;
                }
                std::shared_ptr<PEntity> entity = lookup_(name);
                if (sub->getQueryTerm() == nullptr) refuse("a sub-query without a term");
                PConditions one;
                one.emplace(lowerName(entity->name.c_str()),
                            PCondition{entity, term(*sub->getQueryTerm(), *entity, *sub, e, depth), 0});
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
                if (todo.size() + operands.size() > static_cast<size_t>(kMaxDepth)) tooDeep();
            } else {
                operands.push_back(x);
            }
        }
        return operands;
    }

    std::string term(const DKQTerm& t, const PEntity& entity, const DKQSubExpr& sub, const DKQExpr& leafNode,
                     int depth = 0) {
        if (depth > kMaxDepth) tooDeep();
        if (t.getStringTerm().length() != 0) refuse("a string term is query text; trees take conditions");
        const short op = t.getOpCode();
        if (op == DKOpCode::opAnd || op == DKOpCode::opOr) {
            // A chain of one operator is written flat, "(a AND b AND c)": SQLite's parser takes
            // only some hundred nested parentheses, and the chain's length counts as depth.
            std::vector<const DKQTerm*> operands = chain(t);
            const int below = depth + static_cast<int>(operands.size());
            std::string out = "(";
            for (size_t i = 0; i < operands.size(); ++i) {
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
            auto native = mapping_->attrs.find(lowerName(name.c_str()));
            if (native == mapping_->attrs.end()) refuse(mapping_->mappedEntity + "." + name, kMsgNoAttr);
            name = native->second;
        }
        if (op == DKOpCode::opContainsText) return containsText(t, name, entity, sub, leafNode);
        const PAttr* attr = entity.find(name.c_str());
        if (attr == nullptr) refuse(entity.name + "." + name, kMsgNoAttr);
        const std::string column = quoteIdent(attr->name);
        long count = 0;
        std::unique_ptr<DKString[]> raw(t.getValues(count));
        std::vector<std::string> texts;
        for (long i = 0; i < count; ++i) texts.push_back(textOf(raw[i]));
        auto need = [&](size_t n, bool exact) {
            if (exact ? texts.size() != n : texts.size() < n)
                refuse(std::string(DKOpCode::text(op) ? DKOpCode::text(op) : "?") + "needs " + (exact ? "" : "at least ") +
                       std::to_string(n) + " value(s)");
        };
        switch (op) {
        case DKOpCode::opEqual:
        case DKOpCode::opNotEqual:
            need(1, true);
            if (texts[0] == "NULL") return column + (op == DKOpCode::opEqual ? " IS NULL" : " IS NOT NULL");
            return column + (op == DKOpCode::opEqual ? " = " : " <> ") + value(texts[0], *attr, sub, leafNode, false);
        case DKOpCode::opGreater:
        case DKOpCode::opLess:
        case DKOpCode::opGreaterEqual:
        case DKOpCode::opLessEqual: {
            need(1, true);
            const char* sign = op == DKOpCode::opGreater ? " > " : op == DKOpCode::opLess ? " < " : op == DKOpCode::opGreaterEqual ? " >= " : " <= ";
            return column + sign + value(texts[0], *attr, sub, leafNode, false);
        }
        case DKOpCode::opLike:
        case DKOpCode::opNotLike:
            need(1, true);
            return column + (op == DKOpCode::opLike ? " LIKE " : " NOT LIKE ") + value(texts[0], *attr, sub, leafNode, true);
        case DKOpCode::opBetween:
        case DKOpCode::opNotBetween:
            need(2, true);
            return column + (op == DKOpCode::opBetween ? " BETWEEN " : " NOT BETWEEN ") +
                   value(texts[0], *attr, sub, leafNode, false) + " AND " + value(texts[1], *attr, sub, leafNode, false);
        case DKOpCode::opIn:
        case DKOpCode::opNotIn: {
            need(1, false);
            // JSON would cut a text at a zero byte (SQLite reads \u0000 as the end): such lists,
            // and lists with parameters, are bound value by value.
            if (texts.size() > kInlineList && std::none_of(texts.begin(), texts.end(), [](const std::string& v) {
                    return (v.size() > 1 && v[0] == ':') || v.find('\0') != std::string::npos;
                }))
                return column + (op == DKOpCode::opIn ? " IN " : " NOT IN ") + "(SELECT value FROM json_each(" +
                       jsonList(texts, *attr, sub, leafNode) + "))";
            std::string list;
            for (const std::string& v : texts) list += (list.empty() ? "" : ", ") + value(v, *attr, sub, leafNode, false);
            return column + (op == DKOpCode::opIn ? " IN (" : " NOT IN (") + list + ")";
        }
        case DKOpCode::opContainsTextInContent:
            refuse("the SQLite connector keeps no content to search", kMsgBadQueryLanguage);
        default:
            refuse("operator " + std::to_string(op) + " cannot compare a value");
        }
    }

    // CONTAINS_TEXT: one value, FTS5 query text, matched in the text-searchable attribute name,
    // or in any of them when name is empty.
    std::string containsText(const DKQTerm& t, const std::string& name, const PEntity& entity, const DKQSubExpr& sub,
                             const DKQExpr& leafNode) {
        const PAttr* attr = nullptr;
        if (!name.empty()) {
            attr = entity.find(name.c_str());
            if (attr == nullptr) refuse(entity.name + "." + name, kMsgNoAttr);
            if (!attr->textSearchable) refuse(entity.name + "." + name + " is not text-searchable");
        } else if (!hasTextAttrs(entity.attrs)) {
            refuse(entity.name + " has no text-searchable attribute");
        }
        long count = 0;
        std::unique_ptr<DKString[]> raw(t.getValues(count));
        if (count != 1) refuse("CONTAINS_TEXT needs 1 value");
        PAttr text;
        text.name = attr ? attr->name : entity.name;
        text.type = DKAny::tc_string;
        const std::string param = value(textOf(raw[0]), text, sub, leafNode, false);
        values_.back().textEntity = entity.name;
        return containsTextSql(entity, attr, param);
    }

    // The parameter ?N of one value: :NAME names a parameter of the sub-query or its leaf; a
    // quoted text loses one level of quotes; the rest is read as the attribute's type.
    std::string value(const std::string& raw, const PAttr& attr, const DKQSubExpr& sub, const DKQExpr& leafNode,
                      bool pattern) {
        values_.push_back(read(raw, attr, sub, leafNode, pattern));
        return "?" + std::to_string(values_.size());
    }

    // The parameter of a list of literal values: one JSON array of them, each read as the
    // attribute's type first (numbers as JSON numbers, the rest as JSON strings of their stored
    // forms), so json_each gives the values a bound list would have.
    std::string jsonList(const std::vector<std::string>& texts, const PAttr& attr, const DKQSubExpr& sub,
                         const DKQExpr& leafNode) {
        PTreeValue list;
        list.asText = true;
        list.text = "[";
        for (const std::string& raw : texts) {
            const PTreeValue v = read(raw, attr, sub, leafNode, false);
            if (list.text.size() > 1) list.text += ',';
            const DKAny::TypeCode tc = v.value.typeCode();
            if (v.asText) {
                appendJson(list.text, v.text);
            } else if (tc == DKAny::tc_long) {
                list.text += std::to_string(static_cast<long>(v.value));
            } else if (tc == DKAny::tc_double) {
                char digits[32];
                list.text.append(digits, std::to_chars(digits, digits + sizeof digits, static_cast<double>(v.value)).ptr);
            } else {
                const DKString d = static_cast<const DKDecimal*>(v.value.value())->toString();
                appendJson(list.text, std::string(d.c_str(), static_cast<size_t>(d.length())));
            }
        }
        list.text += ']';
        values_.push_back(std::move(list));
        return "?" + std::to_string(values_.size());
    }

    static void appendJson(std::string& out, const std::string& text) {
        static const char* const hex = "0123456789abcdef";
        out += '"';
        for (const char ch : text) {
            const auto c = static_cast<unsigned char>(ch);
            if (c == '"' || c == '\\') {
                out += '\\';
                out += ch;
            } else if (c < 0x20) {   // never 0: lists holding a zero byte are not written as JSON
                out += "\\u00";
                out += hex[c >> 4];
                out += hex[c & 15];
            } else {
                out += ch;
            }
        }
        out += '"';
    }

    PTreeValue read(const std::string& raw, const PAttr& attr, const DKQSubExpr& sub, const DKQExpr& leafNode,
                    bool pattern) const {
        PTreeValue v;
        v.type = attr.type;
        if (raw == "NULL") refuse("NULL compares only with == and <>");
        if (raw.size() > 1 && raw[0] == ':') {
            std::unique_ptr<DKNVPair> p(sub.getParameter(raw.c_str() + 1));
            if (!p) p.reset(leafNode.getParameter(raw.c_str() + 1));
            if (!p) refuse("no parameter " + raw);
            const DKAny given = p->getValue();
            if (given.typeCode() == DKAny::tc_string) {
                read(textOf(static_cast<DKString>(given)), attr, pattern, v);
            } else {
                if (pattern) refuse("a LIKE pattern must be text: " + raw);
                v.value = given;
            }
        } else {
            std::string text = raw;
            if (text.size() > 1 && text.front() == '\'' && text.back() == '\'') {
                std::string inner;
                for (size_t i = 1; i + 1 < text.size(); ++i) {
                    inner += text[i];
                    if (text[i] == '\'' && i + 2 < text.size() && text[i + 1] == '\'') ++i;
                }
                text = inner;
            }
            read(text, attr, pattern, v);
        }
        return v;
    }

    // text as a value of attr's type; patterns stay text (their % and _ are LIKE's wildcards).
    void read(const std::string& text, const PAttr& attr, bool pattern, PTreeValue& v) const {
        auto mismatch = [&]() { refuse(attr.name + ": '" + text + "' is no " + typeName(attr.type), kMsgValueMismatch); };
        if (pattern || attr.type == DKAny::tc_string) {
            v.text = text;
            v.asText = true;
            return;
        }
        const char* b = text.data();
        const char* e = b + text.size();
        switch (attr.type) {
        case DKAny::tc_short:
        case DKAny::tc_long: {
            long n = 0;
            auto [p, ec] = std::from_chars(b, e, n);
            if (ec != std::errc() || p != e || (attr.type == DKAny::tc_short && (n < SHRT_MIN || n > SHRT_MAX))) mismatch();
            v.value = DKAny(n);
            v.type = DKAny::tc_long;
            return;
        }
        case DKAny::tc_double: {
            double d = 0;
            auto [p, ec] = std::from_chars(b, e, d);
            if (ec != std::errc() || p != e || !std::isfinite(d)) mismatch();
            v.value = DKAny(d);
            return;
        }
        case DKAny::tc_decimal:
            if (text.empty() || text.find('\0') != std::string::npos) mismatch();
            try {
                v.value = DKAny(DKDecimal(text.c_str()));
            } catch (const DKException&) {
                mismatch();
            }
            return;
        case DKAny::tc_date:
            if (!shaped(text, "dddd-dd-dd")) mismatch();
            break;
        case DKAny::tc_time:
            if (!shaped(text, "dd:dd:dd")) mismatch();
            break;
        case DKAny::tc_timestamp: {
            // Stored with nine digits of fraction: a shorter fraction is filled up, so equal
            // instants compare equal.
            if (text.size() < 19 || !shaped(text.substr(0, 19), "dddd-dd-dd dd:dd:dd")) mismatch();
            std::string fraction = text.size() > 19 ? text.substr(19) : ".";
            if (fraction[0] != '.' || fraction.size() > 10 || !shaped(fraction.substr(1), std::string(fraction.size() - 1, 'd')))
                mismatch();
            v.text = text.substr(0, 19) + fraction + std::string(10 - fraction.size(), '0');
            v.asText = true;
            return;
        }
        default:
            mismatch();
        }
        v.text = text;
        v.asText = true;
    }

    // text has form's shape, d standing for a digit.
    static bool shaped(const std::string& text, const std::string& form) {
        if (text.size() != form.size()) return false;
        for (size_t i = 0; i < form.size(); ++i)
            if (form[i] == 'd' ? (text[i] < '0' || text[i] > '9') : text[i] != form[i]) return false;
        return true;
    }

    static constexpr int kSqliteDepth = 1000;   // SQLITE_LIMIT_EXPR_DEPTH as Debian builds it
    static constexpr int kMaxDepth = 900;       // below it, with room for the statement around the tree
    static constexpr size_t kInlineList = 64;   // longer IN lists of literals go as one JSON array

    const PEntityLookup& lookup_;
    const PMappingLookup& mappings_;
    const PMapping* mapping_ = nullptr;   // of the sub-query being compiled, when it is translated
    const char* source_;
    const char* function_;
    short compound_ = 0;
    std::vector<PTreeValue> values_;
};

}  // namespace

std::vector<PTreeQuery> compileTree(const DKCQExpr& tree, const PEntityLookup& lookup, const char* source,
                                    const char* function, const PMappingLookup& mappings) {
    return PTreeCompiler(lookup, mappings, source, function).compile(tree);
}

void bindTree(sqlite3_stmt* stmt, const PTreeQuery& query, const char* source, const char* function) {
    const int count = sqlite3_bind_parameter_count(stmt);
    int i = 0;
    for (const PTreeValue& v : query.values) {
        if (++i > count) break;
        if (v.asText) {
            bindText(stmt, i, v.text);
        } else {
            bindValue(stmt, i, v.value, v.type, "a value of the tree", source, function);
        }
    }
}

}  // namespace dksqlite
