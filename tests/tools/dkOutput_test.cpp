// tests/tools/dkOutput_test.cpp
//
// The result writer of `dk`, writing to real files and pipes: csv and json read back by strict
// readers of the test's own, hostile text that must never reach a terminal raw, widths counted in
// terminal columns, the table's window, a reader that goes away, and memory that stays bounded.

#include "dkOutput.hpp"

#include "dkTestSupport.hpp"

#include <gtest/gtest.h>

#include <cctype>
#include <csignal>
#include <optional>
#include <system_error>

#include <fcntl.h>
#include <iconv.h>
#include <malloc.h>
#include <sys/stat.h>
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

OutputOptions in(Format format) {
    OutputOptions o;
    o.format = format;
    return o;
}

// What a writer with these options puts into a file.
std::string render(const OutputOptions& options, const std::vector<std::string>& columns, const Rows& rows) {
    dktest::TempDir dir;
    const std::string file = (dir / "out").string();
    const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    RowWriter writer(fd, options);
    writer.begin(columns);
    for (const auto& row : rows) writer.row(row);
    writer.end();
    ::close(fd);
    return dktest::readFile(file);
}

// The code points of strictly valid UTF-8 (iconv rejects overlong forms, surrogates and values
// above U+10FFFF), or nothing.
std::optional<std::u32string> decodeUtf8(const std::string& s) {
    iconv_t cd = iconv_open("UTF-32LE", "UTF-8");
    std::u32string out(s.size(), U'\0');
    char* from = const_cast<char*>(s.data());
    char* to = reinterpret_cast<char*>(out.data());
    std::size_t fromLeft = s.size(), toLeft = out.size() * 4;
    const bool ok = iconv(cd, &from, &fromLeft, &to, &toLeft) != static_cast<std::size_t>(-1);
    iconv_close(cd);
    if (!ok) return std::nullopt;
    out.resize(out.size() - toLeft / 4);
    return out;
}

// Valid UTF-8 with no control a terminal acts on, but for the layout characters given.
bool terminalClean(const std::string& s, std::string_view layout = "\n") {
    const auto cps = decodeUtf8(s);
    if (!cps) return false;
    for (const char32_t cp : *cps)
        if ((cp < 0x20 && layout.find(static_cast<char>(cp)) == std::string_view::npos) || (cp >= 0x7F && cp <= 0x9F)) return false;
    return true;
}

// A strict RFC 4180 reader: CRLF after every record, quotes only around whole fields. An empty
// unquoted field reads as no value, so NULL and '' stay apart.
using CsvRecord = std::vector<std::optional<std::string>>;
std::optional<std::vector<CsvRecord>> readCsv(const std::string& s) {
    std::vector<CsvRecord> records;
    std::size_t i = 0;
    while (i < s.size()) {
        CsvRecord record;
        for (;;) {
            std::optional<std::string> field;
            if (s[i] == '"') {
                field.emplace();
                for (++i;; ++i) {
                    if (i >= s.size()) return std::nullopt;
                    if (s[i] == '"' && (i + 1 >= s.size() || s[i + 1] != '"')) break;
                    if (s[i] == '"') ++i;
                    *field += s[i];
                }
                ++i;
            } else {
                const std::size_t end = s.find_first_of(",\r\n\"", i);
                if (end == std::string::npos || s[end] == '"') return std::nullopt;
                if (end > i) field = s.substr(i, end - i);
                i = end;
            }
            record.push_back(field);
            if (s.compare(i, 2, "\r\n") == 0) break;
            if (i >= s.size() || s[i] != ',') return std::nullopt;
            ++i;
        }
        i += 2;
        records.push_back(record);
    }
    return records;
}

// A strict JSON checker whose strings must also be safe on a terminal.
struct JsonChecker {
    const std::string& s;
    std::size_t i = 0;
    bool lit(const char* word) {
        const std::size_t n = std::char_traits<char>::length(word);
        return s.compare(i, n, word) == 0 ? (i += n, true) : false;
    }
    bool digits() {
        const std::size_t from = i;
        while (i < s.size() && isdigit(static_cast<unsigned char>(s[i]))) ++i;
        return i > from;
    }
    bool string() {
        const std::size_t from = i;
        if (!lit("\"")) return false;
        while (i < s.size() && s[i] != '"') {
            if (s[i] == '\\') {
                ++i;
                if (lit("u")) {
                    for (int k = 0; k < 4; ++k, ++i)
                        if (i >= s.size() || !isxdigit(static_cast<unsigned char>(s[i]))) return false;
                } else if (i >= s.size() || std::string("\"\\/bfnrt").find(s[i++]) == std::string::npos) {
                    return false;
                }
            } else {
                ++i;
            }
        }
        return lit("\"") && terminalClean(s.substr(from, i - from)) &&
               s.substr(from, i - from).find('\n') == std::string::npos;
    }
    bool value() {
        if (i >= s.size()) return false;
        if (s[i] == '"') return string();
        if (lit("{")) return list('}', [&] { return string() && lit(":") && value(); });
        if (lit("[")) return list(']', [&] { return value(); });
        if (lit("true") || lit("false") || lit("null")) return true;
        lit("-");
        if (!lit("0") && !digits()) return false;
        if (lit(".") && !digits()) return false;
        if (lit("e") || lit("E")) return (lit("+") || lit("-") || true) && digits();
        return true;
    }
    template <class Item>
    bool list(char close, Item item) {
        if (lit(std::string(1, close).c_str())) return true;
        do {
            lit("\n");
            if (!item()) return false;
        } while (lit(","));
        return lit(std::string(1, close).c_str());
    }
    bool document() { return value() && lit("\n") && i == s.size(); }
};

bool validJson(const std::string& s) { return JsonChecker{s}.document(); }

// Text built to break a terminal or a reader: escape sequences, C1 CSI, DEL, NUL and every kind
// of ill-formed UTF-8.
const std::vector<std::string> kHostile = {
    "\x1b[2J\x1b[31mX", "\xc2\x9b" "31m", "\x7f", std::string("a\0b", 3), "tab\there\r\nnext",
    "\xc0\xaf", "\xe0\x80\xaf", "\xed\xa0\x80", "\xf4\x90\x80\x80", "\xf8\x88\x80\x80\x80",
    "\x80", "\xe2\x82", "\xe2\x82" "A", "\xff\xfe", "\xf0\x9f\x98",
};

}  // namespace

TEST(DkOutputFormats, NamesAreExact) {
    Format f = Format::table;
    EXPECT_TRUE(dkcli::parseFormat("jsonl", f));
    EXPECT_EQ(Format::jsonl, f);
    for (const char* bad : {"", "CSV", "tables", "json "}) EXPECT_FALSE(dkcli::parseFormat(bad, f)) << bad;
}

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
    EXPECT_EQ("\"\",\r\n", render(noHeader, {"a", "b"}, {{text(""), kNull}}));
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
    EXPECT_NE(std::string::npos, json.find("\"i\":\"+7\",\"r\":null,\"d\":0.5"));
    EXPECT_NE(std::string::npos, json.find("\"r\":1,"));
    EXPECT_NE(std::string::npos, json.find("\"t\":\"\\u001b[2J\\u001b[31mX\""));
    EXPECT_NE(std::string::npos, json.find("\"t\":\"\\u009b31m\""));
    EXPECT_NE(std::string::npos, json.find("\"t\":\"a\\u0000b\""));
    // One U+FFFD per ill-formed sequence, the byte after it kept.
    EXPECT_NE(std::string::npos, json.find("\"t\":\"\xef\xbf\xbd" "A\""));
    EXPECT_NE(std::string::npos, json.find("\"t\":\"\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd\""));   // ED A0 80

    EXPECT_EQ("[]\n", render(in(Format::json), columns, {}));
    const std::string lines = render(in(Format::jsonl), columns, rows);
    std::size_t count = 0;
    for (std::size_t at = 0; at < lines.size(); ++count) {
        const std::size_t end = lines.find('\n', at) + 1;
        EXPECT_TRUE(validJson(lines.substr(at, end - at))) << lines.substr(at, end - at);
        at = end;
    }
    EXPECT_EQ(rows.size(), count);
}

TEST(DkOutputTerminal, HostileTextNeverComesOutRaw) {
    Rows rows;
    for (const std::string& t : kHostile) rows.push_back({text(t), number(Cell::kInteger, "1")});
    for (const bool terminal : {false, true}) {
        for (const Format f : {Format::table, Format::line}) {
            OutputOptions o = in(f);
            o.terminal = terminal;
            const std::string out = render(o, {"name\x1b", "n"}, rows);
            EXPECT_TRUE(terminalClean(out)) << out;
            EXPECT_NE(std::string::npos, out.find("\\x1b[2J\\x1b[31mX"));
            EXPECT_NE(std::string::npos, out.find("\\xc2\\x9b31m"));
            EXPECT_NE(std::string::npos, out.find("\\xed\\xa0\\x80"));
            EXPECT_NE(std::string::npos, out.find("\\xe2\\x82A"));
        }
    }
    for (const Format f : {Format::csv, Format::tsv}) {
        OutputOptions o = in(f);
        o.terminal = true;
        EXPECT_TRUE(terminalClean(render(o, {"name"}, rows), "\t\r\n"));
    }
    EXPECT_EQ("\\x1b]0;x\\x07", dkcli::terminalSafe("\x1b]0;x\x07"));
}

TEST(DkOutputTable, WidthsCountTerminalColumns) {
    EXPECT_EQ(4u, dkcli::displayWidth("\xe6\x97\xa5\xe6\x9c\xac"));   // 日本
    EXPECT_EQ(1u, dkcli::displayWidth("e\xcc\x81"));                  // e + combining acute
    EXPECT_EQ(0u, dkcli::displayWidth("\xe2\x80\x8b"));               // zero-width space
    EXPECT_EQ(2u, dkcli::displayWidth("\xf0\x9f\x98\x80"));           // an emoji
    EXPECT_EQ(2u, dkcli::displayWidth("\xef\xbd\x86"));               // fullwidth f
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

TEST(DkOutputTable, WindowSetsWidthsAndOnlyATerminalCuts) {
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
    o = in(Format::table);
    o.terminal = true;
    const std::string longText(100, 'x');
    const std::string capped = render(o, {"v"}, {{text(longText)}});
    EXPECT_NE(std::string::npos, capped.find('\n' + std::string(45, 'x') + "...\n"));
    o.terminalWidth = 60;
    const std::string fitted = render(o, {"a", "b", "c"}, {{text(std::string(40, 'a')), text("short"), text(longText)}});
    for (std::size_t at = 0; at < fitted.size();) {
        const std::size_t end = fitted.find('\n', at);
        EXPECT_LE(end - at, 60u) << fitted;
        at = end + 1;
    }
    EXPECT_NE(std::string::npos, fitted.find("| short |"));
}

TEST(DkOutputWrites, ReaderGoneAndBadDescriptor) {
    int fds[2];
    ASSERT_EQ(0, ::pipe(fds));
    ::close(fds[0]);
    const auto previous = std::signal(SIGPIPE, SIG_IGN);
    RowWriter writer(fds[1], in(Format::csv));
    writer.begin({"a"});
    writer.row({text("x")});
    EXPECT_THROW(writer.end(), dkcli::OutputClosed);
    std::signal(SIGPIPE, previous);
    ::close(fds[1]);

    const int readOnly = ::open("/dev/null", O_RDONLY);
    RowWriter bad(readOnly, in(Format::jsonl));
    bad.begin({"a"});
    bad.row({text("x")});
    EXPECT_THROW(bad.end(), std::system_error);
    ::close(readOnly);
}

TEST(DkOutputWrites, MemoryStaysBoundedAndLaterRowsStream) {
    const auto inUse = [] {
        const struct mallinfo2 m = mallinfo2();
        return m.uordblks + m.hblkhd;
    };
    const std::vector<Cell> row = {text(std::string(200, 'r')), number(Cell::kInteger, "123456")};
    for (const Format f : {Format::table, Format::csv, Format::json, Format::line}) {
        dktest::TempDir dir;
        const std::string file = (dir / "out").string();
        const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        OutputOptions o = in(f);
        o.window = 100;
        RowWriter writer(fd, o);
        writer.begin({"text", "n"});
        const std::size_t before = inUse();
        for (int r = 0; r < 100000; ++r) writer.row(row);
        // Held rows would take 25 MB here; the writer keeps its window and one buffer.
        EXPECT_LT(inUse(), before + (2u << 20)) << static_cast<int>(f);
        struct stat st {};
        ::fstat(fd, &st);
        EXPECT_GT(st.st_size, 10'000'000) << static_cast<int>(f);
        writer.end();
        ::close(fd);
    }
}
