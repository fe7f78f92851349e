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
#include <dk/PTreeKit.hpp>

#include <algorithm>
#include <charconv>
#include <climits>
#include <cmath>

namespace dkpg {
namespace {

// Deeper trees are refused before the server's parser meets its stack limit; chains of one
// operator are written flat and count by their length.
constexpr int kMaxDepth = 400;

// The walk over the tree is the kit's; this writes the server's comparisons and parameters.
class PTreeCompiler : public PTreeWalk<PTreeCompiler, PEntity> {
public:
    PTreeCompiler(const PEntityLookup& lookup, const PMappingLookup& mappings, const char* source, const char* function)
        : PTreeWalk(lookup, mappings, {kMaxDepth, "", kMsgTreeLanguage, kMsgNoAttr}, source, function) {}

    std::vector<PTreeQuery> compile(const DKCQExpr& tree) {
        std::vector<PTreeQuery> out;
        for (auto& [key, entry] : conditions(tree)) {
            PTreeQuery q;
            q.entity = entry.entity;
            marks_.number("SELECT * FROM public." + quoteIdent(lowerName(q.entity->name.c_str())) + " WHERE " + entry.sql +
                              " ORDER BY " + kIdColumn,
                          q);
            out.push_back(std::move(q));
        }
        return out;
    }

    // One comparison term on the attribute name of entity.
    std::string comparison(const DKQTerm& t, short op, const std::string& name, const PEntity& entity,
                           const DKQSubExpr& sub, const DKQExpr& leafNode) {
        if (op == DKOpCode::opContainsTextInContent) refuse("the text of content is not searched", kMsgTreeLanguage);
        // A text condition without a name searches every text-searchable attribute.
        const PAttr* attr = op == DKOpCode::opContainsText && name.empty() ? nullptr : entity.find(name.c_str());
        if (attr == nullptr && !(op == DKOpCode::opContainsText && name.empty())) refuse(entity.name + "." + name, kMsgNoAttr);
        const std::vector<std::string> texts = valuesOf(t);
        if (op == DKOpCode::opContainsText) {
            if (texts.size() != 1) refuse("CONTAINS_TEXT needs 1 value");
            PAttr asText;
            asText.name = attr ? attr->name : entity.name;
            asText.type = DKAny::tc_string;
            return "(" + textMatch(read(texts[0], asText, sub, leafNode), entity, attr, marks_, source_, function_).condition + ")";
        }
        const bool multi = op == DKOpCode::opIn || op == DKOpCode::opNotIn;
        need(op, texts, op == DKOpCode::opBetween || op == DKOpCode::opNotBetween ? 2 : 1, !multi);
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

private:
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

    // The input form of one value for attr, resolved by the walk: a text is checked as the
    // attribute's type, a typed parameter written by the connector's own value rules.
    std::string read(const std::string& raw, const PAttr& attr, const DKQSubExpr& sub, const DKQExpr& leafNode) const {
        const PTreeRaw v = resolve(raw, sub, leafNode);
        if (!v.typed) return checked(v.text, attr);
        PParams one;
        addValue(one, v.value, attr.type, attr.name.c_str(), source_, function_);
        const char* const* given = one.values();
        if (given[0] == nullptr) refuse("a null parameter " + raw);
        return std::string(given[0], static_cast<std::size_t>(one.lengths()[0]));
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