// tests/connectors/PPgMarkers_test.cpp
//
// The PostgreSQL connector's marker lexer: markers become $n only where the server reads SQL,
// names bind once per name, and texts that do not close are refused rather than guessed at.

#include "PPgMarkers.hpp"

#include "dkTestSupport.hpp"

#include <dk/DKException.hpp>

#include <gtest/gtest.h>

using dkpg::rewriteMarkers;

TEST(PPgMarkers, MarkersBecomeServerParametersOnlyOutsideLiteralsNamesAndComments) {
    using Names = std::vector<std::string>;
    struct Case {
        std::string in, sql;
        Names names;
    };
    const Case cases[] = {
        {"SELECT * FROM doc WHERE a = ? AND b = ?", "SELECT * FROM doc WHERE a = $1 AND b = $2", {"", ""}},
        // One name, any case, is one parameter; ? between names takes the next number.
        {"a = :Min OR b = ? OR c = :min", "a = $1 OR b = $2 OR c = $1", {"min", ""}},
        {"x::int = :n::text", "x::int = $1::text", {"n"}},
        {"': ?' || E'\\' ?' || e'\\\\' || ?", "': ?' || E'\\' ?' || e'\\\\' || $1", {""}},
        {"\"a?\"\":x\" = ?", "\"a?\"\":x\" = $1", {""}},
        {"$$ ? $$ || $t$ :x $$ $t$ || ?", "$$ ? $$ || $t$ :x $$ $t$ || $1", {""}},
        {"a$b, c$1 = :d$e", "a$b, c$1 = $1$e", {"d"}},   // $ inside a name is the name's
        {"/* ? /* :x */ ? */ ? -- ? :y\n?", "/* ? /* :x */ ? */ $1 -- ? :y\n$2", {"", ""}},
        {"xe'\\' = ?", "xe'\\' = $1", {""}},   // xe is a name: '\' is a whole string
    };
    for (const Case& c : cases) {
        const dkpg::PMarkers m = rewriteMarkers(c.in);
        EXPECT_EQ(c.sql, m.sql) << c.in;
        EXPECT_EQ(c.names, m.names) << c.in;
    }
}

TEST(PPgMarkers, TextsThatDoNotCloseOrUseServerMarkersAreRefused) {
    for (const std::string& bad : std::vector<std::string>{"'open", "E'open\\'", "\"name", "/* /* */", "$t$ open $t", "$$", "a = $1", "x = ? $2",
                                  std::string("a = ?\0 OR 1 = 1", 15)})
        EXPECT_EQ(9207L, dktest::usageError([&] { rewriteMarkers(bad); })) << bad;
}
