// connectors/postgres/PPgMembers.hpp
#pragma once

// Where the membership of a PostgreSQL repository lives: dk_items names every item that takes
// part in a membership by its entity's catalogue id and row id; a folder's members are rows of
// dk_members (kept in the order they were filed), links rows of dk_links (source, target, type
// name, the item that carries it). Both refer to dk_items by foreign keys, and an entity table's
// delete trigger removes its rows from dk_items, so deleting an item (or its entity) removes its
// memberships in the same transaction, whoever deletes it. Internal to libdkdspg.

#include <dk/DKString.hpp>
#include <dk/dkDatastoreExt.hpp>

#include <string>

class DKDatastorePG;
class DKLink;
class dkXDO;

namespace dkpg {

// A stored item: its entity's catalogue id and its row id.
struct PItemRef {
    short entity = 0;
    long id = 0;
    bool operator==(const PItemRef& o) const { return entity == o.entity && id == o.id; }
    bool operator!=(const PItemRef& o) const { return !(*this == o); }
};

// The datastore's "DATASTORE_EXTENSION": folder members and links changed at once on the
// repository, each change in its own transaction (or a savepoint of the open one), so the
// membership collections' addMember and removeMember work on this connector. Owned by the
// datastore, made by its first getExtension; used on the datastore's thread.
class PMembersPG : public dkDatastoreExt {
public:
    explicit PMembersPG(DKDatastorePG* ds);
    ~PMembersPG() override;

    int isSupported(const char* function) override;
    DKString* listFunctions(long& count) override;
    // DKUsageError kMsgBadMember unless folder is a stored item of a folder entity and member a
    // stored item; filing a member twice keeps one membership.
    void addToFolder(dkDataObject* folder, dkDataObject* member) override;
    // DKDataObjectNotFound kMsgNoItem when member is not in folder.
    void removeFromFolder(dkDataObject* folder, dkDataObject* member) override;
    // A child of a sub-entity of parent's: a new one is stored, a stored one moves here; a
    // removed one is deleted with what is under it (kMsgNoItem when not parent's child).
    void addChild(dkDataObject* parent, dkDataObject* child) override;
    void removeChild(dkDataObject* parent, dkDataObject* child) override;
    // Both ends stored items of this repository (kMsgBadMember); the same link twice is kept once.
    void addLink(DKLink* link) override;
    void removeLink(DKLink* link) override;            // kMsgNoItem when not stored
    void removeLinks(dkCollection* links) override;    // every DKLink* element, all or none
    // A part of item, a stored item of a document entity (kMsgBadMember otherwise): a new part is
    // stored, a stored one kept; a removed one is dropped (kMsgNoPart when not stored).
    void addPart(dkDataObject* item, dkXDO* part) override;
    void removePart(dkDataObject* item, dkXDO* part) override;
    // Check-out (DKDatastorePGCheckOut.cpp): kept in dk_checkouts; while an item is checked out,
    // the server lets only its holder change it, its parts and memberships.
    int isCheckedOut(dkDataObject* object) override;
    DKString checkedOutUserid(dkDataObject* object) override;
    void unlockCheckedOut(dkDataObject* object) override;
    void checkOut(dkDataObject* object) override;
    void checkIn(dkDataObject* object) override;

    // The writes the extension and an item's update share, in the caller's transaction. The
    // removals answer whether there was something to remove.
    void file(const PItemRef& folder, const PItemRef& member, const char* function);
    bool unfile(const PItemRef& folder, const PItemRef& member, const char* function);
    // A link's ends must be stored items; with an owner, one of them must be the owner.
    void link(const DKLink& link, const PItemRef* owner, const char* function);
    bool unlink(const DKLink& link, const char* function);
    // A part of item stored unless it is (add) or dropped; answers whether something changed.
    bool writePart(const PItemRef& item, dkXDO& part, bool add, const char* function);

private:
    enum class PCheckOut { kOut, kIn, kUnlock };
    void changeCheckOut(dkDataObject* object, PCheckOut what, const char* function);
    std::string holder(dkDataObject* object, const char* function);   // "" when not checked out
    PItemRef folderOf(dkDataObject* folder, const char* function);   // a stored item of a folder entity
    PItemRef documentOf(dkDataObject* item, const char* function);   // a stored item of a document entity
    void changeChild(dkDataObject* parent, dkDataObject* child, bool add);

    DKDatastorePG* ds_;   // not owned: the owner
};

}  // namespace dkpg
