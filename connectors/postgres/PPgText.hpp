// connectors/postgres/PPgText.hpp
#pragma once

// Text search of the PostgreSQL connector on the server's full-text search. Each text-searchable
// attribute has a GIN index over its words (to_tsvector with the configuration 'simple': words
// in lower case, no stemming, no stop words), kept by the server with every write. Query text is
// read here, in the syntax the SQLite connector takes, into a condition over those attributes:
// each word, prefix or phrase is a value bound as a parameter, matched with the same expression
// the index holds, so the index serves it. Internal to libdkdspg.

#include "PPgCatalogue.hpp"
#include "PPgTree.hpp"

#include <libpq-fe.h>

#include <string>

namespace dkpg {

inline constexpr long kMsgBadTextQuery = 9231;   // query text that cannot be read

// Makes the index of attr, a new column of entity, when it is a text-searchable text column (the
// server names the index and drops it with the column). Other text-searchable columns are
// searched in their text form, without an index.
void addTextIndex(PGconn* conn, const std::string& entity, const PAttr& attr, const char* source, const char* function);
bool hasTextAttrs(const PEntity& e);

// A text query over one entity: the condition its rows meet and the rank that orders them best
// first, their query texts marked in marks.
struct PTextMatch {
    std::string condition;
    std::string rank;
};
// The match of query in the text-searchable attributes of e, or in only when it is given (which
// must be one). Query text: words (letters, digits, '_', any non-ASCII), "phrases" ("" a quote
// inside), a '*' after either for a prefix, "attr : x" to search x in attr only, AND, OR, NOT
// (binary: "a NOT b"), parentheses, and words side by side meaning AND. Anything else, and an
// attribute that is not text-searchable, is DKUsageError kMsgBadTextQuery.
PTextMatch textMatch(const std::string& query, const PEntity& e, const PAttr* only, PValueMarks& marks,
                     const char* source, const char* function);

}  // namespace dkpg
