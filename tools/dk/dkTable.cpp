// tools/dk/dkTable.cpp
//
// The table `dk query` prints. Widths count bytes, except that the continuation bytes of UTF-8
// characters are not counted, so file names with accents keep the columns straight.

#include "dkTable.hpp"

#include <algorithm>

namespace dkcli {

namespace {

std::size_t displayWidth(const std::string& s) {
    return static_cast<std::size_t>(
        std::count_if(s.begin(), s.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

// Cuts s to at most width characters, ending in "..." when something was cut; never splits a
// UTF-8 character.
std::string fit(const std::string& s, std::size_t width) {
    if (displayWidth(s) <= width) return s;
    const std::size_t keep = width > 3 ? width - 3 : 0;
    std::size_t chars = 0, i = 0;
    for (; i < s.size(); ++i) {
        if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80) {
            if (chars == keep) break;
            ++chars;
        }
    }
    return s.substr(0, i) + std::string("...").substr(0, width - keep);
}

std::string oneLine(std::string s) {
    std::replace_if(s.begin(), s.end(), [](char c) { return c == '\n' || c == '\r' || c == '\t'; }, ' ');
    return s;
}

}  // namespace

TablePrinter::TablePrinter(std::vector<std::string> headers, std::size_t maxCellWidth)
    : headers_(std::move(headers)), right_(headers_.size(), false), maxCellWidth_(std::max<std::size_t>(maxCellWidth, 4)) {}

void TablePrinter::addRow(std::vector<std::string> cells) {
    cells.resize(headers_.size());
    for (std::string& c : cells) c = fit(oneLine(std::move(c)), maxCellWidth_);
    rows_.push_back(std::move(cells));
}

void TablePrinter::setRightAligned(std::size_t column, bool right) {
    if (column < right_.size()) right_[column] = right;
}

void TablePrinter::print(std::ostream& out) const {
    std::vector<std::size_t> width(headers_.size());
    std::vector<std::string> header(headers_.size());
    for (std::size_t c = 0; c < headers_.size(); ++c) {
        header[c] = fit(oneLine(headers_[c]), maxCellWidth_);
        width[c] = displayWidth(header[c]);
        for (const auto& row : rows_) width[c] = std::max(width[c], displayWidth(row[c]));
    }
    auto line = [&](const std::vector<std::string>& cells, bool isHeader) {
        std::string text;
        for (std::size_t c = 0; c < cells.size(); ++c) {
            const std::string pad(width[c] - displayWidth(cells[c]), ' ');
            if (c > 0) text += " | ";
            text += (right_[c] && !isHeader) ? pad + cells[c] : cells[c] + pad;
        }
        // Trailing blanks of the last column help nobody.
        text.erase(text.find_last_not_of(' ') + 1);
        out << text << '\n';
    };
    line(header, true);
    std::string rule;
    for (std::size_t c = 0; c < width.size(); ++c) rule += (c > 0 ? "-+-" : "") + std::string(width[c], '-');
    out << rule << '\n';
    for (const auto& row : rows_) line(row, false);
    out << "(" << rows_.size() << (rows_.size() == 1 ? " row)" : " rows)") << '\n';
}

}  // namespace dkcli
