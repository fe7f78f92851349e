// connectors/postgres/PPgText.cpp
//
// Query text read into a condition of the server's full-text search. A small recursive reader
// takes the syntax the SQLite connector's users write (words, "phrases", prefixes with '*',
// "attr :" filters, AND, OR, binary NOT, parentheses) and writes, for each word or phrase, the
// test of the attributes it may be found in; the boolean structure stays SQL, so a query of
// several words finds a row whose words are spread over its attributes, as on SQLite. Word and
// phrase texts are values, never SQL: the server's own parser splits them into words.

#include "PPgText.hpp"
#include "PPgError.hpp"
#include "PPgStatement.hpp"

#include <dk/DKException.hpp>
#include <dk/dkThrow.hpp>

#include <vector>

namespace dkpg {

namespace {

// The configuration of every index and match: words in lower case, no stemming and no stop
// words, which is what the SQLite connector's tokenizer does too.
constexpr const char* kConfig = "'simple'::regconfig";

// The text of an attribute's column: other types than text are searched in their text form.
std::string column(const PAttr& a) {
    return quoteIdent(lowerName(a.name.c_str())) + (a.type == DKAny::tc_string ? "" : "::text");
}
std::string vectorOf(const std::string& expression) { return std::string("to_tsvector(") + kConfig + ", " + expression + ")"; }
// The words of an attribute: the expression its index holds, so a match can use the index.
std::string words(const PAttr& a) { return vectorOf(column(a)); }

bool wordByte(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c >= 0x80 || c == 0x1a;
}

class PTextReader {
public:
    PTextReader(const std::string& text, const PEntity& e, PValueMarks& marks, const char* source, const char* function)
        : text_(text), entity_(e), marks_(marks), source_(source), function_(function) {}

    PTextMatch read(const std::vector<const PAttr*>& attrs) {
        advance();
        if (kind_ == kEnd) refuse("the query is empty");
        PTextMatch m;
        m.condition = orList(attrs);
        if (kind_ != kEnd) refuse("unexpected text at " + std::to_string(start_ + 1));
        std::string words, all;
        for (const PAttr* a : attrs) words += (words.empty() ? "" : ", ") + column(*a);
        for (const auto& [value, prefix] : terms_)
            all += (all.empty() ? "" : " || ") + query(value, prefix);
        m.rank = "ts_rank(" + vectorOf("concat_ws(' ', " + words + ")") + ", " + all + ")";
        return m;
    }

private:
    enum Kind { kEnd, kWord, kPhrase, kOpen, kClose, kColon, kStar, kAnd, kOr, kNot };

    [[noreturn]] void refuse(const std::string& why) const {
        dkThrow<DKUsageError>(kMsgBadTextQuery, source_, function_, DKString((why + ": " + text_).c_str()));
    }

    // The next token into kind_ and token_ (a word or a phrase's text).
    void advance() {
        while (pos_ < text_.size() && (text_[pos_] == ' ' || text_[pos_] == '\t' || text_[pos_] == '\n' || text_[pos_] == '\r'))
            ++pos_;
        start_ = pos_;
        token_.clear();
        if (pos_ == text_.size()) {
            kind_ = kEnd;
            return;
        }
        const char c = text_[pos_];
        const char* single = "():*";
        const Kind singles[] = {kOpen, kClose, kColon, kStar};
        for (int i = 0; i < 4; ++i)
            if (c == single[i]) {
                ++pos_;
                kind_ = singles[i];
                return;
            }
        if (c == '"') {
            for (++pos_;; ++pos_) {
                if (pos_ == text_.size()) refuse("a phrase without its closing quote");
                if (text_[pos_] == '"' && (pos_ + 1 == text_.size() || text_[pos_ + 1] != '"')) break;
                if (text_[pos_] == '"') ++pos_;
                token_ += text_[pos_];
            }
            ++pos_;
            kind_ = kPhrase;
            return;
        }
        while (pos_ < text_.size() && wordByte(static_cast<unsigned char>(text_[pos_]))) token_ += text_[pos_++];
        if (token_.empty()) refuse(std::string("'") + c + "' at " + std::to_string(start_ + 1) + " is not taken");
        kind_ = token_ == "AND" ? kAnd : token_ == "OR" ? kOr : token_ == "NOT" ? kNot : kWord;
        if (token_ == "NEAR" && pos_ < text_.size() && text_[pos_] == '(') refuse("NEAR is not taken");
    }

    std::string orList(const std::vector<const PAttr*>& attrs) {
        std::string out = andList(attrs);
        while (kind_ == kOr) {
            advance();
            out = "(" + out + " OR " + andList(attrs) + ")";
        }
        return out;
    }

    std::string andList(const std::vector<const PAttr*>& attrs) {
        std::string out = notList(attrs);
        for (;;) {
            if (kind_ == kAnd) advance();
            else if (kind_ != kWord && kind_ != kPhrase && kind_ != kOpen) break;
            out = "(" + out + " AND " + notList(attrs) + ")";
        }
        return out;
    }

    std::string notList(const std::vector<const PAttr*>& attrs) {
        std::string out = primary(attrs);
        while (kind_ == kNot) {
            advance();
            out = "(" + out + " AND NOT " + primary(attrs) + ")";
        }
        return out;
    }

    std::string primary(const std::vector<const PAttr*>& attrs) {
        if (kind_ == kOpen) {
            advance();
            std::string inner = orList(attrs);
            if (kind_ != kClose) refuse("a parenthesis that does not close");
            advance();
            return inner;
        }
        if (kind_ != kWord && kind_ != kPhrase) refuse("a word or phrase is missing at " + std::to_string(start_ + 1));
        std::string value = token_;
        const Kind kind = kind_;
        advance();
        if (kind == kWord && kind_ == kColon) {
            // A filter: what follows is searched in that attribute only.
            const PAttr* a = entity_.find(value.c_str());
            if (a == nullptr || !a->textSearchable) refuse(value + " is no text-searchable attribute of " + entity_.name);
            advance();
            std::vector<const PAttr*> only;
            for (const PAttr* x : attrs)
                if (x == a) only.push_back(a);
            return only.empty() ? "FALSE" : primary(only);
        }
        const bool prefix = kind_ == kStar;
        if (prefix) advance();
        terms_.emplace_back(value, prefix);
        std::string out;
        for (const PAttr* a : attrs) out += (out.empty() ? "" : " OR ") + words(*a) + " @@ " + query(value, prefix);
        return "(" + out + ")";
    }

    // The server's query of a word or phrase: its words in sequence, the last one a prefix when
    // asked. A phrase's words are split by the server as it splits the stored texts.
    std::string query(const std::string& value, bool prefix) {
        if (!prefix) return std::string("phraseto_tsquery(") + kConfig + ", " + marks_.mark(value) + "::text)";
        std::string q;
        std::size_t i = 0;
        while (i < value.size()) {
            std::string word;
            while (i < value.size() && value[i] != ' ') word += value[i++];
            while (i < value.size() && value[i] == ' ') ++i;
            if (word.empty()) continue;
            std::string quoted = "'";
            for (const char ch : word) {
                if (ch == '\'' || ch == '\\') quoted += ch == '\'' ? '\'' : '\\';
                quoted += ch;
            }
            q += (q.empty() ? "" : " <-> ") + quoted + "'";
        }
        if (q.empty()) refuse("a prefix without a word");
        return std::string("to_tsquery(") + kConfig + ", " + marks_.mark(q + ":*") + "::text)";
    }

    const std::string& text_;
    const PEntity& entity_;
    PValueMarks& marks_;
    const char* source_;
    const char* function_;
    std::size_t pos_ = 0, start_ = 0;
    Kind kind_ = kEnd;
    std::string token_;
    std::vector<std::pair<std::string, bool>> terms_;   // every word or phrase, for the rank
};

}  // namespace

bool hasTextAttrs(const PEntity& e) {
    for (const PAttr& a : e.attrs)
        if (a.textSearchable) return true;
    return false;
}

void addTextIndex(PGconn* conn, const std::string& entity, const PAttr& attr, const char* source, const char* function) {
    if (!attr.textSearchable || attr.type != DKAny::tc_string) return;
    run(conn, ("CREATE INDEX ON public." + quoteIdent(lowerName(entity.c_str())) + " USING gin (" + words(attr) + ")").c_str(), {},
        source, function, "indexing the attribute's words");
}

PTextMatch textMatch(const std::string& query, const PEntity& e, const PAttr* only, PValueMarks& marks,
                     const char* source, const char* function) {
    std::vector<const PAttr*> attrs;
    for (const PAttr& a : e.attrs)
        if (a.textSearchable && (only == nullptr || &a == only)) attrs.push_back(&a);
    if (attrs.empty())
        dkThrow<DKUsageError>(kMsgBadTextQuery, source, function,
                              DKString((e.name + (only ? "." + only->name : std::string()) + " is not text-searchable").c_str()));
    return PTextReader(query, e, marks, source, function).read(attrs);
}

}  // namespace dkpg
