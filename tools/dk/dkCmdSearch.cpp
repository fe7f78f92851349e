// tools/dk/dkCmdSearch.cpp
//
// `dk search REPO WORDS...`: a full-text search of the repository's text-searchable attributes
// on a repository opened read-only; `dk search REPO --template NAME ...` goes to the stored
// template's search (dkCmdTemplate.cpp). The words become one FTS5 query in which each word is a
// quoted term, so that nothing a user types is read as an operator, and the items found are
// printed, best match first, as `dk query` prints rows.

#include "dkCommands.hpp"

#include <dk/dkDatastore.hpp>
#include <dk/dkResultSetCursor.hpp>

namespace dkcli {

namespace {

constexpr short kText = 1;   // the query-language code of text queries

// The FTS5 query of the words: every word must appear ("a" "b" is a AND b). A word is a string
// in double quotes (a quote inside is doubled); a trailing '*' stays outside them, where it asks
// for a prefix.
std::string textQueryOf(const std::vector<std::string>& words, const std::string& command) {
    std::string query;
    for (const std::string& word : words) {
        const bool prefix = word.size() > 1 && word.back() == '*';
        const std::string term = prefix ? word.substr(0, word.size() - 1) : word;
        if (term.empty()) throw UsageError("an empty word finds nothing", command);
        query += query.empty() ? "\"" : " \"";
        for (char c : term) query += c == '"' ? std::string("\"\"") : std::string(1, c);
        query += prefix ? "\"*" : "\"";
    }
    return query;
}

}  // namespace

int runSearch(const Options& o, Repository* shared) {
    if (o.templateGiven) return runTemplateSearch(o, shared);
    if (o.args.size() < 2) throw UsageError("dk search needs WORDS or --template NAME", o.command);
    const OutputOptions output = outputOptionsFor(o, Format::table);
    const std::string query = textQueryOf({o.args.begin() + 1, o.args.end()}, o.command);
    RepositoryRef repo(o, shared, true);
    std::unique_ptr<dkResultSetCursor> cursor(repo->datastore().execute(query.c_str(), kText, nullptr));
    return printRows(*cursor, output);
}

}  // namespace dkcli
