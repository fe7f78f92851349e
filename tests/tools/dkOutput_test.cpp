// tests/tools/dkOutput_test.cpp
//
// The result writer of `dk`, writing to real files and pipes: csv and json read back by strict
// readers of the test's own, hostile text that must never reach a terminal raw, widths counted in
// terminal columns, the table's window and a reader that goes away.

#include "dkOutput.hpp"

#include "dkTestSupport.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <optional>
#include <regex>
#include <sstream>
#include <system_error>

#include <fcntl.h>
#include <iconv.h>
#include <unistd.h>

using dkcli::Cell;
using dkcli::Format;
using dkcli::OutputOptions;
using dkcli::RowWriter;
using namespace std::string_literals;

namespace {

using Rows = std::vector<std::vector<Cell>>;

Cell text(std::string t) { return {Cell::kText, std::move(t)}; }
Cell number(Cell::Kind kind, std::string t) { return {kind, std::move(t)}; }
Cell blob(std::string bytes) { return {Cell::kBlob, std::move(bytes)}; }
const Cell kNull;

OutputOptions in(Format format, bool terminal = false) {
    OutputOptions o;
    o.format = format;
    o.terminal = terminal;
    return o;
}

// Writes a result to fd.
void write(int fd, const OutputOptions& options, const std::vector<std::string>& columns, const Rows& rows) {
    RowWriter writer(fd, options);
    writer.begin(columns);
    for (const auto& row : rows) writer.row(row);
    writer.end();
}

// What a writer with these options puts into a file.
std::string render(const OutputOptions& options, const std::vector<std::string>& columns, const Rows& rows) {
    dktest::TempDir dir;
    const std::string file = (dir / "out").string();
    const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    write(fd, options, columns, rows);
    ::close(fd);
    return dktest::readFile(file);
}

// Strictly valid UTF-8 (iconv rejects overlong forms, surrogates and values above U+10FFFF) with
// no control a terminal acts on, but for the layout characters given.
bool terminalClean(const std::string& s, std::string_view layout = "\n") {
    std::u32string cps(s.size(), U'\0');
    char* from = const_cast<char*>(s.data());
    char* to = reinterpret_cast<char*>(cps.data());
    std::size_t fromLeft = s.size(), toLeft = cps.size() * 4;
    iconv_t cd = iconv_open("UTF-32LE", "UTF-8");
    const bool valid = iconv(cd, &from, &fromLeft, &to, &toLeft) != static_cast<std::size_t>(-1);
    iconv_close(cd);
    cps.resize(cps.size() - toLeft / 4);
    return valid && std::none_of(cps.begin(), cps.end(), [&](char32_t cp) {
               return (cp < 0x20 && layout.find(static_cast<char>(cp)) == std::string_view::npos) || (cp >= 0x7F && cp <= 0x9F);
           });
}

// A strict RFC 4180 reader: CRLF after every record, quotes only around whole fields. An empty
// unquoted field reads as no value, so NULL and '' stay apart.
using CsvRecord = std::vector<std::optional<std::string>>;
std::optional<std::vector<CsvRecord>> readCsv(const std::string& s) {
    static const std::regex field(R"(("(?:[^"]|"")*"|[^,"\r\n]*)(,|\r\n))");
    std::vector<CsvRecord> records(1);
    std::smatch m;
    for (auto at = s.cbegin(); at != s.cend(); at = m[0].second) {
        if (!std::regex_search(at, s.cend(), m, field, std::regex_constants::match_continuous)) return std::nullopt;
        const std::string f = m[1];
        if (f.empty())
            records.back().push_back(std::nullopt);
        else if (f[0] != '"')
            records.back().push_back(f);
        else
            records.back().push_back(std::regex_replace(f.substr(1, f.size() - 2), std::regex("\"\""), "\""));
        if (m[2] == "\r\n") records.emplace_back();
    }
    if (!records.back().empty()) return std::nullopt;   // the last record lacks its CRLF
    records.pop_back();
    return records;
}

// A strict JSON checker; the document must also be safe on a terminal.
struct JsonChecker {
    const std::string& s;
    std::size_t i = 0;
    bool lit(std::string_view word) {
        const bool found = s.compare(i, word.size(), word) == 0;
        i += found ? word.size() : 0;
        return found;
    }
    bool token(const std::regex& re) {
        std::smatch m;
        if (!std::regex_search(s.cbegin() + i, s.cend(), m, re, std::regex_constants::match_continuous)) return false;
        i += m.length();
        return true;
    }
    bool value() {
        static const std::regex string(R"("([^"\\\x00-\x1f]|\\(["\\/bfnrt]|u[0-9a-fA-F]{4}))*")");
        static const std::regex number(R"(-?(0|[1-9][0-9]*)(\.[0-9]+)?([eE][+-]?[0-9]+)?)");
        if (lit("{")) return list("}", [&] { return token(string) && lit(":") && value(); });
        if (lit("[")) return list("]", [&] { return value(); });
        return token(string) || token(number) || lit("true") || lit("false") || lit("null");
    }
    template <class Item>
    bool list(std::string_view close, Item item) {
        if (lit(close)) return true;
        do {
            lit("\n");
            if (!item()) return false;
        } while (lit(","));
        return lit(close);
    }
};

bool validJson(const std::string& s) {
    JsonChecker json{s};
    return json.value() && json.lit("\n") && json.i == s.size() && terminalClean(s);
}

// Text built to break a terminal or a reader: escape sequences, C1 CSI, DEL, NUL and every kind
// of ill-formed UTF-8.
const std::vector<std::string> kHostile = {
    "\x1b[2J\x1b[31mX", "\xc2\x9b" "31m", "\x7f", std::string("a\0b", 3), "tab\there\r\nnext",
    "\xc0\xaf", "\xe0\x80\xaf", "\xed\xa0\x80", "\xf4\x90\x80\x80", "\xf8\x88\x80\x80\x80",
    "\x80", "\xe2\x82", "\xe2\x82" "A", "\xff\xfe", "\xf0\x9f\x98",
};

}  // namespace

TEST(DkOutputCsv, StrictReaderGetsTheSameCells) {
    const std::vector<std::string> tricky = {"plain", "a,b", "say \"hi\"", "\"", "one\r\ntwo", "lf\nonly",
                                             " lead", "trail ", "\ttab", "", "\xff raw"};
    Rows rows;
    for (const std::string& t : tricky) rows.push_back({text(t), kNull, number(Cell::kReal, "1.5"), blob("\x00\xff\x10"s)});
    const std::vector<std::string> columns = {"x,y", "n", "r", "b"};
    const auto records = readCsv(render(in(Format::csv), columns, rows));
    ASSERT_TRUE(records);
    ASSERT_EQ(tricky.size() + 1, records->size());
    EXPECT_EQ(CsvRecord({"x,y", "n", "r", "b"}), records->front());
    for (std::size_t r = 0; r < tricky.size(); ++r)
        EXPECT_EQ(CsvRecord({tricky[r], std::nullopt, "1.5", std::string("AP8Q")}), (*records)[r + 1]) << r;

    OutputOptions noHeader = in(Format::csv);
    noHeader.header = false;
    // Readers that trim blanks keep them when quoted.
    EXPECT_EQ("\"\",,\" x\"\r\n", render(noHeader, {"a", "b", "c"}, {{text(""), kNull, text(" x")}}));
    // On a terminal controls are escaped, but a field keeps its line ends inside its quotes.
    noHeader.terminal = true;
    EXPECT_EQ("\"x\\x1b\r\ny\"\r\n", render(noHeader, {"a"}, {{text("x\x1b\r\ny")}}));
}

TEST(DkOutputTsv, EscapesLayoutBytesAndShowsNull) {
    OutputOptions o = in(Format::tsv);
    o.nullText = "\\N";
    EXPECT_EQ("a\tb\tc\td\te\nx\\ty\tl\\nm\\r\tback\\\\slash\t\\N\tAP8Q\n",
              render(o, {"a", "b", "c", "d", "e"},
                     {{text("x\ty"), text("l\nm\r"), text("back\\slash"), kNull, blob("\x00\xff\x10"s)}}));
    o.terminal = true;
    o.header = false;
    EXPECT_EQ("\\x1b[2J\\\\x1b\n", render(o, {"a"}, {{text("\x1b[2J\\x1b")}}));
}

TEST(DkOutputJson, AlwaysValidAndSafe) {
    const std::vector<std::string> columns = {"i", "r", "d", "t", "b", "n"};
    Rows rows;
    rows.push_back({number(Cell::kInteger, "-12"), number(Cell::kReal, "0.1"), number(Cell::kNumber, "1.50"),
                    text("caf\xc3\xa9"), blob("\x00\xff\x10"s), kNull});
    for (const char* real : {"inf", "-Inf", "nan", "1e999", "1.0", "garbage"})
        rows.push_back({number(Cell::kInteger, "+7"), number(Cell::kReal, real), number(Cell::kNumber, ".5"),
                        text(""), blob(""), kNull});
    for (const std::string& t : kHostile) rows.push_back({kNull, kNull, kNull, text(t), kNull, kNull});

    const std::string json = render(in(Format::json), columns, rows);
    EXPECT_TRUE(validJson(json)) << json;
    EXPECT_EQ(0u, json.find("[{\"i\":-12,\"r\":0.1,\"d\":1.50,\"t\":\"caf\xc3\xa9\",\"b\":\"AP8Q\",\"n\":null},\n{"));
    // One U+FFFD per ill-formed sequence, the byte after it kept (ED A0 80 gives three).
    for (const char* part : {"\"i\":\"+7\",\"r\":null,\"d\":0.5", "\"t\":\"\\u001b[2J\\u001b[31mX\"", "\"t\":\"\\u009b31m\"",
                             "\"t\":\"a\\u0000b\"", "\"t\":\"\xef\xbf\xbd" "A\"", "\"t\":\"\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd\""})
        EXPECT_NE(std::string::npos, json.find(part)) << part;

    EXPECT_EQ("[]\n", render(in(Format::json), columns, {}));
    std::istringstream lines(render(in(Format::jsonl), columns, rows));
    std::size_t count = 0;
    for (std::string line; std::getline(lines, line); ++count) EXPECT_TRUE(validJson(line + '\n')) << line;
    EXPECT_EQ(rows.size(), count);
}

TEST(DkOutputTerminal, HostileTextNeverComesOutRaw) {
    Rows rows;
    for (const std::string& t : kHostile) rows.push_back({text(t), number(Cell::kInteger, "1")});
    for (const bool terminal : {false, true}) {
        for (const Format f : {Format::table, Format::line}) {
            const std::string out = render(in(f, terminal), {"name\x1b", "n"}, rows);
            EXPECT_TRUE(terminalClean(out)) << out;
            for (const char* part : {"\\x1b[2J\\x1b[31mX", "\\xc2\\x9b31m", "\\xed\\xa0\\x80", "\\xe2\\x82A"})
                EXPECT_NE(std::string::npos, out.find(part)) << part;
        }
    }
    for (const Format f : {Format::csv, Format::tsv}) EXPECT_TRUE(terminalClean(render(in(f, true), {"name"}, rows), "\t\r\n"));
    EXPECT_EQ("\\x1b]0;x\\x07", dkcli::terminalSafe("\x1b]0;x\x07"));
}

TEST(DkOutputTable, EmptyResultsNullAndBlobs) {
    EXPECT_EQ("a | bb\n--+---\n(0 rows)\n", render(in(Format::table), {"a", "bb"}, {}));
    EXPECT_EQ("(0 rows)\n", render(in(Format::table), {}, {}));
    OutputOptions o = in(Format::table);
    o.nullText = "NULL";
    std::string bytes;
    for (char b = 0; b < 20; ++b) bytes += b;
    EXPECT_EQ("v\n--------------------------------------\nNULL\n\nx'000102030405060708090a0b0c0d0e0f'...\n(3 rows)\n",
              render(o, {"v"}, {{kNull}, {text("")}, {blob(bytes)}}));
    o.wide = true;
    EXPECT_NE(std::string::npos, render(o, {"v"}, {{blob(bytes)}}).find("0f10111213'\n"));
    o.format = Format::line;
    EXPECT_EQ("   id = 1\ntitle = NULL\n\n   id = 2\ntitle = b\n",
              render(o, {"id", "title"}, {{number(Cell::kInteger, "1"), kNull}, {number(Cell::kInteger, "2"), text("b")}}));
}

TEST(DkOutputTable, WidthsCountTerminalColumnsTheWindowSetsThemAndOnlyATerminalCuts) {
    EXPECT_EQ(4u, dkcli::displayWidth("\xe6\x97\xa5\xe6\x9c\xac"));   // 日本
    EXPECT_EQ(1u, dkcli::displayWidth("e\xcc\x81"));                  // e + combining acute
    EXPECT_EQ(0u, dkcli::displayWidth("\xe2\x80\x8b"));               // zero-width space
    EXPECT_EQ(2u, dkcli::displayWidth("\xf0\x9f\x98\x80"));           // an emoji
    EXPECT_EQ(8u, dkcli::displayWidth("\x1b\x80"));

    const std::string table = render(in(Format::table), {"name", "size"},
                                     {{text("\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e"), number(Cell::kInteger, "7")},
                                      {text("e\xcc\x81t\xc3\xa9"), kNull},
                                      {text("abc"), number(Cell::kInteger, "12345")}});
    EXPECT_EQ("name   | size\n"
              "-------+------\n"
              "\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e |     7\n"
              "e\xcc\x81t\xc3\xa9    |\n"
              "abc    | 12345\n"
              "(3 rows)\n",
              table);

    const Rows rows = {{text("abcde")}, {text("ab")}, {text("abcdefghij")}, {text("\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e")},
                       {text("a\x1b" "bcdef")}, {text("\x1b\x1b")}};
    OutputOptions o = in(Format::table);
    o.window = 2;
    EXPECT_EQ("v\n-----\nabcde\nab\nabcdefghij\n\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e\na\\x1bbcdef\n\\x1b\\x1b\n(6 rows)\n",
              render(o, {"v"}, rows));
    o.terminal = true;
    EXPECT_EQ("v\n-----\nabcde\nab\nab...\n\xe6\x97\xa5...\na...\n...\n(6 rows)\n", render(o, {"v"}, rows));
    o.wide = true;
    EXPECT_EQ(render(in(Format::table), {"v"}, {rows.front()}), render(o, {"v"}, {rows.front()}));

    // Within the window a terminal caps each column, and a known width shrinks the widest first.
    o = in(Format::table, true);
    const std::string longText(100, 'x');
    const std::string capped = render(o, {"v"}, {{text(longText)}});
    EXPECT_NE(std::string::npos, capped.find('\n' + std::string(45, 'x') + "...\n"));
    o.terminalWidth = 60;
    const std::string fitted = render(o, {"a", "b", "c"}, {{text(std::string(40, 'a')), text("short"), text(longText)}});
    std::istringstream lines(fitted);
    for (std::string line; std::getline(lines, line);) EXPECT_LE(line.size(), 60u) << fitted;
    EXPECT_NE(std::string::npos, fitted.find("| short |"));
}

TEST(DkOutputWrites, ReaderGoneAndBadDescriptor) {
    int fds[2];
    ASSERT_EQ(0, ::pipe(fds));
    ::close(fds[0]);
    const auto previous = std::signal(SIGPIPE, SIG_IGN);
    EXPECT_THROW(write(fds[1], in(Format::csv), {"a"}, {{text("x")}}), dkcli::OutputClosed);
    std::signal(SIGPIPE, previous);
    ::close(fds[1]);

    const int readOnly = ::open("/dev/null", O_RDONLY);
    EXPECT_THROW(write(readOnly, in(Format::jsonl), {"a"}, {{text("x")}}), std::system_error);
    ::close(readOnly);
}
