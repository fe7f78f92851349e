// connectors/postgres/PPgMarkers.hpp
#pragma once

// The parameter markers of a query text as the server takes them: the portable markers `?` and
// `:name` become $1, $2 ... wherever the server would read them as SQL, and nowhere else (not
// in string literals, E'' strings, dollar-quoted strings, quoted names or comments, nested block
// comments included). A `::` cast stays as it is. Internal to libdkdspg; no state.

#include <string>
#include <vector>

namespace dkpg {

struct PMarkers {
    std::string sql;                 // the text with $1 ... $n in place of the markers
    std::vector<std::string> names;  // per $k (from 0): the name of a :name marker, "" for a `?`
};

// Rewrites text (which may hold zero bytes only inside nothing: a zero byte ends nothing and is
// refused). Each `?` is a new parameter; every `:name` of one name is the same parameter, by the
// name without case. Refused with DKUsageError kMsgBadQueryText: a literal, quoted name or
// comment left open, a zero byte, and a `$1`-style marker of the server's own, which the other
// connectors would not read.
PMarkers rewriteMarkers(const std::string& text);

}  // namespace dkpg
