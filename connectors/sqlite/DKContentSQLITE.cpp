// connectors/sqlite/DKContentSQLITE.cpp
//
// The real content of the SQLite connector: the content store behind the extension
// "SQLITE_CONTENT" (tables, streaming writes and reads, the drop of an item's parts) and the two
// content classes on dkBlob and dkClob it makes. Files and held content cross into the store a
// chunk at a time, so memory stays bounded by the chunk size whatever the part's size.

#include "DKDatastoreSQLITE.hpp"
#include "PContent.hpp"
#include "PSqliteStatement.hpp"
#include "PSqliteValues.hpp"

#include <dk/DKAny.hpp>
#include <dk/DKException.hpp>
#include <dk/dkContentDef.hpp>
#include <dk/dkThrow.hpp>

#include <sqlite3.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

using namespace dksqlite;

namespace {

constexpr const char* kSource = kContentSource;

constexpr const char* kCreateTables =
    "CREATE TABLE IF NOT EXISTS dk_content(id INTEGER PRIMARY KEY, entity TEXT NOT NULL COLLATE NOCASE,"
    " item INTEGER NOT NULL, part INTEGER NOT NULL, kind INTEGER NOT NULL, mimetype TEXT NOT NULL,"
    " contenttype TEXT NOT NULL, affiliated INTEGER NOT NULL, size INTEGER NOT NULL, UNIQUE(entity, item, part));"
    "CREATE TABLE IF NOT EXISTS dk_content_chunks(content INTEGER NOT NULL, pos INTEGER NOT NULL, data BLOB NOT NULL,"
    " PRIMARY KEY(content, pos));"
    "UPDATE dk_repository SET value = '3' WHERE key = 'format' AND CAST(value AS INTEGER) < 3";

constexpr const char* kPartSql =
    "SELECT id, kind, mimetype, contenttype, affiliated, size FROM dk_content WHERE entity = ?1 AND item = ?2 AND part = ?3";

// A file error: DKXDOError msgId with the file name in parentheses and the system's reason.
[[noreturn]] void fileError(long msgId, const std::string& name, int err, const char* function) {
    DKString detail = DKString(("(" + name + ")").c_str());
    if (err != 0) detail += DKString(" ") + std::strerror(err);
    dkThrow<DKXDOError>(msgId, kSource, function, detail);
}

struct PCloseFile {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using POwnedFile = std::unique_ptr<std::FILE, PCloseFile>;

// A file read a chunk at a time (358 when it cannot be opened or read; a folder is refused here,
// since reading one fails only at the first read on some systems).
class PFileSource {
public:
    PFileSource(const char* name, long chunkSize, const char* function) : name_(name ? name : ""), function_(function) {
        std::error_code ec;
        if (std::filesystem::is_directory(name_, ec)) fileError(358, name_, EISDIR, function);
        file_.reset(std::fopen(name_.c_str(), "rb"));
        if (!file_) fileError(358, name_, errno, function);
        // A regular file smaller than a chunk needs a buffer of its size only (one more byte
        // finds its end); a pipe or a growing file gets whole chunks.
        const std::uintmax_t size = std::filesystem::is_regular_file(name_, ec) ? std::filesystem::file_size(name_, ec) : 0;
        capacity_ = static_cast<std::size_t>(chunkSize);
        if (!ec && size != 0 && size < capacity_) capacity_ = static_cast<std::size_t>(size) + 1;
        buffer_.reset(new char[capacity_]);
    }
    std::pair<const char*, std::size_t> operator()() {
        const std::size_t n = std::fread(buffer_.get(), 1, capacity_, file_.get());
        if (n < capacity_ && std::ferror(file_.get())) fileError(358, name_, errno, function_);
        return {buffer_.get(), n};
    }

private:
    std::string name_;
    const char* function_;
    POwnedFile file_;
    std::unique_ptr<char[]> buffer_;   // not cleared: every byte handed out was read first
    std::size_t capacity_ = 0;
};

// A file written a chunk at a time (360 when it cannot be made, 362 when a write fails).
class PFileSink {
public:
    PFileSink(const char* name, const char* function) : name_(name ? name : ""), function_(function) {
        file_.reset(std::fopen(name_.c_str(), "wb"));
        if (!file_) fileError(360, name_, errno, function);
    }
    void write(const char* data, std::size_t n) {
        if (n != 0 && std::fwrite(data, 1, n, file_.get()) != n) fileError(362, name_, errno, function_);
    }
    void close() {
        const int rc = std::fclose(file_.release());
        if (rc != 0) fileError(362, name_, errno, function_);
    }

private:
    std::string name_;
    const char* function_;
    POwnedFile file_;
};

// Held bytes handed out a chunk at a time, without copying them.
PChunkSource memorySource(const std::string& bytes, long chunkSize) {
    auto at = std::make_shared<std::size_t>(0);
    return [&bytes, chunkSize, at]() {
        const std::size_t n = std::min(bytes.size() - *at, static_cast<std::size_t>(chunkSize));
        const char* p = bytes.data() + *at;
        *at += n;
        return std::make_pair(p, n);
    };
}

[[noreturn]] void badArgument(const char* function, const DKString& what) {
    dkThrow<DKUsageError>(kMsgBadContentArg, kSource, function, what);
}

// A position from 1 and a length as DKString takes them, as offsets into bytes of size n:
// a start below 1 is 1, and the length is cut at the end.
std::pair<std::size_t, std::size_t> clampRange(long start, long length, std::size_t n, const char* function) {
    if (length < 0) badArgument(function, DKString("length ") + DKString(length));
    const std::size_t from = start < 1 ? 0 : static_cast<std::size_t>(start - 1);
    if (from >= n) return {n, 0};
    return {from, std::min(static_cast<std::size_t>(length), n - from)};
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// The content classes

namespace dksqlite {

namespace {

std::string textOf(const char* t) { return t != nullptr ? t : ""; }

// The bytes another content object holds (loaded by it when it holds none).
std::string bytesOf(const dkXDO& other) {
    const DKByteArray b = const_cast<dkXDO&>(other).getContent();
    return std::string(b.getData() != nullptr ? b.getData() : "", static_cast<std::size_t>(b.length()));
}

}  // namespace

// What a content object of the connector holds and does, whatever its base: the part its pid
// names, the content held in memory (loaded on demand, or set), the part's types and the chunk
// size of its next store. Owns its pid and held content; the store is not owned and must outlive
// it. One thread at a time, the datastore's.
class PContentState {
public:
    PContentState(PContentStore* store, const DKPidXDO& pid, int kind) : store_(store), pid_(pid) { info_.kind = kind; }

    DKPidXDO& pid() { return pid_; }
    PPartInfo& info() { return info_; }
    const PPartInfo& info() const { return info_; }

    void setPid(const DKPid* p) {
        if (p == nullptr) dkThrow<DKUsageError>(303, kSource, "dkXDO::setPid", DKString("a null pid"));
        pid_ = DKPidXDO(p->pidString().c_str());
    }
    void checkDatastore(dkDatastore* ds) const {
        if (ds != nullptr && ds != store_->datastore())
            badArgument("dkXDO::setDatastore", "another datastore than the one the content was made by");
    }

    void storeFile(const char* fileName, bool replace, const char* function) {
        PFileSource file(fileName, chunkSize_, function);
        const PChunkSource source = [&file]() { return file(); };
        store_->store(part(function), info_, &source, replace, function);
    }
    // Stores the held content when there is any (loaded or set), else only the types.
    void storeHeld(bool replace, const char* function) {
        const PChunkSource source = memorySource(held_, chunkSize_);
        store_->store(part(function), info_, loaded_ || changed_ ? &source : nullptr, replace, function);
        changed_ = false;
        loaded_ = true;
    }
    void retrieveFile(const char* fileName) {
        static const char* const fn = "dkXDO::retrieve(fn)";
        const PPartName p = part(fn);
        PFileSink file(fileName, fn);
        store_->load(p, info_, [&file](const char* d, std::size_t n) { file.write(d, n); }, fn);
        file.close();
    }
    void retrieve() {
        static const char* const fn = "dkXDO::retrieve";
        std::string bytes;
        store_->load(part(fn), info_, [&bytes, this](const char* d, std::size_t n) {
            if (bytes.empty()) bytes.reserve(static_cast<std::size_t>(info_.size));
            bytes.append(d, n);
        }, fn);
        held_.swap(bytes);
        loaded_ = true;
        changed_ = false;
    }
    void drop() { store_->drop(part("dkXDO::del"), "dkXDO::del"); }

    DKByteArray content(const char* function) {
        load(function);
        return DKByteArray(const_cast<char*>(held_.data()), static_cast<long>(held_.size()), 0);
    }
    void setContent(const DKByteArray& content) {
        held_.assign(content.getData() != nullptr ? content.getData() : "", static_cast<std::size_t>(content.length()));
        markChanged();
    }
    int changed() const { return changed_ ? 1 : 0; }
    // Compares the bytes as memcmp does, a shorter prefix first.
    int compare(const dkXDO& other) {
        load("dkXDO::compareData");
        const int c = held_.compare(bytesOf(other));
        return c < 0 ? -1 : c > 0 ? 1 : 0;
    }

    long partId() const {
        return pid_.getIdStringCount() > 1 ? std::strtol(pid_.getIdString(1).c_str(), nullptr, 10) : 0;
    }
    void setPartId(long partId) {
        if (pid_.getIdStringCount() != 2) {   // a new count empties every id string
            const DKString item = pid_.getIdStringCount() > 0 ? pid_.getIdString(0) : DKString();
            pid_.setIdStringCount(2);
            pid_.setIdString(0, item.c_str());
        }
        pid_.setIdString(1, DKString(partId).c_str());
    }
    long length() const { return static_cast<long>(held_.size()); }
    long size() const {
        static const char* const fn = "dkXDO::size";
        PPartInfo stored;
        return store_->find(store_->checkedPart(pid_, fn), stored, fn) ? stored.size : -1;
    }
    dkContentDef* contentDef() const {
        auto* def = new dkContentDef();
        def->setId(static_cast<long>(info_.affiliatedType));
        def->setType(info_.contentType.c_str());
        def->setMimeType(info_.mimeType.c_str());
        return def;
    }
    void setContentDef(const dkContentDef& def) {
        info_.affiliatedType = static_cast<unsigned long>(def.getId());
        info_.contentType = def.getType().c_str();
        info_.mimeType = def.getMimeType().c_str();
    }
    void getOption(long option, DKAny& value) const {
        checkOption(option, "dkXDO::getOption");
        value = DKAny(chunkSize_);
    }
    void setOption(long option, DKAny& value) {
        static const char* const fn = "dkXDO::setOption";
        checkOption(option, fn);
        const long n = static_cast<long>(value);
        if (n < DKContentSQLITE::kMinChunkSize || n > DKContentSQLITE::kMaxChunkSize)
            badArgument(fn, DKString("chunk size ") + DKString(n));
        chunkSize_ = n;
    }

    // Byte ranges, offsets from 0: read from the held content, or from the stored part without
    // loading it; written into the held content (loaded first), which grows to take them.
    long readBytes(char* buffer, long offset, long len) {
        static const char* const fn = "dkXDOBase::readBytes";
        if (buffer == nullptr || offset < 0 || len < 0) badArgument(fn, "a null buffer or a negative offset or length");
        if (!loaded_ && !changed_) return store_->readRange(part(fn), buffer, offset, len, fn);
        if (static_cast<std::size_t>(offset) >= held_.size()) return 0;
        const std::size_t n = std::min(static_cast<std::size_t>(len), held_.size() - static_cast<std::size_t>(offset));
        std::memcpy(buffer, held_.data() + offset, n);
        return static_cast<long>(n);
    }
    long writeBytes(const char* data, long offset, long len) {
        static const char* const fn = "dkXDOBase::writeBytes";
        if ((data == nullptr && len > 0) || offset < 0 || len < 0) badArgument(fn, "a null buffer or a negative offset or length");
        load(fn);
        if (static_cast<std::size_t>(offset) > held_.size()) badArgument(fn, DKString("offset ") + DKString(offset));
        const std::size_t end = static_cast<std::size_t>(offset) + static_cast<std::size_t>(len);
        if (end > held_.size()) held_.resize(end);
        if (len > 0) std::memcpy(&held_[static_cast<std::size_t>(offset)], data, static_cast<std::size_t>(len));
        markChanged();
        return len;
    }

    // The editing operations of dkBlob and dkClob on the held content.
    // Inserts bytes after the first `at` bytes (at -1: at the end).
    void insert(const std::string& bytes, long at, const char* function) {
        load(function);
        if (at < -1 || (at >= 0 && static_cast<std::size_t>(at) > held_.size()))
            badArgument(function, DKString("position ") + DKString(at));
        held_.insert(at < 0 ? held_.size() : static_cast<std::size_t>(at), bytes);
        markChanged();
    }
    long find(const std::string& bytes, long start) {
        load("indexOf");
        const std::size_t from = start < 1 ? 0 : static_cast<std::size_t>(start - 1);
        if (from > held_.size()) return 0;
        const std::size_t hit = held_.find(bytes, from);
        return hit == std::string::npos ? 0 : static_cast<long>(hit + 1);
    }
    DKString subString(long start, long len) {
        load("subString");
        const auto [from, n] = clampRange(start, len, held_.size(), "subString");
        return DKString(held_.data() + from, static_cast<unsigned long>(n));
    }
    void remove(long start, long len) {
        load("remove");
        const auto [from, n] = clampRange(start, len, held_.size(), "remove");
        held_.erase(from, n);
        if (n != 0) markChanged();
    }

private:
    PPartName part(const char* function) const { return store_->checkedPart(pid_, function); }

    // Loads the stored part unless content is held already; a part not stored yet is empty.
    void load(const char* function) {
        if (loaded_ || changed_) return;
        PPartInfo stored;
        if (store_->find(part(function), stored, function)) retrieve();
        else loaded_ = true;
    }
    void markChanged() {
        changed_ = true;
        loaded_ = true;
    }
    static void checkOption(long option, const char* function) {
        if (option != DKContentSQLITE::kOptionChunkSize) badArgument(function, DKString("option ") + DKString(option));
    }

    PContentStore* store_;   // not owned: the datastore's
    DKPidXDO pid_;
    PPartInfo info_;
    std::string held_;
    bool loaded_ = false;    // held_ is the stored content (or the part is not stored)
    bool changed_ = false;   // held_ was set or edited since the last store
    long chunkSize_ = DKContentSQLITE::kDefaultChunkSize;
};

// The content object of the connector on Base (dkBlob or dkClob): every operation is its
// PContentState's. Owns the state; one thread at a time, the datastore's.
template <class Base>
class PContentPart : public Base {
public:
    PContentPart(PContentStore* store, const DKPidXDO& pid, int kind, const char* objectType)
        : s_(store, pid, kind), objectType_(objectType) {
        this->datastore_ = store->datastore();
        this->pid = &s_.pid();
    }
    PContentPart(const PContentPart& other) : Base(other), s_(other.s_), objectType_(other.objectType_) {
        this->datastore_ = other.datastore_;
        this->pid = &s_.pid();
        this->className = other.className;
    }

    DKString getObjectType() const override { return objectType_; }
    void setPid(const DKPid* p) override { s_.setPid(p); }
    const DKPid* getPidObject() const override { return this->pid; }
    void setPidObject(const DKPid* p) override { s_.setPid(p); }
    void setDatastore(dkDatastore* ds) override {
        s_.checkDatastore(ds);
        this->datastore_ = ds;
    }

    dkDataObjectBase& add(const char* fileName) override {
        s_.storeFile(fileName, false, "dkXDO::add(fn)");
        return *this;
    }
    dkDataObjectBase& add() override {
        s_.storeHeld(false, "dkXDO::add");
        return *this;
    }
    dkDataObjectBase& retrieve(const char* fileName) override {
        s_.retrieveFile(fileName);
        return *this;
    }
    dkDataObjectBase& retrieve() override {
        s_.retrieve();
        return *this;
    }
    dkDataObjectBase& update(const char* fileName) override {
        s_.storeFile(fileName, true, "dkXDO::update(fn)");
        return *this;
    }
    dkDataObjectBase& update() override {
        s_.storeHeld(true, "dkXDO::update");
        return *this;
    }
    dkDataObjectBase& del(int) override { return del(); }
    dkDataObjectBase& del() override {
        s_.drop();
        return *this;
    }

    DKByteArray getContent() override { return s_.content("dkXDO::getContent"); }
    void setContent(const DKByteArray& content) override { s_.setContent(content); }
    int isContentChanged() const override { return s_.changed(); }
    int compareData(const dkXDO& other) const override { return const_cast<PContentState&>(s_).compare(other); }
    long getPartId() const override { return s_.partId(); }
    void setPartId(long partId) override { s_.setPartId(partId); }
    long length() const override { return s_.length(); }
    long size() const override { return s_.size(); }
    unsigned long getAffiliatedType() const override { return s_.info().affiliatedType; }
    void setAffiliatedType(unsigned long type) override { s_.info().affiliatedType = type; }
    DKString getMimeType() const override { return DKString(s_.info().mimeType.c_str()); }
    void setMimeType(const char* type) override { s_.info().mimeType = textOf(type); }
    DKString getContentType() const override { return DKString(s_.info().contentType.c_str()); }
    void setContentType(const char* type) override { s_.info().contentType = textOf(type); }
    dkContentDef* getContentDef() const override { return s_.contentDef(); }
    void setContentDef(const dkContentDef& def) override { s_.setContentDef(def); }
    void getOption(long option, DKAny& value) override { s_.getOption(option, value); }
    void setOption(long option, DKAny& value) override { s_.setOption(option, value); }
    long readBytes(char* buffer, long offset, long length) override { return s_.readBytes(buffer, offset, length); }
    long writeBytes(const char* data, long offset, long length) override { return s_.writeBytes(data, offset, length); }

    Base& operator+=(const DKString& text) override {
        s_.insert(bytesIn(text), -1, "operator+=");
        return *this;
    }
    Base& operator+=(const Base& other) override {
        s_.insert(bytesOf(other), -1, "operator+=");
        return *this;
    }
    long indexOf(const Base& other, long start) override { return s_.find(bytesOf(other), start); }
    long indexOf(const DKString& text, long start) override { return s_.find(bytesIn(text), start); }
    DKString subString(long start, long length) override { return s_.subString(start, length); }
    Base& remove(long start, long length) override {
        s_.remove(start, length);
        return *this;
    }
    Base& insert(const Base& other, long at) override {
        s_.insert(bytesOf(other), at, "insert");
        return *this;
    }
    Base& insert(const DKString& text, long at) override {
        s_.insert(bytesIn(text), at, "insert");
        return *this;
    }

private:
    static std::string bytesIn(const DKString& text) { return std::string(text.c_str(), text.length()); }

    PContentState s_;
    DKString objectType_;
};

// Binary content of an SQLite repository.
class DKBlobSQLITE final : public PContentPart<dkBlob> {
public:
    explicit DKBlobSQLITE(PContentStore* store, const DKPidXDO& pid) : PContentPart(store, pid, 0, "DKBlobSQLITE") {}
    dkXDO* clone() const override { return new DKBlobSQLITE(*this); }
};

// Character content of an SQLite repository: the same bytes, stored as a character part.
class DKClobSQLITE final : public PContentPart<dkClob> {
public:
    explicit DKClobSQLITE(PContentStore* store, const DKPidXDO& pid) : PContentPart(store, pid, 1, "DKClobSQLITE") {}
    dkXDO* clone() const override { return new DKClobSQLITE(*this); }
};

// ---------------------------------------------------------------------------------------------
// The store

PContentStore::PContentStore(DKDatastoreSQLITE* ds) : ds_(ds) { setName(kName); }
PContentStore::~PContentStore() = default;

DKPidXDO PContentStore::pidOf(const char* entity, long itemId, long part) {
    DKPidXDO pid;
    pid.setDatastoreType(kPidType);
    pid.setDatastoreName(ds_->repositoryName().c_str());
    pid.setObjectType(entity);
    pid.setIdStringCount(2);
    pid.setIdString(0, DKString(itemId).c_str());
    pid.setIdString(1, DKString(part).c_str());
    return pid;
}

dkBlob* PContentStore::createBlob(const DKPidXDO& pid) {
    checkedPart(pid, "DKContentSQLITE::createBlob");
    return new DKBlobSQLITE(this, pid);
}

dkClob* PContentStore::createClob(const DKPidXDO& pid) {
    checkedPart(pid, "DKContentSQLITE::createClob");
    return new DKClobSQLITE(this, pid);
}

sqlite3* PContentStore::connection(const char* function) { return ds_->db(function); }

PPartName PContentStore::checkedPart(const DKPid& pid, const char* function) {
    connection(function);
    auto number = [&pid](long i) {
        if (pid.getIdStringCount() <= i) return 0L;
        const DKString s = pid.getIdString(i);
        char* end = nullptr;
        const long n = std::strtol(s.c_str(), &end, 10);
        return s.length() != 0 && *end == '\0' ? n : 0L;
    };
    const long item = number(0), part = number(1);
    if (pid.getDatastoreType() != kPidType || pid.getDatastoreName() != ds_->repositoryName().c_str() || item <= 0 ||
        part <= 0 || pid.getIdStringCount() != 2)
        dkThrow<DKUsageError>(kMsgBadContentPid, kSource, function, pid.pidString());
    return PPartName{ds_->entity(pid.getObjectType().c_str(), function)->name, item, part};
}

long PContentStore::partRow(const PPartName& p, const char* function) {
    sqlite3* db = connection(function);
    sqlite3_stmt* s = ds_->cached(kPartSql, function);
    PResetOnExit r{s};
    bindText(s, 1, p.entity);
    sqlite3_bind_int64(s, 2, p.item);
    sqlite3_bind_int64(s, 3, p.part);
    const int rc = sqlite3_step(s);
    if (rc == SQLITE_ROW) return static_cast<long>(sqlite3_column_int64(s, 0));
    if (rc != SQLITE_DONE) throwSqlite(db, rc, kSource, function, "reading a content part");
    return 0;
}

bool PContentStore::find(const PPartName& p, PPartInfo& info, const char* function) {
    sqlite3* db = connection(function);
    ds_->requirePrivilege({p.entity, p.item}, DKAdminSQLITE::kRead, function);
    if (!ds_->contentTables_) return false;
    sqlite3_stmt* s = ds_->cached(kPartSql, function);
    PResetOnExit r{s};
    bindText(s, 1, p.entity);
    sqlite3_bind_int64(s, 2, p.item);
    sqlite3_bind_int64(s, 3, p.part);
    const int rc = sqlite3_step(s);
    if (rc != SQLITE_ROW) {
        if (rc != SQLITE_DONE) throwSqlite(db, rc, kSource, function, "reading a content part");
        return false;
    }
    info.kind = sqlite3_column_int(s, 1);
    info.mimeType = textColumn(s, 2);
    info.contentType = textColumn(s, 3);
    info.affiliatedType = static_cast<unsigned long>(sqlite3_column_int64(s, 4));
    info.size = static_cast<long>(sqlite3_column_int64(s, 5));
    return true;
}

void PContentStore::store(const PPartName& p, const PPartInfo& info, const PChunkSource* source, bool replace,
                          const char* function) {
    DKDatastoreSQLITE::PWriteScope scope(*ds_, function);
    sqlite3* db = connection(function);
    ds_->requireChange({p.entity, p.item}, DKAdminSQLITE::kUpdate, function);
    {
        const auto& e = ds_->entity(p.entity.c_str(), function);
        sqlite3_stmt* s = ds_->cached(e->existsSql, function);
        PResetOnExit r{s};
        sqlite3_bind_int64(s, 1, p.item);
        if (stepCount(db, s, kSource, function, "reading the item") == 0)
            dkThrow<DKDataObjectNotFound>(kMsgNoItem, kSource, function, DKString((p.entity + ":" + std::to_string(p.item)).c_str()));
    }
    long id = partRow(p, function);
    const DKString name = DKString((p.entity + ":" + std::to_string(p.item) + " part " + std::to_string(p.part)).c_str());
    if (id != 0 && !replace) dkThrow<DKDataObjectAlreadyExists>(kMsgPartExists, kSource, function, name);
    if (id == 0 && replace) dkThrow<DKDataObjectNotFound>(kMsgNoPart, kSource, function, name);
    {
        sqlite3_stmt* s = ds_->cached(id == 0 ? "INSERT INTO dk_content(kind, mimetype, contenttype, affiliated, entity, item, part, size)"
                                                " VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, 0)"
                                              : "UPDATE dk_content SET kind = ?1, mimetype = ?2, contenttype = ?3,"
                                                " affiliated = ?4 WHERE id = ?8",
                                      function);
        PResetOnExit r{s};
        sqlite3_bind_int(s, 1, info.kind);
        bindText(s, 2, info.mimeType);
        bindText(s, 3, info.contentType);
        sqlite3_bind_int64(s, 4, static_cast<sqlite3_int64>(info.affiliatedType));
        if (id == 0) {
            bindText(s, 5, p.entity);
            sqlite3_bind_int64(s, 6, p.item);
            sqlite3_bind_int64(s, 7, p.part);
        } else {
            sqlite3_bind_int64(s, 8, id);
        }
        stepDone(db, s, kSource, function, "storing a content part");
        if (id == 0) id = static_cast<long>(sqlite3_last_insert_rowid(db));
    }
    if (source != nullptr) {
        sqlite3_stmt* clear = ds_->cached("DELETE FROM dk_content_chunks WHERE content = ?1", function);
        {
            PResetOnExit r{clear};
            sqlite3_bind_int64(clear, 1, id);
            stepDone(db, clear, kSource, function, "replacing a content part");
        }
        sqlite3_stmt* put = ds_->cached("INSERT INTO dk_content_chunks(content, pos, data) VALUES (?1, ?2, ?3)", function);
        PResetOnExit r{put};
        sqlite3_int64 pos = 0;
        for (;;) {
            const auto [data, n] = (*source)();
            if (data == nullptr || n == 0) break;
            sqlite3_reset(put);
            sqlite3_bind_int64(put, 1, id);
            sqlite3_bind_int64(put, 2, pos);
            sqlite3_bind_blob64(put, 3, data, n, SQLITE_STATIC);
            stepDone(db, put, kSource, function, "storing a content part");
            pos += static_cast<sqlite3_int64>(n);
        }
        sqlite3_stmt* size = ds_->cached("UPDATE dk_content SET size = ?2 WHERE id = ?1", function);
        PResetOnExit rs{size};
        sqlite3_bind_int64(size, 1, id);
        sqlite3_bind_int64(size, 2, pos);
        stepDone(db, size, kSource, function, "storing a content part");
    }
    scope.commit();
}

void PContentStore::load(const PPartName& p, PPartInfo& info, const PChunkSink& sink, const char* function) {
    sqlite3* db = connection(function);
    PReadScope read(db, ds_->inTransaction_, kSource, function);
    PPartInfo stored;
    if (!find(p, stored, function))
        dkThrow<DKDataObjectNotFound>(kMsgNoPart, kSource, function,
                                      DKString((p.entity + ":" + std::to_string(p.item) + " part " + std::to_string(p.part)).c_str()));
    info = stored;
    // Each chunk is read with SQLite's incremental BLOB I/O straight into one buffer, which
    // spares the copy a column value would make of every chunk.
    sqlite3_stmt* s = ds_->cached("SELECT c.rowid FROM dk_content_chunks c, dk_content p WHERE p.entity = ?1"
                                  " AND p.item = ?2 AND p.part = ?3 AND c.content = p.id ORDER BY c.pos",
                                  function);
    PResetOnExit r{s};
    bindText(s, 1, p.entity);
    sqlite3_bind_int64(s, 2, p.item);
    sqlite3_bind_int64(s, 3, p.part);
    struct PBlob {
        sqlite3_blob* b = nullptr;
        ~PBlob() { sqlite3_blob_close(b); }
    } blob;
    std::unique_ptr<char[]> buffer;
    int capacity = 0, rc;
    while ((rc = sqlite3_step(s)) == SQLITE_ROW) {
        const sqlite3_int64 row = sqlite3_column_int64(s, 0);
        int brc = blob.b != nullptr ? sqlite3_blob_reopen(blob.b, row)
                                    : sqlite3_blob_open(db, "main", "dk_content_chunks", "data", row, 0, &blob.b);
        const int n = brc == SQLITE_OK ? sqlite3_blob_bytes(blob.b) : 0;
        if (brc == SQLITE_OK && n > capacity) buffer.reset(new char[static_cast<std::size_t>(capacity = n)]);
        if (brc == SQLITE_OK) brc = sqlite3_blob_read(blob.b, buffer.get(), n, 0);
        if (brc != SQLITE_OK) throwSqlite(db, brc, kSource, function, "reading a content part");
        sink(buffer.get(), static_cast<std::size_t>(n));
    }
    if (rc != SQLITE_DONE) throwSqlite(db, rc, kSource, function, "reading a content part");
}

long PContentStore::readRange(const PPartName& p, char* buffer, long offset, long length, const char* function) {
    sqlite3* db = connection(function);
    PReadScope read(db, ds_->inTransaction_, kSource, function);
    ds_->requirePrivilege({p.entity, p.item}, DKAdminSQLITE::kRead, function);
    const long id = ds_->contentTables_ ? partRow(p, function) : 0;
    if (id == 0)
        dkThrow<DKDataObjectNotFound>(kMsgNoPart, kSource, function,
                                      DKString((p.entity + ":" + std::to_string(p.item) + " part " + std::to_string(p.part)).c_str()));
    sqlite3_stmt* s = ds_->cached("SELECT pos, data FROM dk_content_chunks WHERE content = ?1 AND pos < ?2 + ?3"
                                  " AND pos >= coalesce((SELECT max(pos) FROM dk_content_chunks WHERE content = ?1"
                                  " AND pos <= ?2), 0) ORDER BY pos",
                                  function);
    PResetOnExit r{s};
    sqlite3_bind_int64(s, 1, id);
    sqlite3_bind_int64(s, 2, offset);
    sqlite3_bind_int64(s, 3, length);
    long copied = 0;
    int rc;
    while ((rc = sqlite3_step(s)) == SQLITE_ROW) {
        const long pos = static_cast<long>(sqlite3_column_int64(s, 0));
        const char* data = static_cast<const char*>(sqlite3_column_blob(s, 1));
        const long n = sqlite3_column_bytes(s, 1);
        const long from = std::max(offset + copied, pos);
        const long to = std::min(offset + length, pos + n);
        if (to <= from) continue;
        std::memcpy(buffer + (from - offset), data + (from - pos), static_cast<std::size_t>(to - from));
        copied = to - offset;
    }
    if (rc != SQLITE_DONE) throwSqlite(db, rc, kSource, function, "reading a content part");
    return copied;
}

void PContentStore::drop(const PPartName& p, const char* function) {
    DKDatastoreSQLITE::PWriteScope scope(*ds_, function);
    sqlite3* db = connection(function);
    ds_->requireChange({p.entity, p.item}, DKAdminSQLITE::kUpdate, function);
    const long id = partRow(p, function);
    if (id == 0)
        dkThrow<DKDataObjectNotFound>(kMsgNoPart, kSource, function,
                                      DKString((p.entity + ":" + std::to_string(p.item) + " part " + std::to_string(p.part)).c_str()));
    for (const char* sql : {"DELETE FROM dk_content_chunks WHERE content = ?1", "DELETE FROM dk_content WHERE id = ?1"}) {
        sqlite3_stmt* s = ds_->cached(sql, function);
        PResetOnExit r{s};
        sqlite3_bind_int64(s, 1, id);
        stepDone(db, s, kSource, function, "dropping a content part");
    }
    scope.commit();
}

void PContentStore::dropItem(const std::string& entity, long item, const char* function) {
    sqlite3* db = connection(function);
    for (const char* sql : {"DELETE FROM dk_content_chunks WHERE content IN"
                            " (SELECT id FROM dk_content WHERE entity = ?1 AND (?2 = 0 OR item = ?2))",
                            "DELETE FROM dk_content WHERE entity = ?1 AND (?2 = 0 OR item = ?2)"}) {
        sqlite3_stmt* s = ds_->cached(sql, function);
        PResetOnExit r{s};
        bindText(s, 1, entity);
        sqlite3_bind_int64(s, 2, item);
        stepDone(db, s, kSource, function, "dropping the item's content");
    }
}

}  // namespace dksqlite

// ---------------------------------------------------------------------------------------------
// The datastore's side: the tables at connect, the extension, an item's content on delete

void DKDatastoreSQLITE::ensureContentTables(const char* function) {
    const auto [tables, current] = tableState({"dk_content", "dk_content_chunks"}, 3, function);
    contentTables_ = tables;
    if (current || readOnly_) return;
    PWriteScope scope(*this, function);
    exec(db_, kCreateTables, kSource, function);
    scope.commit();
    contentTables_ = true;
}

dkExtension* DKDatastoreSQLITE::contentExtension(const char* function) {
    db(function);
    if (!content_) content_ = std::make_shared<PContentStore>(this);
    return content_.get();
}

void DKDatastoreSQLITE::dropContent(const std::string& entity, long rowId, const char* function) {
    if (!contentTables_) return;
    static_cast<PContentStore*>(contentExtension(function))->dropItem(entity, rowId, function);
}
