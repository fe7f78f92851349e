// tools/dk/dkOutput.cpp
//
// The formats of `dk query` and the writer that streams them. Every format appends into one
// buffer that goes out with write(2) in blocks of about 64 KiB; csv, tsv and json copy clean
// runs of a value in one append, so a large export costs little more than its bytes. The table
// holds its first rows to learn the column widths and streams the rest.

#include "dkOutput.hpp"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <system_error>

#include <poll.h>
#include <unistd.h>

namespace dkcli {

namespace {

constexpr std::size_t kFlushAt = 64 * 1024;
constexpr std::size_t kMaxColumn = 48;   // the widest a column gets on a terminal unless --wide
constexpr std::size_t kMinColumn = 4;    // fitting a line to the terminal stops here: "a..."
constexpr std::size_t kBlobShown = 16;   // bytes of a blob the table shows unless --wide

const Cell kNullCell;

const Cell& cellAt(const std::vector<Cell>& cells, std::size_t column) {
    return column < cells.size() ? cells[column] : kNullCell;
}

bool isNumber(Cell::Kind kind) {
    return kind == Cell::kInteger || kind == Cell::kReal || kind == Cell::kNumber;
}

void writeAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n >= 0) {
            data += n;
            size -= static_cast<std::size_t>(n);
        } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
            // A descriptor left non-blocking by someone else: wait until it takes more.
            pollfd ready{fd, POLLOUT, 0};
            ::poll(&ready, 1, -1);
        } else if (errno == EPIPE) {
            throw OutputClosed();
        } else if (errno != EINTR) {
            throw std::system_error(errno, std::generic_category(), "cannot write the result");
        }
    }
}

// Terminal output gets every control escaped, whatever the format; files and pipes get the
// bytes as stored.
void appendText(std::string& out, std::string_view text, bool terminal, Controls controls) {
    if (terminal)
        appendTerminalSafe(out, text, controls);
    else
        out.append(text);
}

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

// A csv field is quoted when a reader would otherwise split it, or trim or lose it.
bool needsQuotes(std::string_view v) {
    if (v.empty() || isBlank(v.front()) || isBlank(v.back())) return true;
    for (const char c : v)
        if (c == ',' || c == '"' || c == '\n' || c == '\r') return true;
    return false;
}

void appendCsvField(std::string& out, std::string_view v, bool terminal) {
    if (!needsQuotes(v)) {
        appendText(out, v, terminal, Controls::keepTabAndLineEnds);
        return;
    }
    out += '"';
    std::size_t from = 0;
    for (std::size_t quote; (quote = v.find('"', from)) != std::string_view::npos; from = quote + 1) {
        appendText(out, v.substr(from, quote + 1 - from), terminal, Controls::keepTabAndLineEnds);
        out += '"';
    }
    appendText(out, v.substr(from), terminal, Controls::keepTabAndLineEnds);
    out += '"';
}

void appendTsvField(std::string& out, std::string_view v, bool terminal) {
    std::size_t run = 0;
    for (std::size_t i = 0; i < v.size(); ++i) {
        const char c = v[i];
        const char* escape = c == '\t' ? "\\t" : c == '\n' ? "\\n" : c == '\r' ? "\\r" : c == '\\' ? "\\\\" : nullptr;
        if (!escape) continue;
        appendText(out, v.substr(run, i - run), terminal, Controls::escape);
        out.append(escape, 2);
        run = i + 1;
    }
    appendText(out, v.substr(run), terminal, Controls::escape);
}

// -?(0|[1-9][0-9]*)(\.[0-9]+)?([eE][+-]?[0-9]+)?
bool isJsonNumber(std::string_view t) {
    std::size_t i = 0;
    const auto digits = [&] {
        const std::size_t from = i;
        while (i < t.size() && t[i] >= '0' && t[i] <= '9') ++i;
        return i > from;
    };
    const auto accept = [&](char a, char b) {
        const bool found = i < t.size() && (t[i] == a || t[i] == b);
        i += found ? 1 : 0;
        return found;
    };
    accept('-', '-');
    if (!accept('0', '0') && !digits()) return false;
    if (accept('.', '.') && !digits()) return false;
    if (accept('e', 'E')) {
        accept('+', '-');
        if (!digits()) return false;
    }
    return i == t.size();
}

// Integers and exact decimals keep their text when JSON can read it; reals are written as the
// shortest text that reads back as the same double. A text no JSON number can carry stays a string.
void appendJsonNumber(std::string& out, const Cell& cell) {
    const std::string& t = cell.text;
    if (cell.kind != Cell::kReal && isJsonNumber(t)) {
        out += t;
        return;
    }
    double value = 0;
    const auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), value);
    if (end != t.data() + t.size() || (ec != std::errc() && !isJsonNumber(t))) {
        appendJsonString(out, t);
    } else if (ec != std::errc()) {
        out += t;   // beyond a double's range, yet a valid JSON number
    } else if (!std::isfinite(value)) {
        out += "null";
    } else {
        char digits[32];
        out.append(digits, std::to_chars(digits, digits + sizeof digits, value).ptr);
    }
}

void appendJsonValue(std::string& out, const Cell& cell) {
    switch (cell.kind) {
    case Cell::kNull: out += "null"; break;
    case Cell::kInteger:
    case Cell::kReal:
    case Cell::kNumber: appendJsonNumber(out, cell); break;
    case Cell::kText: appendJsonString(out, cell.text); break;
    case Cell::kBlob:
        out += '"';
        appendBase64(out, cell.text);
        out += '"';
        break;
    }
}

}  // namespace

bool parseFormat(const std::string& name, Format& out) {
    static const std::pair<const char*, Format> kNames[] = {
        {"table", Format::table}, {"csv", Format::csv},     {"tsv", Format::tsv},
        {"json", Format::json},   {"jsonl", Format::jsonl}, {"line", Format::line},
    };
    for (const auto& [text, format] : kNames) {
        if (name == text) {
            out = format;
            return true;
        }
    }
    return false;
}

const char* OutputClosed::what() const noexcept {
    return "the reader of the output went away";
}

RowWriter::RowWriter(int fd, OutputOptions options)
    : fd_(fd), options_(std::move(options)), cut_(options_.terminal && !options_.wide) {
    options_.window = std::max<std::size_t>(options_.window, 1);
    buffer_.reserve(kFlushAt + kFlushAt / 4);
}

void RowWriter::begin(std::vector<std::string> columns) {
    columns_ = std::move(columns);
    keys_.clear();
    std::size_t nameWidth = 0;
    for (const std::string& name : columns_) nameWidth = std::max(nameWidth, displayWidth(name));
    for (std::size_t c = 0; c < columns_.size(); ++c) {
        std::string key;
        if (options_.format == Format::json || options_.format == Format::jsonl) {
            if (c > 0) key += ',';
            appendJsonString(key, columns_[c]);
            key += ':';
        } else if (options_.format == Format::line) {
            key.append(nameWidth - displayWidth(columns_[c]), ' ');
            appendTerminalSafe(key, columns_[c]);
            key += " = ";
        }
        keys_.push_back(std::move(key));
    }
    if ((options_.format == Format::csv || options_.format == Format::tsv) && options_.header) delimitedRecord(nullptr);
}

void RowWriter::row(const std::vector<Cell>& cells) {
    switch (options_.format) {
    case Format::table: tableRow(cells); break;
    case Format::csv:
    case Format::tsv: delimitedRecord(&cells); break;
    case Format::json:
    case Format::jsonl: jsonObject(cells); break;
    case Format::line: lineRow(cells); break;
    }
    ++rows_;
    if (buffer_.size() >= kFlushAt) flush();
}

void RowWriter::end() {
    if (options_.format == Format::table) {
        if (!started_) startTable();
        buffer_ += '(';
        buffer_ += std::to_string(rows_);
        buffer_ += rows_ == 1 ? " row)\n" : " rows)\n";
    } else if (options_.format == Format::json) {
        buffer_ += rows_ > 0 ? "]\n" : "[]\n";
    }
    flush();
}

// NULL as --null gives it, a blob as a literal of its first bytes, anything else as stored; the
// caller escapes what it gets.
std::string_view RowWriter::shown(const Cell& cell, std::string& blobText) const {
    if (cell.kind == Cell::kNull) return options_.nullText;
    if (cell.kind != Cell::kBlob) return cell.text;
    const std::size_t shownBytes = options_.wide ? cell.text.size() : std::min(cell.text.size(), kBlobShown);
    blobText.assign("x'");
    appendHex(blobText, std::string_view(cell.text).substr(0, shownBytes));
    blobText += '\'';
    if (shownBytes < cell.text.size()) blobText += "...";
    return blobText;
}

void RowWriter::tableRow(const std::vector<Cell>& cells) {
    if (!started_) {
        held_.emplace_back(cells);
        held_.back().resize(columns_.size());
        if (held_.size() >= options_.window) startTable();
        return;
    }
    texts_.resize(columns_.size());
    blobTexts_.resize(columns_.size());
    for (std::size_t c = 0; c < columns_.size(); ++c) texts_[c] = shown(cellAt(cells, c), blobTexts_[c]);
    tableLine(texts_, true);
}

// Learns the widths and alignment from the header and the held rows, then writes them all.
void RowWriter::startTable() {
    started_ = true;
    const std::size_t n = columns_.size();
    const std::size_t cap = cut_ ? kMaxColumn : std::string::npos;
    widths_.assign(n, 0);
    numeric_.assign(n, true);
    std::string blobText;
    const auto widen = [&](std::size_t c, std::string_view text) {
        widths_[c] = std::max(widths_[c], std::min(displayWidthUpTo(text, cap), cap));
    };
    for (std::size_t c = 0; c < n; ++c) {
        if (options_.header) widen(c, columns_[c]);
        for (const std::vector<Cell>& held : held_) {
            widen(c, shown(held[c], blobText));
            if (held[c].kind != Cell::kNull && !isNumber(held[c].kind)) numeric_[c] = false;
        }
    }

    // On a terminal of known width the widest columns give way first: every column is capped at
    // the highest level that lets a line fit, or at kMinColumn when none does.
    const std::size_t room = options_.terminalWidth;
    if (cut_ && room > 0 && n > 0) {
        const auto lineWidth = [&](std::size_t level) {
            std::size_t total = 3 * (n - 1);
            for (const std::size_t w : widths_) total += std::min(w, std::max(level, kMinColumn));
            return total;
        };
        std::size_t low = kMinColumn, high = *std::max_element(widths_.begin(), widths_.end());
        if (high > low && lineWidth(high) > room) {
            while (low < high) {
                const std::size_t mid = low + (high - low + 1) / 2;
                if (lineWidth(mid) <= room)
                    low = mid;
                else
                    high = mid - 1;
            }
            for (std::size_t& w : widths_) w = std::min(w, low);
        }
    }

    if (n > 0 && options_.header) {
        tableLine(std::vector<std::string_view>(columns_.begin(), columns_.end()), false);
        for (std::size_t c = 0; c < n; ++c) {
            if (c > 0) buffer_ += "-+-";
            buffer_.append(widths_[c], '-');
        }
        buffer_ += '\n';
    }
    std::vector<std::vector<Cell>> held;
    held.swap(held_);
    for (const std::vector<Cell>& cells : held) {
        tableRow(cells);
        if (buffer_.size() >= kFlushAt) flush();
    }
}

void RowWriter::tableLine(const std::vector<std::string_view>& texts, bool alignNumbers) {
    if (texts.empty()) return;
    const std::size_t lineStart = buffer_.size();
    for (std::size_t c = 0; c < texts.size(); ++c) {
        if (c > 0) buffer_ += " | ";
        cell_.clear();
        const std::size_t width = appendFitted(cell_, texts[c], cut_ ? widths_[c] : std::string::npos);
        const std::size_t pad = widths_[c] > width ? widths_[c] - width : 0;
        if (alignNumbers && numeric_[c]) buffer_.append(pad, ' ');
        buffer_ += cell_;
        if (!(alignNumbers && numeric_[c])) buffer_.append(pad, ' ');
    }
    // Trailing blanks of the last column help nobody.
    const std::size_t last = buffer_.find_last_not_of(' ');
    buffer_.resize(last == std::string::npos || last < lineStart ? lineStart : last + 1);
    buffer_ += '\n';
}

void RowWriter::lineRow(const std::vector<Cell>& cells) {
    if (columns_.empty()) return;
    if (rows_ > 0) buffer_ += '\n';
    std::string blobText;
    for (std::size_t c = 0; c < columns_.size(); ++c) {
        buffer_ += keys_[c];
        appendTerminalSafe(buffer_, shown(cellAt(cells, c), blobText));
        buffer_ += '\n';
    }
}

// One csv or tsv record: the header when cells is null.
void RowWriter::delimitedRecord(const std::vector<Cell>* cells) {
    const bool csv = options_.format == Format::csv;
    const bool terminal = options_.terminal;
    for (std::size_t c = 0; c < columns_.size(); ++c) {
        if (c > 0) buffer_ += csv ? ',' : '\t';
        const Cell::Kind kind = cells ? cellAt(*cells, c).kind : Cell::kText;
        const std::string& text = cells ? cellAt(*cells, c).text : columns_[c];
        if (kind == Cell::kBlob)
            appendBase64(buffer_, text);
        else if (kind == Cell::kNull && !csv)
            appendText(buffer_, options_.nullText, terminal, Controls::escape);
        else if (kind == Cell::kNull)
            continue;   // an empty field without quotes; the empty string is ""
        else if (csv)
            appendCsvField(buffer_, text, terminal);
        else
            appendTsvField(buffer_, text, terminal);
    }
    buffer_ += csv ? "\r\n" : "\n";
}

void RowWriter::jsonObject(const std::vector<Cell>& cells) {
    if (options_.format == Format::json) buffer_ += rows_ == 0 ? "[" : ",\n";
    buffer_ += '{';
    for (std::size_t c = 0; c < columns_.size(); ++c) {
        buffer_ += keys_[c];
        appendJsonValue(buffer_, cellAt(cells, c));
    }
    buffer_ += '}';
    if (options_.format == Format::jsonl) buffer_ += '\n';
}

void RowWriter::flush() {
    // Whatever happens, what was handed to write(2) is not tried again.
    struct Clear {
        std::string& buffer;
        ~Clear() { buffer.clear(); }
    } clear{buffer_};
    writeAll(fd_, buffer_.data(), buffer_.size());
}

}  // namespace dkcli
