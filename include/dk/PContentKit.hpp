// include/dk/PContentKit.hpp
#pragma once
#include <dk/DKPid.hpp>
#include <dk/dkBlob.hpp>
#include <dk/dkExport.hpp>

#include <cstddef>
#include <functional>
#include <string>
#include <utility>
#include <vector>

class DKSegmentedParts;
class PRepositoryContent;
class dkDatastore;

// The content parts of items as every connector's content objects see them, done once here so
// that all connectors agree: the dkBlob and dkClob objects a connector hands out (content held in
// memory and loaded on demand, the editing operations, byte ranges, files streamed a chunk at a
// time), written over a store the connector implements with its own SQL or files.
//
// A connector writes its store (PContentStoreBase) and makes its objects with PContentKit.

// A part as a repository names it: the entity as the catalogue spells it, the item's row id, the
// part number (from 1).
struct PPartName {
    std::string entity;
    long item = 0;
    long part = 0;
};

// What is stored with a part besides its bytes. kind: 0 binary (dkBlob), 1 character (dkClob).
struct PPartInfo {
    int kind = 0;
    std::string mimeType, contentType;
    unsigned long affiliatedType = 0;
    long size = 0;   // bytes stored
};

// One row of what a repository keeps of an item's segmented parts (DKSegmentedParts): a slot
// (slot from 0, part the number of the part it holds, 0 when empty) or a stored part of the item
// (slot -1, part its number, kind as in PPartInfo).
struct PSegmentRow {
    long slot = -1;
    long part = 0;
    int kind = 0;
};

// The next bytes to store (a null pointer or 0 bytes at the end); the bytes stay valid until the
// next call.
using PChunkSource = std::function<std::pair<const char*, std::size_t>()>;
using PChunkSink = std::function<void(const char* data, std::size_t n)>;

// How one connector's content objects refuse what they cannot do, and their chunk sizes. Every
// refusal is a DKUsageError located in source; file failures are DKXDOError 358, 360 and 362.
struct PContentRules {
    const char* source;
    long badArgument;    // a position, length, pid or option out of range
    long chunkOption;    // the option number of the chunk size (setOption, getOption)
    long minChunkSize, maxChunkSize, defaultChunkSize;
};

// What a connector's content store does for its content objects. The store belongs to the
// connector's datastore and is used on its thread; the objects keep a pointer to it, so it must
// outlive them.
class DK_API PContentStoreBase {
public:
    virtual ~PContentStoreBase();
    virtual const PContentRules& contentRules() const = 0;
    virtual dkDatastore* contentDatastore() const = 0;
    // The part pid names in this repository (refused otherwise).
    virtual PPartName checkedPart(const DKPid& pid, const char* function) = 0;
    // The stored part's info; false when the part is not stored.
    virtual bool find(const PPartName& p, PPartInfo& info, const char* function) = 0;
    // Stores the part whole or not at all: replace false adds it (refused when stored), true
    // replaces it (refused when not). Without a source only the info changes and the bytes stay.
    virtual void store(const PPartName& p, const PPartInfo& info, const PChunkSource* source, bool replace,
                       const char* function) = 0;
    // Hands the info and then every chunk in order to sink, as one consistent read (refused when
    // the part is not stored).
    virtual void load(const PPartName& p, PPartInfo& info, const PChunkSink& sink, const char* function) = 0;
    // Copies up to length bytes from offset of the stored part into buffer; the count copied.
    virtual long readRange(const PPartName& p, char* buffer, long offset, long length, const char* function) = 0;
    virtual void drop(const PPartName& p, const char* function) = 0;   // refused when not stored
};

// The content objects of the kit. What they do, beyond dkXDO's contract:
// - add(fn), retrieve(fn), update(fn) stream a file into or out of the part a chunk at a time;
//   add(), retrieve(), update() do the same with the content held in memory. del() drops the part.
// - length() is the number of bytes held, size() the number stored (nothing loaded), -1 while the
//   part is not stored.
// - Editing works on the held content, loaded first when none is held; positions count from 1 as
//   in DKString. update() stores the edits.
// - The option rules.chunkOption sets the chunk size of the next store.
// The caller owns the objects made here; one thread at a time, the datastore's.
class DK_API PContentKit {
public:
    static dkBlob* newBlob(PContentStoreBase* store, const DKPidXDO& pid, const char* objectType);
    static dkClob* newClob(PContentStoreBase* store, const DKPidXDO& pid, const char* objectType);
    // The pid of part number part of the item itemId of entity: datastore type, repository, the
    // entity as object type, and the item and part as two id strings.
    static DKPidXDO pidOf(const char* datastoreType, const std::string& repository, const char* entity, long itemId,
                          long part);
    // The item and part numbers of a pid of datastoreType and repository with two positive
    // decimal id strings; false for any other pid.
    static bool partOf(const DKPid& pid, const char* datastoreType, const std::string& repository, long& item,
                       long& part);
    // One tracked change of an item's parts collection (DKParts) written through store, in the
    // caller's transaction: an added part is stored unless it is already, a removed one dropped.
    // The part's pid must name a part of owner's item (owner.part unused); DKUsageError badPart
    // located in source otherwise. Answers whether something was stored or dropped.
    static bool writePartChange(PContentStoreBase& store, const PPartName& owner, dkXDO& part, bool add, long badPart,
                                const char* source, const char* function);

    // Segmented parts. A connector keeps an item's slots as rows (slot, part number or none) beside
    // its parts and reads the slot rows and the part rows of the item in one statement; what is
    // done with them is done here, alike on every connector.
    //
    // Fills segments, empty and not tracking, from rows: the slots in order (the count is the
    // highest slot + 1, so empty slots are kept), a slot whose part is not stored reading empty,
    // then the stored parts in no slot in part order. The parts are content's objects for owner's
    // item (owner.part unused), holding no bytes yet.
    static void readSegments(DKSegmentedParts& segments, PRepositoryContent& content, const PPartName& owner,
                             const std::vector<PSegmentRow>& rows);
    // What a write of owner's item writes of its segments, whole: the part number of every slot in
    // order (0: empty), for the connector to replace the item's slot rows with. A filled slot's
    // part must name a part of owner's item (DKUsageError badPart located in source) and is stored
    // unless it is; every stored part of rows (the item's rows before this write) that is in no
    // slot now is dropped. In the caller's transaction.
    static std::vector<long> writeSegments(PContentStoreBase& store, const PPartName& owner, DKSegmentedParts& segments,
                                           const std::vector<PSegmentRow>& rows, long badPart, const char* source,
                                           const char* function);
};
