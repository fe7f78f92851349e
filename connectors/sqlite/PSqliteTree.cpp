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
#include <dk/PTreeKit.hpp>

#include <sqlite3.h>

#include <algorithm>
#include <charconv>
#include <climits>
#include <cmath>

namespace dksqlite {
namespace {

constexpr int kSqliteDepth = 1000;   // SQLITE_LIMIT_EXPR_DEPTH as Debian builds it
constexpr int kMaxDepth = 900;       // below it, with room for the statement around the tree
constexpr size_t kInlineList = 64;   // longer IN lists of literals go as one JSON array

// The walk over the tree is the kit's; this writes SQLite's comparisons and bound values.
class PTreeCompiler : public PTreeWalk<PTreeCompiler, PEntity> {
public:
    PTreeCompiler(const PEntityLookup& lookup, const PMappingLookup& mappings, const char* source, const char* function)
        : PTreeWalk(lookup, mappings,
                    {kMaxDepth, " (SQLite takes expressions up to " + std::to_string(kSqliteDepth) + ")",
                     kMsgBadQueryLanguage, kMsgNoAttr},
                    source, function) {}

    // One statement per entity, in the order of their lower-case names; the values are numbered
    // across all of them, and each statement binds those up to its highest number.
    std::vector<PTreeQuery> compile(const DKCQExpr& tree) {
        std::vector<PTreeQuery> out;
        for (auto& [key, entry] : conditions(tree)) {
            PTreeQuery q;
            q.entity = entry.entity;
            q.sql = "SELECT * FROM " + quoteIdent(q.entity->name) + " WHERE " + entry.sql + " ORDER BY dk_id";
            q.values = values_;
            out.push_back(std::move(q));
        }
        return out;
    }

    // One comparison term on the attribute name of entity.
    std::string comparison(const DKQTerm& t, short op, const std::string& name, const PEntity& entity,
                           const DKQSubExpr& sub, const DKQExpr& leafNode) {
        if (op == DKOpCode::opContainsText) return containsText(t, name, entity, sub, leafNode);
        const PAttr* attr = entity.find(name.c_str());
        if (attr == nullptr) refuse(entity.name + "." + name, kMsgNoAttr);
        const std::string column = quoteIdent(attr->name);
        const std::vector<std::string> texts = valuesOf(t);
        switch (op) {
        case DKOpCode::opEqual:
        case DKOpCode::opNotEqual:
            need(op, texts, 1, true);
            if (texts[0] == "NULL") return column + (op == DKOpCode::opEqual ? " IS NULL" : " IS NOT NULL");
            return column + (op == DKOpCode::opEqual ? " = " : " <> ") + value(texts[0], *attr, sub, leafNode, false);
        case DKOpCode::opGreater:
        case DKOpCode::opLess:
        case DKOpCode::opGreaterEqual:
        case DKOpCode::opLessEqual: {
            need(op, texts, 1, true);
            const char* sign = op == DKOpCode::opGreater ? " > " : op == DKOpCode::opLess ? " < " : op == DKOpCode::opGreaterEqual ? " >= " : " <= ";
            return column + sign + value(texts[0], *attr, sub, leafNode, false);
        }
        case DKOpCode::opLike:
        case DKOpCode::opNotLike:
            need(op, texts, 1, true);
            return column + (op == DKOpCode::opLike ? " LIKE " : " NOT LIKE ") + value(texts[0], *attr, sub, leafNode, true);
        case DKOpCode::opBetween:
        case DKOpCode::opNotBetween:
            need(op, texts, 2, true);
            return column + (op == DKOpCode::opBetween ? " BETWEEN " : " NOT BETWEEN ") +
                   value(texts[0], *attr, sub, leafNode, false) + " AND " + value(texts[1], *attr, sub, leafNode, false);
        case DKOpCode::opIn:
        case DKOpCode::opNotIn: {
            need(op, texts, 1, false);
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

private:
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
        const std::vector<std::string> texts = valuesOf(t);
        if (texts.size() != 1) refuse("CONTAINS_TEXT needs 1 value");
        PAttr text;
        text.name = attr ? attr->name : entity.name;
        text.type = DKAny::tc_string;
        const std::string param = value(texts[0], text, sub, leafNode, false);
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
        PTreeRaw given = resolve(raw, sub, leafNode);
        if (!given.typed) {
            read(given.text, attr, pattern, v);
        } else {
            if (pattern) refuse("a LIKE pattern must be text: " + raw);
            v.value = given.value;
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
