// src/dk/logtool/pConfigMgmt.cpp
//
// The editor of "key = value" files behind the log configuration interface. Reading cuts the
// file into lines the way a fixed 256-character buffer does, so a long line is seen as several;
// writing never touches the file in place: the new version is written to a temporary file made
// exclusively beside it, the old version is kept as <path>.bak (a second link to it, so the path
// itself never disappears) and the new one is renamed over the path. Lines that are not changed
// are copied byte for byte, line ends and all.

#include <dk/DKAny.hpp>
#include <dk/DKDate.hpp>
#include <dk/DKException.hpp>
#include <dk/DKLogMessageInserts.hpp>
#include <dk/DKNVPair.hpp>
#include <dk/dkThrow.hpp>
#include <dk/pConfigMgmt.hpp>

#include "platform/os/PFileOps.hpp"
#include "platform/os/PSystem.hpp"

#include <cerrno>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>

namespace {

constexpr const char* kSource = "dk/logtool/pConfigMgmt";

// How many other names the temporary file may take when its first name is already in use.
constexpr int kTempAttempts = 100;

DKString stripped(const DKString& s) {
    DKString copy(s);
    copy.strip();
    return copy;
}

// The line end a raw line carries: "\r\n", "\n" or none (last line, or a piece of a long line).
std::string lineEndOf(const std::string& raw) {
    if (raw.empty() || raw.back() != '\n') return std::string();
    if (raw.size() >= 2 && raw[raw.size() - 2] == '\r') return "\r\n";
    return "\n";
}

bool hasLineBreak(const DKString& s) {
    const char* p = s.c_str();
    for (unsigned long i = 0; i < s.length(); ++i)
        if (p[i] == '\n' || p[i] == '\r' || p[i] == '\0') return true;
    return false;
}

DKString systemDetail(const std::string& path, int err) {
    return DKString(path) + " (system error RC = " + DKString(err) + ")";
}

// The text of a pair's value: a string as it is, a null as empty, a whole number in decimal.
// Anything else is not a text (DKAny's conversion throws 418).
DKString textOf(const DKAny& value) {
    switch (value.typeCode()) {
    case DKAny::tc_null:
        return DKString();
    case DKAny::tc_ushort:
    case DKAny::tc_short:
    case DKAny::tc_ulong:
    case DKAny::tc_long:
        return value.toString();
    default:
        return static_cast<DKString>(value);
    }
}

// Closes what an operation opened, whichever way it leaves.
class FileScope {
public:
    explicit FileScope(std::function<void()> close) : close_(std::move(close)) {}
    ~FileScope() { close_(); }
    FileScope(const FileScope&) = delete;
    FileScope& operator=(const FileScope&) = delete;

private:
    std::function<void()> close_;
};

}  // namespace

pConfigMgmt::~pConfigMgmt() {}

// ---------------------------------------------------------------------------------------------
// Set-up

PConfigMgmtFile::PConfigMgmtFile() : delim("="), fileRead(nullptr), fileWritten(nullptr) {}

PConfigMgmtFile::~PConfigMgmtFile() { closeFiles(); }

void PConfigMgmtFile::initialize(const DKString& newPath, const DKString& delimiter) {
    initialize(newPath);
    // An empty delimiter would make every line a key without a value; keep the default then.
    delim = delimiter.length() != 0 ? delimiter : DKString("=");
}

void PConfigMgmtFile::initialize(const DKString& newPath) {
    if (newPath.length() == 0) dkThrow<DKException>(486, kSource, "PConfigMgmtFile::initialize");
    path = newPath;
}

DKString PConfigMgmtFile::delimiter() const { return delim; }

int PConfigMgmtFile::isLogPropertySupported(const DKString&) const { return 1; }

// ---------------------------------------------------------------------------------------------
// The steps of one line

int PConfigMgmtFile::isLineValid(DKString& line) const { return line.length() > 2 ? 1 : 0; }

void PConfigMgmtFile::getKeyAndValue(const DKString& line, DKString& key, DKString& value) const {
    const std::string text = line.str();
    const std::size_t at = text.find(delim.str());
    if (at == std::string::npos) {
        key = DKString();
        value = DKString();
        return;
    }
    key = stripped(DKString(text.substr(0, at)));
    value = stripped(DKString(text.substr(at + delim.length())));
}

void PConfigMgmtFile::getLineToWrite(const DKString& key, const DKString& value, DKString& line) const {
    line = key + " " + delim + " " + value;
}

int PConfigMgmtFile::doesKeyMatch(const DKString& line, const DKString& key) const {
    const std::string text = line.str();
    const std::size_t at = text.find(delim.str());
    if (at == std::string::npos) return 0;
    return stripped(DKString(text.substr(0, at))) == key ? 1 : 0;
}

int PConfigMgmtFile::getValue(const DKString& line, const DKString& key, DKString& value) const {
    if (!doesKeyMatch(line, key)) return 0;
    DKString lineKey;
    getKeyAndValue(line, lineKey, value);
    return 1;
}

int PConfigMgmtFile::checkAndChangeLine(DKString& line, const DKString& key, const DKString& value) const {
    DKString candidate(line);
    if (!isLineValid(candidate) || !doesKeyMatch(line, key)) return 0;
    getLineToWrite(key, value, line);
    return 1;
}

void PConfigMgmtFile::checkKey(const DKString& key) const {
    if (key.length() == 0) dkThrow<DKException>(700, kSource, "PConfigMgmtFile::checkKey");
}

void PConfigMgmtFile::checkKeyAndValue(const DKString& key, const DKString& value) const {
    static const char* const function = "PConfigMgmtFile::checkKeyAndValue";
    if (key.length() == 0) dkThrow<DKException>(700, kSource, function);
    // A line break would split the pair, a delimiter in the key would move the split, and a line
    // longer than the read buffer would come back in pieces: none of these reads back as written.
    if (hasLineBreak(key) || hasLineBreak(value) || key.indexOf(delim) != 0) throwUnsuitable(key, value, function);
    DKString line;
    getLineToWrite(key, value, line);
    if (line.length() + 2 > kLineBuffer - 1) throwUnsuitable(key, value, function);
}

void PConfigMgmtFile::throwUnsuitable(const DKString& key, const DKString& value, const char* function) {
    DKLogMessageInserts inserts;
    inserts.insert(key);
    inserts.insert(value.length() != 0 ? value : DKString("NULL"));
    dkThrow<DKException>(702, inserts, kSource, function);
}

// ---------------------------------------------------------------------------------------------
// Files

bool PConfigMgmtFile::readLine(std::string& raw) const {
    raw.clear();
    int c;
    while (raw.size() < kLineBuffer - 1 && (c = std::getc(fileRead)) != EOF) {
        raw.push_back(static_cast<char>(c));
        if (c == '\n') break;
    }
    return !raw.empty();
}

void PConfigMgmtFile::openForReading(const char* function) const {
    if (path.length() == 0) dkThrow<DKException>(486, kSource, function);
    DKLogMessageInserts inserts;
    inserts.insert(path);
    unsigned mode = 0;
    int err = 0;
    switch (PFileOps::kind(path.str(), mode, err)) {
    case PFileOps::regular:
        break;
    case PFileOps::unknown:
        dkThrow<DKException>(358, kSource, function, systemDetail(path.str(), err));
    default:   // missing, a folder or a device: there is no configuration file to read
        dkThrow<DKException>(705, inserts, kSource, function);
    }
    fileRead = std::fopen(path.c_str(), "rb");
    if (fileRead == nullptr) {
        err = errno;
        if (err == ENOENT) dkThrow<DKException>(705, inserts, kSource, function);
        dkThrow<DKException>(358, kSource, function, systemDetail(path.str(), err));
    }
}

void PConfigMgmtFile::closeFiles() const {
    if (fileRead != nullptr) {
        std::fclose(fileRead);
        fileRead = nullptr;
    }
    if (fileWritten != nullptr) {
        std::fclose(fileWritten);
        fileWritten = nullptr;
    }
    // A temporary file still named here did not replace the configuration: it goes.
    if (!tempPath.empty()) {
        int err = 0;
        PFileOps::remove(tempPath, err);
        tempPath.clear();
    }
}

bool PConfigMgmtFile::lookUp(const DKString& key, DKString& value, const char* function) const {
    openForReading(function);
    FileScope scope([this] { closeFiles(); });
    std::string raw;
    while (readLine(raw)) {
        DKString line(raw.substr(0, raw.size() - lineEndOf(raw).size()));
        if (isLineValid(line) && getValue(line, key, value)) return true;
    }
    if (std::ferror(fileRead)) dkThrow<DKException>(358, kSource, function, systemDetail(path.str(), errno));
    return false;
}

void PConfigMgmtFile::rewrite(const Pairs& pairs, const char* function) {
    openForReading(function);
    FileScope scope([this] { closeFiles(); });
    const std::string target = path.str();
    unsigned mode = 0;
    int err = 0;
    if (PFileOps::kind(target, mode, err) != PFileOps::regular) mode = 0644;

    // The timestamp has whole seconds only; the process id keeps two processes apart and the
    // exclusive creation (with a counter) two writers of one process.
    const std::string base =
        target + "." + DKTimestamp().asString().str() + "." + std::to_string(PSystem::processId());
    for (int n = 0; fileWritten == nullptr; ++n) {
        const std::string name = n == 0 ? base : base + "-" + std::to_string(n);
        fileWritten = PFileOps::createExclusive(name, mode, err);
        if (fileWritten != nullptr)
            tempPath = name;
        else if (err != EEXIST || n >= kTempAttempts)
            dkThrow<DKException>(360, kSource, function, systemDetail(name, err));
    }
    auto put = [&](const std::string& bytes) {
        if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), fileWritten) != bytes.size())
            dkThrow<DKException>(362, kSource, function, systemDetail(tempPath, errno));
    };

    std::vector<bool> matched(pairs.size(), false);
    std::string raw, fileLineEnd;
    bool lastHadLineEnd = true;
    while (readLine(raw)) {
        const std::string end = lineEndOf(raw);
        if (fileLineEnd.empty()) fileLineEnd = end;
        lastHadLineEnd = !end.empty();
        const DKString line(raw.substr(0, raw.size() - end.size()));
        bool replaced = false;
        for (std::size_t i = 0; i < pairs.size() && !replaced; ++i) {
            DKString changed(line);
            if (checkAndChangeLine(changed, pairs[i].first, pairs[i].second)) {
                // The new line keeps the line end of the one it replaces; a piece of a long line
                // (or a last line without one) gets the file's own.
                put(changed.str() + (end.empty() ? (fileLineEnd.empty() ? "\n" : fileLineEnd) : end));
                matched[i] = true;
                replaced = true;
            }
        }
        if (!replaced) put(raw);
    }
    if (std::ferror(fileRead)) dkThrow<DKException>(358, kSource, function, systemDetail(target, errno));
    if (fileLineEnd.empty()) fileLineEnd = "\n";
    for (std::size_t i = 0; i < pairs.size(); ++i) {
        if (matched[i]) continue;
        // An unfinished last line is ended first, or the new pair would be joined to it.
        if (!lastHadLineEnd) put(fileLineEnd);
        lastHadLineEnd = true;
        DKString line;
        getLineToWrite(pairs[i].first, pairs[i].second, line);
        put(line.str() + fileLineEnd);
    }
    if (!PFileOps::sync(fileWritten, err)) dkThrow<DKException>(362, kSource, function, systemDetail(tempPath, err));
    std::FILE* written = fileWritten;
    fileWritten = nullptr;
    if (std::fclose(written) != 0) dkThrow<DKException>(362, kSource, function, systemDetail(tempPath, errno));
    std::fclose(fileRead);
    fileRead = nullptr;

    // The backup is a second name for the current file, made under a name of this writer's own
    // (the temporary file's, which no one else holds while it exists, so whatever is found there
    // is a leftover) and renamed over <path>.bak in one step. Concurrent writers never find the
    // backup half made, and the path always names a whole configuration: the old one until the
    // last rename replaces it in one step.
    const std::string backup = target + ".bak", newBackup = tempPath + ".bak";
    int ignored = 0;
    PFileOps::remove(newBackup, ignored);
    // A link to a path that another writer renames over at that moment can find the old file
    // already unlinked (ENOENT) though the path always names a file: asked again, it finds the
    // new one.
    bool linked = PFileOps::link(target, newBackup, err);
    for (int attempt = 0; !linked && err == ENOENT && attempt < kTempAttempts; ++attempt)
        linked = PFileOps::link(target, newBackup, err);
    if (!linked) {
        // A file system without hard links: the backup is a copy instead.
        if (err != EPERM && err != EXDEV && err != ENOTSUP && err != EOPNOTSUPP && err != EMLINK && err != ENOSYS)
            dkThrow<DKException>(360, kSource, function, systemDetail(newBackup, err));
        copyFile(target, newBackup, mode, function);
    }
    // rename cannot replace a folder: an empty one is removed first.
    if (!PFileOps::rename(newBackup, backup, err) &&
        (err != EISDIR || !PFileOps::remove(backup, err) || !PFileOps::rename(newBackup, backup, err))) {
        PFileOps::remove(newBackup, ignored);
        dkThrow<DKException>(360, kSource, function, systemDetail(backup, err));
    }
    // When <path>.bak already was this very file (another writer saved it a moment ago), rename
    // leaves both names in place.
    PFileOps::remove(newBackup, ignored);
    if (!PFileOps::rename(tempPath, target, err))
        dkThrow<DKException>(360, kSource, function, systemDetail(target, err));
    tempPath.clear();
}

void PConfigMgmtFile::copyFile(const std::string& from, const std::string& to, unsigned mode,
                               const char* function) const {
    int err = 0;
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> in(std::fopen(from.c_str(), "rb"), &std::fclose);
    if (!in) dkThrow<DKException>(358, kSource, function, systemDetail(from, errno));
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> out(PFileOps::createExclusive(to, mode, err), &std::fclose);
    if (!out) dkThrow<DKException>(360, kSource, function, systemDetail(to, err));
    // From here on a failure leaves no half copy behind.
    auto fail = [&](long id, const std::string& name, int error) {
        out.reset();
        int ignored = 0;
        PFileOps::remove(to, ignored);
        dkThrow<DKException>(id, kSource, function, systemDetail(name, error));
    };
    char buffer[8192];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, in.get())) > 0)
        if (std::fwrite(buffer, 1, n, out.get()) != n) fail(362, to, errno);
    if (std::ferror(in.get())) fail(358, from, errno);
    if (!PFileOps::sync(out.get(), err)) fail(362, to, err);
}

// ---------------------------------------------------------------------------------------------
// The operations

DKString PConfigMgmtFile::getLogProperty(const DKString& key) const {
    static const char* const function = "PConfigMgmtFile::getLogProperty";
    const DKString k = stripped(key);
    checkKey(k);
    DKString value;
    if (!lookUp(k, value, function)) {
        DKLogMessageInserts inserts;
        inserts.insert(k);
        inserts.insert(path);
        dkThrow<DKException>(703, inserts, kSource, function);
    }
    return value;
}

const dkCollection& PConfigMgmtFile::getAllLogProperties() const {
    static const char* const function = "PConfigMgmtFile::getAllLogProperties";
    properties.removeAllElements();
    try {
        openForReading(function);
        FileScope scope([this] { closeFiles(); });
        std::string raw;
        while (readLine(raw)) {
            DKString line(raw.substr(0, raw.size() - lineEndOf(raw).size()));
            if (!isLineValid(line)) continue;
            DKString key, value;
            getKeyAndValue(line, key, value);
            if (key.length() != 0) properties.addElement(DKAny(DKNVPair(key.c_str(), DKAny(value))));
        }
        if (std::ferror(fileRead)) dkThrow<DKException>(358, kSource, function, systemDetail(path.str(), errno));
    } catch (...) {
        // A half-read file is not handed out as if it were the whole one.
        properties.removeAllElements();
        throw;
    }
    return properties;
}

void PConfigMgmtFile::setLogProperty(const DKString& key, const DKString& value) {
    const DKString k = stripped(key), v = stripped(value);
    checkKeyAndValue(k, v);
    rewrite(Pairs{{k, v}}, "PConfigMgmtFile::setLogProperty");
}

void PConfigMgmtFile::setAllLogProperties(const dkCollection& collection) {
    Pairs pairs;
    std::unique_ptr<dkIterator> it(collection.createIterator());
    while (it->more()) {
        DKAny* element = it->next();
        if (element == nullptr) break;
        const DKNVPair pair = *element;
        const DKString k = stripped(pair.getName()), v = stripped(textOf(pair.getValue()));
        checkKeyAndValue(k, v);
        // The first pair of a key decides, as it does for lines already in the file.
        bool seen = false;
        for (const auto& p : pairs) seen = seen || p.first == k;
        if (!seen) pairs.emplace_back(k, v);
    }
    if (pairs.empty()) return;
    rewrite(pairs, "PConfigMgmtFile::setAllLogProperties");
}
