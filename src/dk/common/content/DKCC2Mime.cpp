// src/dk/common/content/DKCC2Mime.cpp
//
// Content classes to MIME types, read from a small mapping file. Both files it reads are edited
// by hand, so a line too long for its limit is skipped whole rather than cut in two or read in
// part, and CR LF line ends are taken like LF.

#include <dk/DKCC2Mime.hpp>

#include <dk/DKException.hpp>
#include <dk/PParseString.hpp>
#include <dk/dkThrow.hpp>

#include <cstdio>
#include <cstdlib>
#include <functional>

namespace {

constexpr const char* kSource = "dk/common/DKCC2Mime";
constexpr const char* kMappingFile = "vtxcc2mime.ini";

// Calls fn for every line of at most limit characters (its line end and a CR before it taken
// off); longer lines are read to their end and dropped.
bool forEachLine(const std::string& path, std::size_t limit, const std::function<void(const std::string&)>& fn) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) return false;
    std::string line;
    bool tooLong = false;
    for (;;) {
        const int c = std::getc(f);
        if (c != EOF && c != '\n') {
            if (line.size() <= limit) line += static_cast<char>(c);   // one past the limit: a CR may follow
            else tooLong = true;
            continue;
        }
        if (c == EOF && line.empty() && !tooLong) break;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!tooLong && line.size() <= limit) fn(line);
        line.clear();
        tooLong = false;
        if (c == EOF) break;
    }
    std::fclose(f);
    return true;
}

std::string trim(const std::string& s) {
    std::size_t b = 0, e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t')) --e;
    return s.substr(b, e - b);
}

}  // namespace

DKCC2Mime::DKCC2Mime() : strVTFile_(kMappingFile), useEnvironment_(true), trace_("DKCC2Mime") {}

DKCC2Mime::DKCC2Mime(const char* fileName)
    : strVTFile_(fileName != nullptr ? fileName : kMappingFile), useEnvironment_(false), trace_("DKCC2Mime") {}

DKCC2Mime::~DKCC2Mime() = default;

DKString DKCC2Mime::processVTXVTENV(const char* envFile) {
    DKString found;
    bool done = false;
    forEachLine(envFile != nullptr ? envFile : "", kMaxEnvLine, [&](const std::string& line) {
        if (done || line.empty()) return;
        try {
            PParseSeparatedString pieces(line.c_str(), ';', 1);
            const unsigned long i = pieces.tokenStringNumber("VTCFGDIR");
            if (i == 0) return;
            std::string dir = pieces.tokenString(i).value().str();
            for (std::size_t p; (p = dir.find("\\\\")) != std::string::npos;) dir.erase(p, 1);
            found = DKString(dir);
            done = true;
        } catch (const DKUsageError&) {
            // a line the scanner cannot cut (an empty piece, an open quote) names no directory
        }
    });
    return found;
}

void DKCC2Mime::load() {
    if (useEnvironment_) {
        if (const char* root = std::getenv("NVLVTROOT")) {
            configDirectory_ = processVTXVTENV((std::string(root) + "/vtgmt/vtxvtenv.properties").c_str());
            if (configDirectory_.length() > 0) strVTFile_ = configDirectory_ + "/" + kMappingFile;
        }
    }
    const bool opened = forEachLine(strVTFile_.str(), kMaxMappingLine, [&](const std::string& line) {
        if (line.empty() || line[0] == '#') return;
        const std::size_t eq = line.find('=');
        if (eq == std::string::npos) return;
        const std::string key = trim(line.substr(0, eq));
        if (!key.empty()) table_.emplace(key, trim(line.substr(eq + 1)));   // the first line wins
    });
    if (!opened) dkThrow<DKUsageError>(303, kSource, "DKCC2Mime::getProperty", DKString(" [") + strVTFile_ + "]");
    loaded_ = true;
}

DKString DKCC2Mime::getProperty(const char* contentClass) {
    trace_.entry("DKCC2Mime::getProperty", this);
    if (!loaded_) load();
    DKString type;
    const auto it = table_.find(contentClass != nullptr ? contentClass : "");
    if (it != table_.end()) type = DKString(it->second);
    trace_.exit("DKCC2Mime::getProperty", this);
    return type;
}
