// tools/dk/dkTable.hpp
#pragma once

// A plain-text table for query results: a header, a rule, one line per row, columns padded to
// their widest cell (numbers to the right), long cells cut with "...".

#include <ostream>
#include <string>
#include <vector>

namespace dkcli {

class TablePrinter {
public:
    // maxCellWidth bounds every column; cells longer than that are cut.
    explicit TablePrinter(std::vector<std::string> headers, std::size_t maxCellWidth = 48);

    // A row with as many cells as there are headers (fewer are filled with empty cells, more
    // are dropped). Line ends and tabs in a cell are shown as blanks so each row is one line.
    void addRow(std::vector<std::string> cells);
    // Numbers in the column are aligned to the right.
    void setRightAligned(std::size_t column, bool right);

    std::size_t rowCount() const { return rows_.size(); }
    // Writes the table and a last line "(N rows)".
    void print(std::ostream& out) const;

private:
    std::vector<std::string> headers_;
    std::vector<std::vector<std::string>> rows_;
    std::vector<bool> right_;
    std::size_t maxCellWidth_;
};

}  // namespace dkcli
