// src/dk/common/query/dkQueryLists.cpp
//
// The array copies, pair lists and operator checks that the term, the sub-expression and the
// expression share, so each rule lives in one place.

#include "dk/common/query/dkQueryLists.hpp"

#include <dk/DKException.hpp>
#include <dk/DKOpCode.hpp>
#include <dk/dkThrow.hpp>

namespace dkq {

DKString* copyStrings(const std::vector<DKString>& v, long& count) {
    count = 0;
    if (v.empty()) return nullptr;
    auto* copy = new DKString[v.size()];
    for (size_t i = 0; i < v.size(); ++i) copy[i] = v[i];
    count = static_cast<long>(v.size());
    return copy;
}

void assignStrings(std::vector<DKString>& v, const DKString* a, long n) {
    std::vector<DKString> copy;
    if (a != nullptr && n > 0) copy.assign(a, a + n);
    v.swap(copy);
}

DKNVPair* copyPairs(const DKNVPair* p, long n) {
    if (p == nullptr || n < 1) return nullptr;
    auto* copy = new DKNVPair[n];
    for (long i = 0; i < n; ++i) copy[i] = p[i];
    return copy;
}

namespace {
DKNVPair* entry(const PVector* list, long index) {
    if (list == nullptr || index < 0 || static_cast<unsigned long>(index) >= list->size()) return nullptr;
    return static_cast<DKNVPair*>((*list)[static_cast<unsigned long>(index)]);
}

long lastNamed(const PVector* list, const char* name) {
    const DKString wanted(name);
    for (long i = pairCount(list) - 1; i >= 0; --i) {
        if (entry(list, i)->getName() == wanted) return i;
    }
    return -1;
}

void append(PVector*& list, unsigned long initial, DKNVPair* pair) {
    if (list == nullptr) list = new PVector(initial);
    try {
        list->addLast(pair);
    } catch (...) {
        delete pair;
        throw;
    }
}
}  // namespace

long pairCount(const PVector* list) { return list != nullptr ? static_cast<long>(list->size()) : 0; }

DKNVPair* pairsCopy(const PVector* list, long& count) {
    count = 0;
    const long n = pairCount(list);
    if (n == 0) return nullptr;
    auto* copy = new DKNVPair[n];
    for (long i = 0; i < n; ++i) copy[i] = *entry(list, i);
    count = n;
    return copy;
}

void pairsAssign(PVector*& list, unsigned long initial, const DKNVPair* pairs, long count) {
    if (list != nullptr) {
        while (list->size() > 0) delete static_cast<DKNVPair*>(list->remove(list->size() - 1));
    }
    if (pairs == nullptr) return;
    for (long i = 0; i < count; ++i) append(list, initial, new DKNVPair(pairs[i]));
}

DKNVPair* pairGet(const PVector* list, const char* name) {
    const long i = lastNamed(list, name);
    return i < 0 ? nullptr : new DKNVPair(*entry(list, i));
}

DKNVPair* pairGet(const PVector* list, long index) {
    const DKNVPair* p = entry(list, index);
    return p == nullptr ? nullptr : new DKNVPair(*p);
}

void pairSet(PVector*& list, unsigned long initial, const char* name, const DKAny& value) {
    const long i = lastNamed(list, name);
    if (i >= 0) {
        entry(list, i)->setValue(value);
    } else {
        append(list, initial, new DKNVPair(name, value));
    }
}

void pairSet(PVector*& list, unsigned long initial, long index, const DKNVPair& pair) {
    if (DKNVPair* p = entry(list, index)) {
        p->set(pair.getName().c_str(), pair.getValue());
    } else {
        append(list, initial, new DKNVPair(pair));
    }
}

long pairRemove(PVector* list, const char* name) {
    const long i = lastNamed(list, name);
    if (i >= 0) pairRemove(list, i);
    return i;
}

void pairRemove(PVector* list, long index) {
    if (entry(list, index) == nullptr) return;
    delete static_cast<DKNVPair*>(list->remove(static_cast<unsigned long>(index)));
}

void pairsFree(PVector*& list) {
    pairsAssign(list, 0, nullptr, 0);
    delete list;
    list = nullptr;
}

void refuseOperator(const char* source, const char* function, short op) {
    const char* text = DKOpCode::text(op);
    dkThrow<DKUsageError>(303, source, function, DKString(": ") + (text != nullptr ? DKString(text) : DKString(op)));
}

void checkLogical(const char* source, const char* function, const void* left, short op,
                  const void* right) {
    bool valid = false;
    if (op == DKOpCode::opNot) {
        valid = left == nullptr && right != nullptr;
    } else if (op == DKOpCode::opAnd || op == DKOpCode::opOr) {
        valid = left != nullptr && right != nullptr && left != right;
    }
    if (!valid) refuseOperator(source, function, op);
}

}  // namespace dkq
