// src/dk/common/datastore/PContentKit.cpp
//
// The content objects every connector hands out (dkBlob and dkClob over a connector's content
// store), the files they stream and the pids of parts. Files and held content cross into the
// store a chunk at a time, so memory stays bounded by the chunk size whatever the part's size.
// Also what connectors share of items' parts: a tracked change written, and the slots of
// segmented parts read from and written to a connector's rows.

#include <dk/PContentKit.hpp>

#include <dk/DKAny.hpp>
#include <dk/DKException.hpp>
#include <dk/DKSegmentedParts.hpp>
#include <dk/PRepositoryContent.hpp>
#include <dk/dkContentDef.hpp>
#include <dk/dkThrow.hpp>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <string>

PContentStoreBase::~PContentStoreBase() = default;

namespace {

// A file error: DKXDOError msgId with the file name in parentheses and the system's reason.
[[noreturn]] void fileError(const char* source, long msgId, const std::string& name, int err, const char* function) {
    DKString detail = DKString(("(" + name + ")").c_str());
    if (err != 0) detail += DKString(" ") + std::strerror(err);
    dkThrow<DKXDOError>(msgId, source, function, detail);
}

struct PCloseFile {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using POwnedFile = std::unique_ptr<std::FILE, PCloseFile>;

// A file read a chunk at a time (358 when it cannot be opened or read; a folder is refused here,
// since reading one fails only at the first read on some systems).
class PFileSource {
public:
    PFileSource(const char* source, const char* name, long chunkSize, const char* function)
        : source_(source), name_(name ? name : ""), function_(function) {
        std::error_code ec;
        if (std::filesystem::is_directory(name_, ec)) fileError(source, 358, name_, EISDIR, function);
        file_.reset(std::fopen(name_.c_str(), "rb"));
        if (!file_) fileError(source, 358, name_, errno, function);
        // A regular file smaller than a chunk needs a buffer of its size only (one more byte
        // finds its end); a pipe or a growing file gets whole chunks.
        const std::uintmax_t size = std::filesystem::is_regular_file(name_, ec) ? std::filesystem::file_size(name_, ec) : 0;
        capacity_ = static_cast<std::size_t>(chunkSize);
        if (!ec && size != 0 && size < capacity_) capacity_ = static_cast<std::size_t>(size) + 1;
        buffer_.reset(new char[capacity_]);
    }
    std::pair<const char*, std::size_t> operator()() {
        const std::size_t n = std::fread(buffer_.get(), 1, capacity_, file_.get());
        if (n < capacity_ && std::ferror(file_.get())) fileError(source_, 358, name_, errno, function_);
        return {buffer_.get(), n};
    }

private:
    const char* source_;
    std::string name_;
    const char* function_;
    POwnedFile file_;
    std::unique_ptr<char[]> buffer_;   // not cleared: every byte handed out was read first
    std::size_t capacity_ = 0;
};

// A file written a chunk at a time (360 when it cannot be made, 362 when a write fails).
class PFileSink {
public:
    PFileSink(const char* source, const char* name, const char* function)
        : source_(source), name_(name ? name : ""), function_(function) {
        file_.reset(std::fopen(name_.c_str(), "wb"));
        if (!file_) fileError(source, 360, name_, errno, function);
    }
    void write(const char* data, std::size_t n) {
        if (n != 0 && std::fwrite(data, 1, n, file_.get()) != n) fileError(source_, 362, name_, errno, function_);
    }
    void close() {
        const int rc = std::fclose(file_.release());
        if (rc != 0) fileError(source_, 362, name_, errno, function_);
    }

private:
    const char* source_;
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

[[noreturn]] void badArgument(const PContentRules& rules, const char* function, const DKString& what) {
    dkThrow<DKUsageError>(rules.badArgument, rules.source, function, what);
}

// A position from 1 and a length as DKString takes them, as offsets into bytes of size n:
// a start below 1 is 1, and the length is cut at the end.
std::pair<std::size_t, std::size_t> clampRange(const PContentRules& rules, long start, long length, std::size_t n,
                                               const char* function) {
    if (length < 0) badArgument(rules, function, DKString("length ") + DKString(length));
    const std::size_t from = start < 1 ? 0 : static_cast<std::size_t>(start - 1);
    if (from >= n) return {n, 0};
    return {from, std::min(static_cast<std::size_t>(length), n - from)};
}

std::string textOf(const char* t) { return t != nullptr ? t : ""; }

// The bytes another content object holds (loaded by it when it holds none).
std::string bytesOf(const dkXDO& other) {
    const DKByteArray b = const_cast<dkXDO&>(other).getContent();
    return std::string(b.getData() != nullptr ? b.getData() : "", static_cast<std::size_t>(b.length()));
}

// What a content object of a connector holds and does, whatever its base: the part its pid
// names, the content held in memory (loaded on demand, or set), the part's types and the chunk
// size of its next store. Owns its pid and held content; the store is not owned and must outlive
// it. One thread at a time, the datastore's.
class PContentState {
public:
    PContentState(PContentStoreBase* store, const DKPidXDO& pid, int kind)
        : store_(store), rules_(store->contentRules()), pid_(pid), chunkSize_(rules_.defaultChunkSize) {
        info_.kind = kind;
    }

    DKPidXDO& pid() { return pid_; }
    PPartInfo& info() { return info_; }
    const PPartInfo& info() const { return info_; }

    void setPid(const DKPid* p) {
        if (p == nullptr) dkThrow<DKUsageError>(303, rules_.source, "dkXDO::setPid", DKString("a null pid"));
        pid_ = DKPidXDO(p->pidString().c_str());
    }
    void checkDatastore(dkDatastore* ds) const {
        if (ds != nullptr && ds != store_->contentDatastore())
            badArgument(rules_, "dkXDO::setDatastore", "another datastore than the one the content was made by");
    }

    void storeFile(const char* fileName, bool replace, const char* function) {
        PFileSource file(rules_.source, fileName, chunkSize_, function);
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
        PFileSink file(rules_.source, fileName, fn);
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
        if (n < rules_.minChunkSize || n > rules_.maxChunkSize)
            badArgument(rules_, fn, DKString("chunk size ") + DKString(n));
        chunkSize_ = n;
    }

    // Byte ranges, offsets from 0: read from the held content, or from the stored part without
    // loading it; written into the held content (loaded first), which grows to take them.
    long readBytes(char* buffer, long offset, long len) {
        static const char* const fn = "dkXDOBase::readBytes";
        if (buffer == nullptr || offset < 0 || len < 0) badArgument(rules_, fn, "a null buffer or a negative offset or length");
        if (!loaded_ && !changed_) return store_->readRange(part(fn), buffer, offset, len, fn);
        if (static_cast<std::size_t>(offset) >= held_.size()) return 0;
        const std::size_t n = std::min(static_cast<std::size_t>(len), held_.size() - static_cast<std::size_t>(offset));
        std::memcpy(buffer, held_.data() + offset, n);
        return static_cast<long>(n);
    }
    long writeBytes(const char* data, long offset, long len) {
        static const char* const fn = "dkXDOBase::writeBytes";
        if ((data == nullptr && len > 0) || offset < 0 || len < 0) badArgument(rules_, fn, "a null buffer or a negative offset or length");
        load(fn);
        if (static_cast<std::size_t>(offset) > held_.size()) badArgument(rules_, fn, DKString("offset ") + DKString(offset));
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
            badArgument(rules_, function, DKString("position ") + DKString(at));
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
        const auto [from, n] = clampRange(rules_, start, len, held_.size(), "subString");
        return DKString(held_.data() + from, static_cast<unsigned long>(n));
    }
    void remove(long start, long len) {
        load("remove");
        const auto [from, n] = clampRange(rules_, start, len, held_.size(), "remove");
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
    void checkOption(long option, const char* function) const {
        if (option != rules_.chunkOption) badArgument(rules_, function, DKString("option ") + DKString(option));
    }

    PContentStoreBase* store_;   // not owned: the connector's
    PContentRules rules_;
    DKPidXDO pid_;
    PPartInfo info_;
    std::string held_;
    bool loaded_ = false;    // held_ is the stored content (or the part is not stored)
    bool changed_ = false;   // held_ was set or edited since the last store
    long chunkSize_;
};

// The content object of a connector on Base (dkBlob or dkClob): every operation is its
// PContentState's. Owns the state; one thread at a time, the datastore's.
template <class Base>
class PContentPart : public Base {
public:
    PContentPart(PContentStoreBase* store, const DKPidXDO& pid, int kind, const char* objectType)
        : s_(store, pid, kind), objectType_(objectType) {
        this->datastore_ = store->contentDatastore();
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

// Binary content of a repository.
class PBlobPart final : public PContentPart<dkBlob> {
public:
    PBlobPart(PContentStoreBase* store, const DKPidXDO& pid, const char* objectType) : PContentPart(store, pid, 0, objectType) {}
    dkXDO* clone() const override { return new PBlobPart(*this); }
};

// Character content of a repository: the same bytes, stored as a character part.
class PClobPart final : public PContentPart<dkClob> {
public:
    PClobPart(PContentStoreBase* store, const DKPidXDO& pid, const char* objectType) : PContentPart(store, pid, 1, objectType) {}
    dkXDO* clone() const override { return new PClobPart(*this); }
};

}  // namespace

dkBlob* PContentKit::newBlob(PContentStoreBase* store, const DKPidXDO& pid, const char* objectType) {
    return new PBlobPart(store, pid, objectType);
}

dkClob* PContentKit::newClob(PContentStoreBase* store, const DKPidXDO& pid, const char* objectType) {
    return new PClobPart(store, pid, objectType);
}

DKPidXDO PContentKit::pidOf(const char* datastoreType, const std::string& repository, const char* entity, long itemId,
                            long part) {
    DKPidXDO pid;
    pid.setDatastoreType(datastoreType);
    pid.setDatastoreName(repository.c_str());
    pid.setObjectType(entity);
    pid.setIdStringCount(2);
    pid.setIdString(0, DKString(itemId).c_str());
    pid.setIdString(1, DKString(part).c_str());
    return pid;
}

bool PContentKit::partOf(const DKPid& pid, const char* datastoreType, const std::string& repository, long& item,
                         long& part) {
    auto number = [&pid](long i) {
        if (pid.getIdStringCount() <= i) return 0L;
        const DKString s = pid.getIdString(i);
        char* end = nullptr;
        const long n = std::strtol(s.c_str(), &end, 10);
        return s.length() != 0 && *end == '\0' ? n : 0L;
    };
    item = number(0);
    part = number(1);
    return pid.getDatastoreType() == datastoreType && pid.getDatastoreName() == repository.c_str() && item > 0 &&
           part > 0 && pid.getIdStringCount() == 2;
}

bool PContentKit::writePartChange(PContentStoreBase& store, const PPartName& owner, dkXDO& part, bool add, long badPart,
                                  const char* source, const char* function) {
    const DKPid* pid = part.getPidObject();
    if (pid == nullptr) dkThrow<DKUsageError>(badPart, source, function, DKString("a part without a pid"));
    const PPartName name = store.checkedPart(*pid, function);
    if (name.entity != owner.entity || name.item != owner.item)
        dkThrow<DKUsageError>(badPart, source, function, DKString("a part of another item: ") + pid->pidString());
    PPartInfo info;
    if (store.find(name, info, function) == add) return false;
    if (add) part.add();   // a new part is stored with its item
    else store.drop(name, function);
    return true;
}

void PContentKit::readSegments(DKSegmentedParts& segments, PRepositoryContent& content, const PPartName& owner,
                               const std::vector<PSegmentRow>& rows) {
    std::map<long, int> stored;   // the kind of every stored part, by number
    long count = 0;
    for (const PSegmentRow& r : rows) {
        if (r.slot < 0) stored[r.part] = r.kind;
        else count = std::max(count, r.slot + 1);
    }
    auto partOf = [&](long part, int kind) {
        const DKPidXDO pid = content.pidOf(owner.entity.c_str(), owner.item, part);
        return std::unique_ptr<dkXDO>(kind == 1 ? static_cast<dkXDO*>(content.createClob(pid))
                                                : static_cast<dkXDO*>(content.createBlob(pid)));
    };
    if (count > segments.getSegmentCount()) segments.setSegmentCount(count);
    std::set<long> slotted;
    for (const PSegmentRow& r : rows) {
        const auto kind = r.slot >= 0 ? stored.find(r.part) : stored.end();
        if (kind == stored.end()) continue;   // a part, an empty slot, or a slot whose part was dropped
        std::unique_ptr<dkXDO> part = partOf(r.part, kind->second);
        segments.setSegment(r.slot, part.get());
        part.release();   // the collection owns it now
        slotted.insert(r.part);
    }
    for (const auto& [number, kind] : stored) {
        if (slotted.count(number) != 0) continue;
        std::unique_ptr<dkXDO> part = partOf(number, kind);
        segments.addElement(DKAny(static_cast<dkDataObjectBase*>(part.get())));
        part.release();
    }
}

std::vector<long> PContentKit::writeSegments(PContentStoreBase& store, const PPartName& owner, DKSegmentedParts& segments,
                                             const std::vector<PSegmentRow>& rows, long badPart, const char* source,
                                             const char* function) {
    std::vector<long> slots;
    for (long slot = 0; slot < segments.getSegmentCount(); ++slot) {
        dkXDO* part = segments.getSegment(slot);
        if (part != nullptr) writePartChange(store, owner, *part, true, badPart, source, function);   // checked, stored when new
        slots.push_back(part != nullptr ? store.checkedPart(*part->getPidObject(), function).part : 0);
    }
    // The slots are the item's parts: one in no slot any more (its slot given another part, or the
    // count lowered) is dropped.
    const std::set<long> kept(slots.begin(), slots.end());
    for (const PSegmentRow& r : rows)
        if (r.slot < 0 && kept.count(r.part) == 0) store.drop(PPartName{owner.entity, owner.item, r.part}, function);
    return slots;
}
