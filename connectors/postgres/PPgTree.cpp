// connectors/postgres/PPgTree.cpp
//
// Turns a query tree into one SELECT per entity table. The logical nodes of the tree and of each
// term become the WHERE clause; every value becomes a parameter $n, checked and written in the
// input form of the attribute it is compared with and cast to its column type, so no text of a
// value ever reaches the SQL, and names are looked up in the catalogue. An IN list is one
// parameter, an array, so no list meets the server's limit on parameters. A text holding a zero
// byte (which no stored text holds) is compared as UTF-8 bytes, so it finds what the same
// comparison of texts would. Text conditions go to the full-text search (PPgText.hpp).

#include "PPgTree.hpp"
#include "PPgError.hpp"
#include "PPgText.hpp"

#include <dk/DKDecimal.hpp>
#include <dk/DKException.hpp>
#include <dk/DKNVPair.hpp>
#include <dk/DKOpCode.hpp>
#include <dk/DKQExpr.hpp>
#include <dk/DKQTerm.hpp>
#include <dk/dkThrow.hpp>

#include <algorithm>
#include <charconv>
#include <climits>
#include <cmath>
#include <map>

namespace dkpg {
namespace {

constexpr short kText = 1;
constexpr short kParametric = 3;
// Deeper trees are refused before the server's parser meets its stack limit; chains of one
// operator are written flat and count by their length.
constexpr int kMaxDepth = 400;

std::string textOf(const DKString& s) { return std::string(s.c_str(), static_cast<std::size_t>(s.length())); }

// One entity's condition so far. Lists of AND or OR are kept without parentheses; a list is put
// in parentheses only where it becomes the operand of a stronger operator.
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

    std::vector<PTreeQuery> compile(const DKCQExpr& tree) {
        const DKQExpr* root = tree.getQueryExpr();
        if (root == nullptr) refuse("the tree has no expression");
        compound_ = tree.getQLType();
        std::vector<PTreeQuery> out;
        for (auto& [key, entry] : node(*root)) {
            PTreeQuery q;
            q.entity = entry.entity;
            marks_.number("SELECT * FROM public." + quoteIdent(lowerName(q.entity->name.c_str())) + " WHERE " + entry.sql +
                       " ORDER BY " + kIdColumn,
                   q);
            out.push_back(std::move(q));
        }
        if (out.empty()) refuse("the tree searches no entity");
        return out;
    }

private:
    [[noreturn]] void refuse(const std::string& why, long msg = 303) const {
        dkThrow<DKUsageError>(msg, source_, function_, DKString(why.c_str()));
    }
    [[noreturn]] void tooDeep() const { refuse("the tree is deeper than " + std::to_string(kMaxDepth) + " levels"); }

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

    PConditions leaf(const DKQExpr& e, int depth) {
        short type = e.getQLType();
        if (type == 0) type = compound_;
        if (type != 0 && type != kParametric && type != kText) refuse(std::to_string(type), kMsgTreeLanguage);
        if (e.subQueryCount() == 0) refuse("a leaf without sub-queries");
        PConditions out;
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
                    if (lowerName(name.c_str()) != lowerName(mapping.mappedEntity.c_str()))
                        refuse("mapping " + mappingName + " maps " + mapping.mappedEntity + ", not " + name);
                    name = mapping.entity;
                }
                std::shared_ptr<PEntity> entity = lookup_(name);
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
                if (todo.size() + operands.size() > static_cast<std::size_t>(kMaxDepth)) tooDeep();
            } else {
                operands.push_back(x);
            }
        }
        return operands;
    }

    std::string term(const DKQTerm& t, const PEntity& entity, const DKQSubExpr& sub, const DKQExpr& leafNode,
                     int depth) {
        if (depth > kMaxDepth) tooDeep();
        if (t.getStringTerm().length() != 0) refuse("a string term is query text; trees take conditions");
        const short op = t.getOpCode();
        if (op == DKOpCode::opAnd || op == DKOpCode::opOr) {
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
        if (op == DKOpCode::opContainsTextInContent) refuse("the text of content is not searched", kMsgTreeLanguage);
        std::string name = textOf(t.getName());
        if (mapping_ != nullptr && !(op == DKOpCode::opContainsText && name.empty())) {
            auto native = mapping_->attrs.find(lowerName(name.c_str()));
            if (native == mapping_->attrs.end()) refuse(mapping_->mappedEntity + "." + name, kMsgNoAttr);
            name = native->second;
        }
        // A text condition without a name searches every text-searchable attribute.
        const PAttr* attr = op == DKOpCode::opContainsText && name.empty() ? nullptr : entity.find(name.c_str());
        if (attr == nullptr && !(op == DKOpCode::opContainsText && name.empty())) refuse(entity.name + "." + name, kMsgNoAttr);
        long count = 0;
        std::unique_ptr<DKString[]> raw(t.getValues(count));
        std::vector<std::string> texts;
        for (long i = 0; i < count; ++i) texts.push_back(textOf(raw[i]));
        if (op == DKOpCode::opContainsText) {
            if (texts.size() != 1) refuse("CONTAINS_TEXT needs 1 value");
            PAttr asText;
            asText.name = attr ? attr->name : entity.name;
            asText.type = DKAny::tc_string;
            return "(" + textMatch(read(texts[0], asText, sub, leafNode), entity, attr, marks_, source_, function_).condition + ")";
        }
        auto need = [&](std::size_t n, bool exact) {
            if (exact ? texts.size() != n : texts.size() < n)
                refuse(std::string(DKOpCode::text(op) ? DKOpCode::text(op) : "?") + " needs " + (exact ? "" : "at least ") +
                       std::to_string(n) + " value(s)");
        };
        const bool multi = op == DKOpCode::opIn || op == DKOpCode::opNotIn;
        need(op == DKOpCode::opBetween || op == DKOpCode::opNotBetween ? 2 : 1, !multi);
        const bool isNull = texts.size() == 1 && texts[0] == "NULL";
        const std::string column = quoteIdent(lowerName(attr->name.c_str()));
        if (isNull && (op == DKOpCode::opEqual || op == DKOpCode::opNotEqual))
            return column + (op == DKOpCode::opEqual ? " IS NULL" : " IS NOT NULL");
        const bool pattern = op == DKOpCode::opLike || op == DKOpCode::opNotLike;
        // A pattern is text whatever the column: it matches the text form of its values.
        PAttr asText = *attr;
        if (pattern) asText.type = DKAny::tc_string;
        std::vector<std::string> read;
        for (const std::string& v : texts) read.push_back(this->read(v, asText, sub, leafNode));
        // Texts with a zero byte and the column they meet go as their UTF-8 bytes: in the
        // database's byte order, bytes compare as the texts would.
        const bool bytes = attr->type == DKAny::tc_string &&
                           std::any_of(read.begin(), read.end(), [](const std::string& v) { return v.find('\0') != std::string::npos; });
        if (bytes && pattern) refuse(attr->name + ": a LIKE pattern holds a zero byte", kMsgValueRefused);
        const std::string cast = bytes ? "bytea" : columnTypeOf(attr->type);
        const std::string lhs = bytes ? "convert_to(" + column + ", 'UTF8')" : column;
        auto param = [&](const std::string& v) { return mark(bytes ? hexBytes(v) : v) + "::" + cast; };
        switch (op) {
        case DKOpCode::opEqual: return lhs + " = " + param(read[0]);
        case DKOpCode::opNotEqual: return lhs + " <> " + param(read[0]);
        case DKOpCode::opGreater: return lhs + " > " + param(read[0]);
        case DKOpCode::opLess: return lhs + " < " + param(read[0]);
        case DKOpCode::opGreaterEqual: return lhs + " >= " + param(read[0]);
        case DKOpCode::opLessEqual: return lhs + " <= " + param(read[0]);
        case DKOpCode::opLike:
        case DKOpCode::opNotLike:
            // % and _ are the only wildcards, ASCII letters match either case and other letters
            // only themselves: lower() of the C collation folds ASCII alone.
            return "lower(" + column + "::text COLLATE \"C\")" + (op == DKOpCode::opLike ? " LIKE " : " NOT LIKE ") +
                   "lower(" + mark(read[0]) + "::text COLLATE \"C\") ESCAPE ''";
        case DKOpCode::opBetween:
        case DKOpCode::opNotBetween:
            return lhs + (op == DKOpCode::opBetween ? " BETWEEN " : " NOT BETWEEN ") + param(read[0]) + " AND " +
                   param(read[1]);
        case DKOpCode::opIn:
        case DKOpCode::opNotIn: {
            std::string list = "{";
            for (const std::string& v : read) list += (list.size() > 1 ? "," : "") + arrayElement(bytes ? hexBytes(v) : v);
            return lhs + (op == DKOpCode::opIn ? " = ANY(" : " <> ALL(") + mark(list + "}") + "::" + cast + "[])";
        }
        default:
            refuse("operator " + std::to_string(op) + " cannot compare a value");
        }
    }

    std::string mark(std::string text) { return marks_.mark(std::move(text)); }

    static std::string hexBytes(const std::string& v) {
        static const char* const hex = "0123456789abcdef";
        std::string out = "\\x";
        for (const char ch : v) {
            out += hex[static_cast<unsigned char>(ch) >> 4];
            out += hex[static_cast<unsigned char>(ch) & 15];
        }
        return out;
    }

    // One element of an array's text form: quoted, its quotes and backslashes escaped.
    static std::string arrayElement(const std::string& v) {
        std::string out = "\"";
        for (const char ch : v) {
            if (ch == '"' || ch == '\\') out += '\\';
            out += ch;
        }
        return out + "\"";
    }

    // The input form of one value for attr: :NAME names a parameter of the sub-query or its
    // leaf; a quoted text loses one level of quotes; the rest is checked as the attribute's type.
    std::string read(const std::string& raw, const PAttr& attr, const DKQSubExpr& sub, const DKQExpr& leafNode) const {
        if (raw == "NULL") refuse("NULL compares only with == and <>");
        if (raw.size() > 1 && raw[0] == ':') {
            std::unique_ptr<DKNVPair> p(sub.getParameter(raw.c_str() + 1));
            if (!p) p.reset(leafNode.getParameter(raw.c_str() + 1));
            if (!p) refuse("no parameter " + raw);
            const DKAny given = p->getValue();
            if (given.typeCode() == DKAny::tc_string) return checked(textOf(static_cast<DKString>(given)), attr);
            // A typed value is written by the connector's own value rules.
            PParams one;
            addValue(one, given, attr.type, attr.name.c_str(), source_, function_);
            const char* const* v = one.values();
            if (v[0] == nullptr) refuse("a null parameter " + raw);
            return std::string(v[0], static_cast<std::size_t>(one.lengths()[0]));
        }
        std::string text = raw;
        if (text.size() > 1 && text.front() == '\'' && text.back() == '\'') {
            std::string inner;
            for (std::size_t i = 1; i + 1 < text.size(); ++i) {
                inner += text[i];
                if (text[i] == '\'' && i + 2 < text.size() && text[i + 1] == '\'') ++i;
            }
            text = inner;
        }
        return checked(text, attr);
    }

    // text as the input form of a value of attr's type; texts stay as they are.
    std::string checked(const std::string& text, const PAttr& attr) const {
        auto mismatch = [&]() { notOfType(text, attr); };
        const char* b = text.data();
        const char* e = b + text.size();
        char digits[32];
        switch (attr.type) {
        case DKAny::tc_string:
            return text;
        case DKAny::tc_short:
        case DKAny::tc_long: {
            long n = 0;
            auto [p, ec] = std::from_chars(b, e, n);
            if (ec != std::errc() || p != e || (attr.type == DKAny::tc_short && (n < SHRT_MIN || n > SHRT_MAX))) mismatch();
            return std::string(digits, std::to_chars(digits, digits + sizeof digits, n).ptr);
        }
        case DKAny::tc_double: {
            double d = 0;
            auto [p, ec] = std::from_chars(b, e, d);
            if (ec != std::errc() || p != e || !std::isfinite(d)) mismatch();
            return std::string(digits, std::to_chars(digits, digits + sizeof digits, d).ptr);
        }
        case DKAny::tc_decimal:
            if (text.empty() || text.find('\0') != std::string::npos) mismatch();
            try {
                return DKDecimal(text.c_str()).toString().c_str();
            } catch (const DKException&) {
                notOfType(text, attr);
            }
        case DKAny::tc_date:
            if (!shaped(text, "dddd-dd-dd")) mismatch();
            return text;
        case DKAny::tc_time:
            if (!shaped(text, "dd:dd:dd")) mismatch();
            return text;
        case DKAny::tc_timestamp: {
            if (text.size() < 19 || !shaped(text.substr(0, 19), "dddd-dd-dd dd:dd:dd")) mismatch();
            const std::string fraction = text.size() > 19 ? text.substr(20) : "";
            if ((text.size() > 19 && text[19] != '.') || fraction.size() > 9 ||
                !shaped(fraction, std::string(fraction.size(), 'd')))
                mismatch();
            // The server keeps microseconds and would round a finer value: such a value is refused.
            if (fraction.find_first_not_of('0', 6) != std::string::npos)
                refuse(attr.name + ": '" + text + "' is finer than microseconds", kMsgValueRefused);
            return text.substr(0, std::min<std::size_t>(text.size(), 26));
        }
        default:
            refuse(attr.name + " cannot be compared with a value", kMsgValueMismatch);
        }
    }

    [[noreturn]] void notOfType(const std::string& text, const PAttr& attr) const {
        refuse(attr.name + ": '" + text + "' is no " + columnTypeOf(attr.type), kMsgValueMismatch);
    }

    // text has form's shape, d standing for a digit.
    static bool shaped(const std::string& text, const std::string& form) {
        if (text.size() != form.size()) return false;
        for (std::size_t i = 0; i < form.size(); ++i)
            if (form[i] == 'd' ? (text[i] < '0' || text[i] > '9') : text[i] != form[i]) return false;
        return true;
    }

    const PEntityLookup& lookup_;
    const PMappingLookup& mappings_;
    const PMappingNames* mapping_ = nullptr;   // of the sub-query being compiled, when it is translated
    const char* source_;
    const char* function_;
    short compound_ = 0;
    PValueMarks marks_;
};

}  // namespace

// A value's place in the SQL is its number between two control characters, which no name or
// keyword of a statement holds.
constexpr char kMarkOpen = '\x01', kMarkClose = '\x02';

std::string PValueMarks::mark(std::string value) {
    values_.push_back(std::move(value));
    return kMarkOpen + std::to_string(values_.size() - 1) + kMarkClose;
}

void PValueMarks::number(const std::string& sql, PTreeQuery& q) const {
    for (std::size_t i = 0; i < sql.size(); ++i) {
        if (sql[i] != kMarkOpen) {
            q.sql += sql[i];
            continue;
        }
        const std::size_t close = sql.find(kMarkClose, i);
        q.params.addText(values_[std::stoul(sql.substr(i + 1, close - i - 1))]);
        q.sql += "$" + std::to_string(q.params.count());
        i = close;
    }
}

std::vector<PTreeQuery> compileTree(const DKCQExpr& tree, const PEntityLookup& lookup, const char* source,
                                    const char* function, const PMappingLookup& mappings) {
    return PTreeCompiler(lookup, mappings, source, function).compile(tree);
}

}  // namespace dkpg
