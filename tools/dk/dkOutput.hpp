// tools/dk/dkOutput.hpp
#pragma once

// How `dk` writes a result: the formats a user can ask for, the value of one cell, and the
// writer that streams rows in one format to a file descriptor. The text helpers of dkText.hpp
// (terminalSafe, displayWidth, base64) come with this header.

#include "dkText.hpp"

#include <cstddef>
#include <exception>
#include <string>
#include <string_view>
#include <vector>

namespace dkcli {

enum class Format { table, csv, tsv, json, jsonl, line };

// Sets out and returns true for "table", "csv", "tsv", "json", "jsonl" and "line" exactly.
bool parseFormat(const std::string& name, Format& out);

// One value of a result row, already in text where it has one.
struct Cell {
    enum Kind : unsigned char { kNull, kInteger, kReal, kNumber, kText, kBlob };
    Kind kind = kNull;
    std::string text;   // kInteger/kReal/kNumber: the number's text (kNumber: an exact decimal such
                        // as "1.50"); kText: the bytes as stored (any bytes, not always valid
                        // UTF-8); kBlob: the raw bytes
};

struct OutputOptions {
    Format format = Format::table;
    bool header = true;              // --no-header clears it (table, csv, tsv)
    std::string nullText;            // --null TEXT: how NULL shows in table, line and tsv; default ""
    bool wide = false;               // --wide: never cut anything
    bool terminal = false;           // the output is a terminal
    std::size_t terminalWidth = 0;   // its columns, 0 when unknown
    std::size_t window = 1000;       // rows held back to find the table's column widths (0 acts as 1)
};

// The reader of the output went away (EPIPE): the command stops quietly.
class OutputClosed : public std::exception {
public:
    const char* what() const noexcept override;
};

// Writes the rows of one result in one format to a file descriptor it does not own, through its
// own buffer (flushed when it passes 64 KiB and at end()). At most `window` rows are held, and
// only for a table, so memory stays bounded whatever the row count. Write errors throw from
// row() and end(): OutputClosed for EPIPE, std::system_error otherwise; nothing is written on
// destruction. One thread.
class RowWriter {
public:
    RowWriter(int fd, OutputOptions options);
    RowWriter(const RowWriter&) = delete;
    RowWriter& operator=(const RowWriter&) = delete;

    void begin(std::vector<std::string> columns);
    // One cell per column; missing cells count as NULL, extra ones are ignored.
    void row(const std::vector<Cell>& cells);
    // Writes what is held, the footer, and flushes.
    void end();
    std::size_t rows() const { return rows_; }

private:
    void startTable();
    void tableRow(const std::vector<Cell>& cells);
    void tableLine(const std::vector<std::string_view>& texts, bool alignNumbers);
    void lineRow(const std::vector<Cell>& cells);
    void delimitedRecord(const std::vector<Cell>* cells);
    void jsonObject(const std::vector<Cell>& cells);
    std::string_view shown(const Cell& cell, std::string& blobText) const;
    void flush();

    int fd_;
    OutputOptions options_;
    bool cut_;   // terminal and not wide
    std::vector<std::string> columns_;
    std::vector<std::string> keys_;   // per column: json's ",\"name\":", line's padded "name = "
    std::string buffer_;
    std::size_t rows_ = 0;

    // table: the rows held until the widths are known, then the widths and alignment
    std::vector<std::vector<Cell>> held_;
    bool started_ = false;
    std::vector<std::size_t> widths_;
    std::vector<bool> numeric_;
    std::vector<std::string_view> texts_;  // the row being written, as shown before escaping
    std::vector<std::string> blobTexts_;   // the shown form of its blob cells
    std::string cell_;                     // one cell as shown, before its padding
};

}  // namespace dkcli
