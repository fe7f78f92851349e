// fuzz/PConfigMgmtFile_fuzz.cpp
//
// Arbitrary bytes as a log configuration file: read whole, then rewritten twice, once with a key
// the input does not hold (appended) and once with DKLogPriority (changed where it stands). No
// input may crash or hang the editor, and no line the change does not concern may be lost or
// altered: the output is cut into lines the way the editor reads (255 characters or up to a line
// end) and compared with the input line by line.

#include "dkFuzzSupport.hpp"

#include <dk/DKException.hpp>
#include <dk/PTraceLogMgmtAPI.hpp>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::string g_file;
std::filesystem::path g_shm;   // removed at exit

void writeAll(const std::string& bytes) {
    std::ofstream out(g_file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string readAll() {
    std::ifstream in(g_file, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// The editor's lines: at most 255 characters, a line end included.
std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::string cur;
    for (char c : text) {
        cur += c;
        if (c == '\n' || cur.size() == 255) {
            lines.push_back(cur);
            cur.clear();
        }
    }
    if (!cur.empty()) lines.push_back(cur);
    return lines;
}

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

std::string strip(const std::string& s) {
    std::size_t b = 0, e = s.size();
    while (b < e && isSpace(s[b])) ++b;
    while (e > b && isSpace(s[e - 1])) --e;
    return s.substr(b, e - b);
}

// Whether a line is a property line of the key, by the log configuration's rules.
bool isPropertyOf(std::string line, const std::string& key) {
    if (!line.empty() && line.back() == '\n') line.pop_back();
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.size() <= 2 || strip(line).rfind('#', 0) == 0) return false;
    std::size_t eq = line.find('=');
    return eq != std::string::npos && strip(line.substr(0, eq)) == key;
}

bool isLineEnd(const std::string& s) { return s == "\n" || s == "\r\n"; }

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    namespace fs = std::filesystem;
    dkFuzzInit();
    // Every rewrite syncs its file to the disk; in memory (/dev/shm) that costs nothing.
    fs::path dir = fs::current_path();
    std::error_code ec;
    if (fs::is_directory("/dev/shm", ec)) {
        fs::path shm = fs::path("/dev/shm") / dir.filename();
        if (fs::create_directories(shm, ec) || fs::is_directory(shm, ec)) {
            dir = g_shm = shm;
            std::atexit([] {
                std::error_code e;
                std::filesystem::remove_all(g_shm, e);
            });
        }
    }
    g_file = (dir / "fuzzed.properties").string();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    writeAll(input);
    PTraceLogMgmtAPI api;
    api.initialize(DKString(g_file));
    try {
        api.getAllLogProperties();
    } catch (const DKException&) {
        __builtin_trap();   // a regular file is always readable
    }

    // A key the input lacks is appended after the input, which stays as it was.
    const std::string fresh = "Fuzz.Appended.Key";
    if (input.find(fresh) == std::string::npos) {
        api.setLogProperty(DKString(fresh), "v");
        const std::string out = readAll();
        if (out.compare(0, input.size(), input) != 0) __builtin_trap();
        std::string rest = out.substr(input.size());
        const bool ended = input.empty() || input.back() == '\n';
        if (!ended) {
            const std::size_t end = rest.rfind(fresh);
            if (end == std::string::npos || !isLineEnd(rest.substr(0, end))) __builtin_trap();
            rest = rest.substr(end);
        }
        if (rest != fresh + " = v\n" && rest != fresh + " = v\r\n") __builtin_trap();
        if (api.getLogProperty(DKString(fresh)) != "v") __builtin_trap();
        writeAll(input);
    }

    // A key the input may hold: each of its property lines is replaced in place, every other line
    // is copied unchanged, and the value reads back.
    const std::string key = "DKLogPriority";
    api.setLogProperty(DKString(key), "TRACE_FULL");
    const std::string out = readAll();
    const std::vector<std::string> before = linesOf(input), after = linesOf(out);
    bool matched = false;
    for (const std::string& line : before) matched = matched || isPropertyOf(line, key);
    if (!matched) {
        // Appended as above, after the untouched input.
        if (out.compare(0, input.size(), input) != 0) __builtin_trap();
        std::string rest = out.substr(input.size());
        if (!input.empty() && input.back() != '\n') {
            if (rest.compare(0, 2, "\r\n") == 0) rest.erase(0, 2);
            else if (rest.compare(0, 1, "\n") == 0) rest.erase(0, 1);
            else __builtin_trap();
        }
        if (rest != key + " = TRACE\n" && rest != key + " = TRACE\r\n") __builtin_trap();
    } else {
        // Replaced lines always end, so the lines of both files stay aligned one to one.
        if (before.size() != after.size()) __builtin_trap();
        for (std::size_t j = 0; j < before.size(); ++j) {
            if (!isPropertyOf(before[j], key)) {
                if (after[j] != before[j]) __builtin_trap();
            } else if (after[j] != key + " = TRACE\n" && after[j] != key + " = TRACE\r\n") {
                __builtin_trap();
            }
        }
    }
    if (api.getLogProperty(DKString(key)) != "TRACE_FULL") __builtin_trap();
    return 0;
}
