// src/dk/common/query/DKQTerm.cpp
//
// The condition terms of the query tree, their query-text and SQL renderings, and the quote
// helpers callers use to put values into them. Trees are walked with an explicit stack, never by
// recursion, so a chain of a hundred thousand ANDs renders, copies and dies like a short one;
// rendering appends to one buffer, so its cost grows linearly with the text.

#include <dk/DKQTerm.hpp>

#include <dk/DKOpCode.hpp>

#include "dk/common/query/dkQueryLists.hpp"

#include <cstring>
#include <memory>
#include <utility>

namespace {
constexpr const char* kSource = "dk/common/DKQTerm";
constexpr const char* kConstructor = "DKQTerm::DKQTerm";

bool singleValueOp(short op) {
    return op != DKOpCode::opAnd && op != DKOpCode::opOr && op != DKOpCode::opNot &&
           op != DKOpCode::opBetween && op != DKOpCode::opNotBetween;
}

// Hands the operands of `node` to `pending` and forgets them, so deleting the node deletes
// nothing further.
template <class Node>
void detachOperands(Node*& left, Node*& right, std::vector<Node*>& pending) {
    if (left != nullptr) pending.push_back(std::exchange(left, nullptr));
    if (right != nullptr) pending.push_back(std::exchange(right, nullptr));
}

void append(std::string& out, const DKString& s) { out.append(s.c_str(), s.length()); }

bool startsAndEndsWith(const char* s, size_t n, char q) { return n >= 1 && s[0] == q && s[n - 1] == q; }

// Every pair of adjacent q in [s, s + n) collapsed to one, read from left to right.
DKString collapse(const char* s, size_t n, char q) {
    std::string out;
    out.reserve(n);
    for (size_t i = 0; i < n; ++i) {
        out += s[i];
        if (s[i] == q && i + 1 < n && s[i + 1] == q) ++i;
    }
    return DKString(out);
}

DKString withQuotes(const char* s, char q) {
    if (s == nullptr) return DKString();
    const char quotedNull[] = {q, 'N', 'U', 'L', 'L', q, '\0'};
    if (std::strcmp(s, "NULL") == 0 || std::strcmp(s, quotedNull) == 0) return DKString(s);
    std::string out(1, q);
    for (const char* p = s; *p != '\0'; ++p) {
        out += *p;
        if (*p == q) out += q;
    }
    out += q;
    return DKString(out);
}

DKString withoutQuotes(const char* s, char q) {
    if (s == nullptr) return DKString();
    const size_t n = std::strlen(s);
    if (std::memchr(s, q, n) == nullptr) return DKString(s);
    if (startsAndEndsWith(s, n, q)) {
        if (n == 1) return DKString(s);
        return collapse(s + 1, n - 2, q);
    }
    return collapse(s, n, q);
}
}  // namespace

// ---------------------------------------------------------------------------------------------
// Construction and ownership

DKQTerm::DKQTerm() : op_(0), left_(nullptr), right_(nullptr) {}

DKQTerm::DKQTerm(const char* stringTerm) : op_(-1), left_(nullptr), right_(nullptr), stringTerm_(stringTerm) {}

DKQTerm::DKQTerm(const char* stringTerm, const DKNVPair* options, long count) : DKQTerm(stringTerm) {
    if (options != nullptr && count > 0) options_.assign(options, options + count);
}

DKQTerm::DKQTerm(const char* name, short op, const char* value)
    : op_(op), name_(name), left_(nullptr), right_(nullptr) {
    if (!singleValueOp(op)) dkq::refuseOperator(kSource, kConstructor, op);
    values_.emplace_back(value);
}

DKQTerm::DKQTerm(const char* name, short op, const DKString* values, long count)
    : op_(op), name_(name), left_(nullptr), right_(nullptr) {
    if (!DKOpCode::isMultiValueOp(op)) dkq::refuseOperator(kSource, kConstructor, op);
    dkq::assignStrings(values_, values, count);
}

DKQTerm::DKQTerm(DKQTerm* left, short op, DKQTerm* right) : op_(op), left_(nullptr), right_(nullptr) {
    dkq::checkLogical(kSource, kConstructor, left, op, right);
    left_ = left;
    right_ = right;
}

DKQTerm::~DKQTerm() {
    std::vector<DKQTerm*> pending;
    detachOperands(left_, right_, pending);
    while (!pending.empty()) {
        DKQTerm* t = pending.back();
        pending.pop_back();
        detachOperands(t->left_, t->right_, pending);
        delete t;
    }
}

short DKQTerm::getOpCode() const { return op_; }
void DKQTerm::setOpCode(short op) { op_ = op; }
DKQTerm* DKQTerm::getLeft() const { return left_; }
DKQTerm* DKQTerm::getRight() const { return right_; }

void DKQTerm::setLeft(DKQTerm* left) {
    if (left_ != left) delete left_;
    left_ = left;
}

void DKQTerm::setRight(DKQTerm* right) {
    if (right_ != right) delete right_;
    right_ = right;
}

DKQTerm* DKQTerm::and_(DKQTerm* other) { return new DKQTerm(this, DKOpCode::opAnd, other); }
DKQTerm* DKQTerm::or_(DKQTerm* other) { return new DKQTerm(this, DKOpCode::opOr, other); }
DKQTerm* DKQTerm::not_() { return new DKQTerm(nullptr, DKOpCode::opNot, this); }
int DKQTerm::isNotTerm() const { return op_ == DKOpCode::opNot && left_ == nullptr ? 1 : 0; }
int DKQTerm::isLeaf() const { return left_ == nullptr && right_ == nullptr ? 1 : 0; }

DKString DKQTerm::getStringTerm() const { return stringTerm_; }
void DKQTerm::setStringTerm(const char* stringTerm) { stringTerm_ = stringTerm; }
DKString DKQTerm::getName() const { return name_; }
void DKQTerm::setName(const char* name) { name_ = name; }
DKString DKQTerm::getValue() const { return values_.empty() ? DKString() : values_.front(); }

void DKQTerm::setValue(const char* value) {
    std::vector<DKString> one(1, DKString(value));
    values_.swap(one);
}

DKString* DKQTerm::getValues(long& count) const { return dkq::copyStrings(values_, count); }
void DKQTerm::setValues(const DKString* values, long count) { dkq::assignStrings(values_, values, count); }
int DKQTerm::hasMultiValues() const { return values_.size() > 1 ? 1 : 0; }

DKNVPair* DKQTerm::getOptions(long& count) const {
    count = static_cast<long>(options_.size());
    return dkq::copyPairs(options_.data(), count);
}

void DKQTerm::setOptions(const DKNVPair* options, long count) {
    std::vector<DKNVPair> copy;
    if (options != nullptr && count > 0) copy.assign(options, options + count);
    options_.swap(copy);
}

void DKQTerm::copyFieldsFrom(const DKQTerm& other) {
    op_ = other.op_;
    name_ = other.name_;
    values_ = other.values_;
    stringTerm_ = other.stringTerm_;
    options_ = other.options_;
}

DKQTerm* DKQTerm::clone() const {
    // Every field is copied as it stands, so a term that setOpCode or setValues left in a shape
    // the constructors would refuse still copies, and the copy renders the same.
    auto root = std::make_unique<DKQTerm>();
    root->copyFieldsFrom(*this);
    std::vector<std::pair<const DKQTerm*, DKQTerm*>> pending{{this, root.get()}};
    while (!pending.empty()) {
        const auto [from, to] = pending.back();
        pending.pop_back();
        for (auto side : {&DKQTerm::left_, &DKQTerm::right_}) {
            const DKQTerm* child = from->*side;
            if (child == nullptr) continue;
            to->*side = new DKQTerm();   // owned by `to` at once, so a throw frees it with root
            (to->*side)->copyFieldsFrom(*child);
            pending.emplace_back(child, to->*side);
        }
    }
    return root.release();
}

// ---------------------------------------------------------------------------------------------
// Rendering

void DKQTerm::render(std::string& out, bool sql) const {
    // Each frame is a node and how far its text has got: 0 nothing yet, 1 left side written,
    // 2 operator and "(" of the right operand written.
    struct Frame {
        const DKQTerm* term;
        int stage;
    };
    std::vector<Frame> stack{{this, 0}};
    while (!stack.empty()) {
        const size_t top = stack.size() - 1;
        const DKQTerm& t = *stack[top].term;
        const int stage = stack[top].stage;
        if (stage == 0) {
            if (t.stringTerm_.length() > 0) {
                if (!sql) {
                    out += '(';
                    if (!t.options_.empty()) {
                        out += "$ ";
                        for (size_t i = 0; i < t.options_.size(); ++i) {
                            if (i > 0) out += ',';
                            append(out, t.options_[i].getName());
                            out += '=';
                            append(out, t.options_[i].getValue().toString());
                        }
                        out += "$ ";
                    }
                    append(out, t.stringTerm_);
                    out += ')';
                }
                stack.pop_back();
                continue;
            }
            stack[top].stage = 1;
            if (t.left_ != nullptr) {
                out += '(';
                stack.push_back({t.left_, 0});
                continue;
            }
            if (t.op_ != DKOpCode::opNot) append(out, t.name_);
        }
        if (stage <= 1) {
            if (t.left_ != nullptr && stage == 1) out += ')';
            const short op = t.op_;
            const DKString none;
            const DKString& first = t.values_.empty() ? none : t.values_[0];
            if (sql && (op == DKOpCode::opEqual || op == DKOpCode::opNotEqual) && first == "NULL") {
                out += op == DKOpCode::opEqual ? " IS NULL " : " IS NOT NULL ";
                stack.pop_back();
                continue;
            }
            const char* opText = DKOpCode::text(op);
            if (sql) {
                switch (op) {
                    case DKOpCode::opEqual: opText = " = "; break;
                    case DKOpCode::opNotLike: opText = " NOT LIKE "; break;
                    case DKOpCode::opNotIn: opText = " NOT IN "; break;
                    case DKOpCode::opNotBetween: opText = " NOT BETWEEN "; break;
                    default: break;
                }
            }
            if (opText != nullptr) out += opText;
            if (t.right_ != nullptr) {
                out += '(';
                stack[top].stage = 2;
                stack.push_back({t.right_, 0});
                continue;
            }
            if (op == DKOpCode::opBetween || op == DKOpCode::opNotBetween) {
                append(out, first);
                out += sql ? " AND " : " ";
                if (t.values_.size() > 1) append(out, t.values_[1]);
            } else if (op == DKOpCode::opIn || op == DKOpCode::opNotIn) {
                out += '(';
                for (size_t i = 0; i < t.values_.size(); ++i) {
                    if (i > 0) out += ',';
                    append(out, t.values_[i]);
                }
                out += ')';
            } else {
                append(out, first);
            }
            stack.pop_back();
            continue;
        }
        out += ')';   // stage 2: the right operand is written
        stack.pop_back();
    }
}

void DKQTerm::appendString(std::string& out) const { render(out, false); }
void DKQTerm::appendSQL(std::string& out) const { render(out, true); }

DKString DKQTerm::toString() const {
    std::string out;
    render(out, false);
    return DKString(out);
}

DKString DKQTerm::toSQL() const {
    std::string out;
    render(out, true);
    return DKString(out);
}

// ---------------------------------------------------------------------------------------------
// Quote helpers

DKString DKQTerm::duplicateSingleQuote(const char* s) {
    if (s == nullptr) return DKString();
    std::string out;
    for (const char* p = s; *p != '\0'; ++p) {
        out += *p;
        if (*p == '\'') out += '\'';
    }
    return DKString(out);
}

DKString DKQTerm::unDuplicateSingleQuote(const char* s) {
    if (s == nullptr) return DKString();
    return collapse(s, std::strlen(s), '\'');
}

DKString DKQTerm::formatWithSingleQuotes(const char* s) { return withQuotes(s, '\''); }
DKString DKQTerm::formatWithDoubleQuotes(const char* s) { return withQuotes(s, '"'); }
DKString DKQTerm::formatWithoutSingleQuotes(const char* s) { return withoutQuotes(s, '\''); }
DKString DKQTerm::formatWithoutDoubleQuotes(const char* s) { return withoutQuotes(s, '"'); }

DKString DKQTerm::convertSingleQuotesFormatToDouble(const char* s) {
    if (s == nullptr) return DKString();
    if (std::strcmp(s, "'NULL'") == 0) return DKString("\"NULL\"");
    const size_t n = std::strlen(s);
    if (n > 1 && startsAndEndsWith(s, n, '\'')) {
        return formatWithDoubleQuotes(formatWithoutSingleQuotes(s).c_str());
    }
    return DKString(s);   // NULL and everything not single-quoted
}
