// tools/dk/dkText.hpp
#pragma once

// Text as `dk` shows it: values from a repository may hold any bytes, so everything that reaches
// a terminal goes through one escaper, and column widths count what the terminal draws. The
// append functions add to a caller's buffer, so a writer that reuses one buffer allocates nothing
// per value. Nothing here depends on the process locale.

#include <cstddef>
#include <string>
#include <string_view>

namespace dkcli {

// The text with every C0 control (tab and line ends included), DEL, C1 control (U+0080..U+009F) and
// byte that is not part of valid UTF-8 written as \xNN, one escape per byte.
std::string terminalSafe(std::string_view text);

// The terminal columns terminalSafe(text) takes: East Asian wide and fullwidth characters 2,
// combining marks and zero-width characters 0, each escape 4, anything else 1.
std::size_t displayWidth(std::string_view text);
// displayWidth(text) when it is at most limit, else some value above limit: the count stops there,
// so a long value costs no more than its first columns.
std::size_t displayWidthUpTo(std::string_view text, std::size_t limit);

// The Base64 form of bytes (RFC 4648, with padding, no line breaks).
std::string base64(std::string_view bytes);

// Which controls appendTerminalSafe lets through: none, or the tab and line ends that a csv field
// may carry inside its quotes.
enum class Controls { escape, keepTabAndLineEnds };

void appendTerminalSafe(std::string& out, std::string_view text, Controls controls = Controls::escape);

// Appends terminalSafe(text) cut to at most `width` columns: when it is wider, the characters and
// escapes that fit before "..." and then "..." (fewer dots when width < 3), never a part of a
// character or of an escape. Returns the columns appended. width std::string::npos never cuts.
std::size_t appendFitted(std::string& out, std::string_view text, std::size_t width);

void appendBase64(std::string& out, std::string_view bytes);

// Appends two lower-case hexadecimal digits per byte.
void appendHex(std::string& out, std::string_view bytes);

// Appends text as a JSON string with its quotes: '"', '\' and every control, DEL and C1 control
// escaped (short forms where JSON has them), each ill-formed sequence replaced by U+FFFD.
void appendJsonString(std::string& out, std::string_view text);

}  // namespace dkcli
