// connectors/postgres/PPgMarkers.cpp
//
// The small lexer that turns the portable parameter markers into the server's $n. It follows the
// server's own reading of what is not SQL: '' doubles a quote in a string, E'' strings also
// take backslash escapes, $tag$ ... $tag$ quotes anything, "" doubles a quote in a name, -- runs to
// the end of the line and /* */ nests.

#include "PPgMarkers.hpp"
#include "PPgError.hpp"

#include <dk/DKException.hpp>
#include <dk/dkThrow.hpp>

#include <cctype>
#include <cstring>

namespace dkpg {

namespace {

constexpr const char* kSource = "connectors/postgres/PPgMarkers";
constexpr const char* kFunction = "dkpg::rewriteMarkers";

bool identStart(unsigned char c) { return std::isalpha(c) || c == '_' || c >= 0x80; }
bool identChar(unsigned char c) { return identStart(c) || std::isdigit(c) || c == '$'; }

[[noreturn]] void refuse(const char* why, size_t at) {
    dkThrow<DKUsageError>(kMsgBadQueryText, kSource, kFunction,
                          DKString(why) + " at offset " + DKString(std::to_string(at).c_str()));
}

// The end (one past) of the quoted run that starts at i with quote q; '' (or "") inside is one
// quote, and with backslashes a backslash escapes the next byte.
size_t quotedEnd(const std::string& s, size_t i, char q, bool backslashes, const char* what) {
    for (size_t j = i + 1; j < s.size(); ++j) {
        if (backslashes && s[j] == '\\') {
            ++j;
        } else if (s[j] == q) {
            if (j + 1 < s.size() && s[j + 1] == q) ++j;
            else return j + 1;
        }
    }
    refuse(what, i);
}

// The length of a dollar quote's tag ("$tag$" or "$$") at i, or 0 when none starts there.
size_t dollarTag(const std::string& s, size_t i) {
    size_t j = i + 1;
    if (j < s.size() && s[j] == '$') return 2;
    if (j >= s.size() || !identStart(static_cast<unsigned char>(s[j]))) return 0;
    while (j < s.size() && identChar(static_cast<unsigned char>(s[j])) && s[j] != '$') ++j;
    return j < s.size() && s[j] == '$' ? j + 1 - i : 0;
}

size_t blockCommentEnd(const std::string& s, size_t i) {
    int depth = 0;
    for (size_t j = i; j + 1 < s.size(); ++j) {
        if (s[j] == '/' && s[j + 1] == '*') {
            ++depth;
            ++j;
        } else if (s[j] == '*' && s[j + 1] == '/') {
            ++j;
            if (--depth == 0) return j + 1;
        }
    }
    refuse("a comment left open", i);
}

std::string lower(std::string name) {
    for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return name;
}

}  // namespace

PMarkers rewriteMarkers(const std::string& s) {
    PMarkers out;
    out.sql.reserve(s.size() + 8);
    auto marker = [&](const std::string& name) {
        size_t k = out.names.size();
        if (!name.empty()) {
            for (k = 0; k < out.names.size() && out.names[k] != name; ++k) {}
        }
        if (k == out.names.size()) out.names.push_back(name);
        out.sql += '$';
        out.sql += std::to_string(k + 1);
    };
    for (size_t i = 0; i < s.size();) {
        const char c = s[i];
        const bool afterIdent = i > 0 && identChar(static_cast<unsigned char>(s[i - 1]));
        size_t end = i + 1;   // what is copied as it stands: [i, end)
        if (c == '\0') {
            refuse("a zero byte", i);
        } else if (c == '\'') {
            // E'...' (the E already copied as a word) takes backslash escapes.
            const bool escapes = i > 0 && (s[i - 1] == 'E' || s[i - 1] == 'e') &&
                                 !(i > 1 && identChar(static_cast<unsigned char>(s[i - 2])));
            end = quotedEnd(s, i, '\'', escapes, "a string left open");
        } else if (c == '"') {
            end = quotedEnd(s, i, '"', false, "a quoted name left open");
        } else if (c == '-' && i + 1 < s.size() && s[i + 1] == '-') {
            end = s.find('\n', i);
            end = end == std::string::npos ? s.size() : end;
        } else if (c == '/' && i + 1 < s.size() && s[i + 1] == '*') {
            end = blockCommentEnd(s, i);
        } else if (c == '$' && !afterIdent) {
            if (i + 1 < s.size() && std::isdigit(static_cast<unsigned char>(s[i + 1])))
                refuse("a $n marker (write ? or :name)", i);
            if (const size_t tag = dollarTag(s, i)) {
                const size_t close = s.find(s.substr(i, tag), i + tag);
                if (close == std::string::npos) refuse("a dollar-quoted string left open", i);
                end = close + tag;
            }
        } else if (identChar(static_cast<unsigned char>(c))) {
            while (end < s.size() && identChar(static_cast<unsigned char>(s[end]))) ++end;   // a word, $ and all
        } else if (c == ':' && i + 1 < s.size() && s[i + 1] == ':') {
            end = i + 2;   // a cast
        } else if (c == ':' && i + 1 < s.size() && identStart(static_cast<unsigned char>(s[i + 1]))) {
            end = i + 2;
            while (end < s.size() && identChar(static_cast<unsigned char>(s[end])) && s[end] != '$') ++end;
            marker(lower(s.substr(i + 1, end - i - 1)));
            i = end;
            continue;
        } else if (c == '?') {
            marker(std::string());
            ++i;
            continue;
        }
        out.sql.append(s, i, end - i);
        i = end;
    }
    return out;
}

}  // namespace dkpg
