// tools/dk/dkCmdQuery.cpp
//
// `dk query REPO "SELECT ..."`: runs one read-only query on a repository opened read-only and
// streams the rows to the result writer as the cursor fills them into one reused DDO, so memory
// stays bounded whatever the row count. The columns are those of the first row; when rows are
// items of an entity, an item column (ENTITY:ID) comes first. With --count only the size of the
// whole result is printed. The other commands that find items (find, search) print through the
// same writer.

#include "dkCommands.hpp"
#include "dkValues.hpp"

#include <dk/DKDDO.hpp>
#include <dk/DKNVPair.hpp>
#include <dk/PConnectorKit.hpp>
#include <dk/dkDatastore.hpp>
#include <dk/dkResultSetCursor.hpp>

#include <charconv>
#include <iostream>

#include <unistd.h>

namespace dkcli {

namespace {

constexpr short kSql = 4;   // the query-language code of SQL

// A query parameter: a whole number is passed as a number, anything else as text.
DKAny parameterValue(const std::string& text) {
    long n = 0;
    const char* end = text.data() + text.size();
    auto [p, ec] = std::from_chars(text.data(), end, n);
    if (!text.empty() && ec == std::errc() && p == end) return DKAny(n);
    return DKAny(DKString(text.data(), text.size()));
}

bool isItem(const DKDDO& row) {
    const DKPid& pid = row.getPid();
    return pid.getObjectType().length() > 0 && pid.getIdStringCount() > 0 && pid.getIdString(0).length() > 0;
}

}  // namespace

int runQuery(const Options& o, Repository* shared) {
    const OutputOptions output = outputOptionsFor(o, Format::table);
    // Parameters bind by name (:NAME in the query); the list ends with an entry without a name.
    std::vector<DKNVPair> params;
    for (const auto& [name, value] : o.params) {
        const char c = name[0];
        const std::string key = c == ':' || c == '@' || c == '$' ? name : ":" + name;
        params.emplace_back(key.c_str(), parameterValue(value));
    }
    params.emplace_back("");

    RepositoryRef repo(o, shared, true);
    std::unique_ptr<dkResultSetCursor> cursor(repo->datastore().execute(o.args[1].c_str(), kSql, params.data()));
    if (o.count) {
        std::cout << cursor->cardinality() << "\n";
        return kExitOk;
    }
    return printRows(*cursor, output);
}

int printRows(dkResultSetCursor& cursor, const OutputOptions& output) {
    RowWriter out(STDOUT_FILENO, output);
    // One DDO is filled again for every row, so a query of any size makes no DDO per row.
    DKDDO row;
    if (!cursor.fetchNext(row)) {
        out.begin({});
        out.end();
        return kExitOk;
    }
    // Rows of one cursor share their shape: the items the first row has set are the columns.
    const bool items = isItem(row);
    std::vector<std::string> columns;
    std::vector<unsigned short> ids;
    if (items) columns.emplace_back("item");
    for (unsigned short id = 1; id <= row.dataCount(); ++id) {
        if (!row.isDataSet(id)) continue;   // an item's attributes that the query did not select
        columns.emplace_back(row.getDataName(id).c_str());
        ids.push_back(id);
    }
    out.begin(columns);
    std::vector<Cell> cells(columns.size());
    do {
        std::size_t c = 0;
        if (items) {
            cells[c].kind = Cell::kText;
            cells[c++].text = Repository::shortName(row.getPid());
        }
        // The values are read where the row holds them, not copied.
        for (unsigned short id : ids) {
            static const DKAny kUnset;
            const DKAny* value = PConnectorKit::setValue(row, id);
            fillCell(value != nullptr ? *value : kUnset, cells[c++]);
        }
        out.row(cells);
    } while (cursor.fetchNext(row));
    cursor.close();
    out.end();
    return kExitOk;
}

}  // namespace dkcli
