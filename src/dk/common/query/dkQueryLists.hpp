// src/dk/common/query/dkQueryLists.hpp
#pragma once

// What the query classes share: copies of name and pair arrays handed to callers, the option and
// parameter lists of expressions and sub-expressions (growable pointer vectors of owned pairs,
// made on first use), and the operator checks of the constructors. Private to the library.

#include <dk/DKNVPair.hpp>
#include <dk/DKString.hpp>
#include <dk/PVector.hpp>

#include <vector>

namespace dkq {

// A new array holding copies of v (null with count 0 when v is empty).
DKString* copyStrings(const std::vector<DKString>& v, long& count);
// Replaces v by copies of the n strings of a; a null array or n below 1 empties v.
void assignStrings(std::vector<DKString>& v, const DKString* a, long n);
// A new array holding copies of the n pairs at p (null when n is below 1).
DKNVPair* copyPairs(const DKNVPair* p, long n);

// The option and parameter lists: a pointer vector of owned pairs, null until first use, then
// made with room for `initial`. Indexes count from 0; names are searched from the last entry.
long pairCount(const PVector* list);
DKNVPair* pairsCopy(const PVector* list, long& count);   // a new array, null and 0 when empty
void pairsAssign(PVector*& list, unsigned long initial, const DKNVPair* pairs, long count);
DKNVPair* pairGet(const PVector* list, const char* name);   // a new copy, or null
DKNVPair* pairGet(const PVector* list, long index);         // a new copy, or null
void pairSet(PVector*& list, unsigned long initial, const char* name, const DKAny& value);
void pairSet(PVector*& list, unsigned long initial, long index, const DKNVPair& pair);
long pairRemove(PVector* list, const char* name);   // the removed entry's index, or -1
void pairRemove(PVector* list, long index);         // nothing when out of range
void pairsFree(PVector*& list);                     // deletes every entry and the vector

// Throws DKUsageError 303 "<text>: <operator>" at `function`; the operator is named by its text
// form, or in decimal outside 0..17.
[[noreturn]] void refuseOperator(const char* source, const char* function, short op);
// The check of a logical node: op 6 or 7 with two operands, or 8 with only a right one. The same
// node twice would be deleted twice, so it is refused too.
void checkLogical(const char* source, const char* function, const void* left, short op,
                  const void* right);

}  // namespace dkq
