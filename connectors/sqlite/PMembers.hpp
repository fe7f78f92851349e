// connectors/sqlite/PMembers.hpp
#pragma once

// Where the membership of an SQLite repository lives: a folder's members in dk_members (folder,
// member, kept in the order they were filed), links in dk_links (source, target, type name, the
// item that carries it), each end named by its entity and row id; content parts stay in the
// content tables (PContent.hpp). The tables come with repository format 4, children
// (dk_children), segment slots (dk_segments) and link items with format 5 (made at a writing
// connect when missing). Internal to libdkdssqlite.

#include <dk/DKString.hpp>
#include <dk/dkDatastoreExt.hpp>

#include <string>
#include <utility>

class DKDatastoreSQLITE;

namespace dksqlite {

// A stored item: its entity as the catalogue spells it and its row id.
using PItemRef = std::pair<std::string, long>;

// The datastore's "DATASTORE_EXTENSION": folder members, children, links and parts changed at once
// on the repository, each change in its own write scope (or the open transaction), so the
// membership collections' addMember and removeMember work on this connector; items are checked
// out and in, and privileges and passwords answered, through it too. Owned by the
// datastore, made by its first getExtension; used on the datastore's thread.
class PMembers : public dkDatastoreExt {
public:
    explicit PMembers(DKDatastoreSQLITE* ds);
    ~PMembers() override;

    int isSupported(const char* function) override;
    DKString* listFunctions(long& count) override;
    // DKUsageError kMsgBadMember unless folder is a stored item of a folder entity and member a
    // stored item; filing a member twice keeps one membership.
    void addToFolder(dkDataObject* folder, dkDataObject* member) override;
    // DKDataObjectNotFound kMsgNoItem when member is not in folder.
    void removeFromFolder(dkDataObject* folder, dkDataObject* member) override;
    // child: an item of a sub-entity of parent's entity (kMsgBadMember otherwise), stored first
    // when new (it gets its pid once stored) and tied to parent, away from any other parent.
    void addChild(dkDataObject* parent, dkDataObject* child) override;
    // Unties child from parent and deletes it with everything it holds; kMsgNoItem when it is
    // not parent's child.
    void removeChild(dkDataObject* parent, dkDataObject* child) override;
    // Both ends stored items of this repository (kMsgBadMember); the same link twice is kept once.
    void addLink(DKLink* link) override;
    void removeLink(DKLink* link) override;   // kMsgNoItem when not stored
    void removeLinks(dkCollection* links) override;   // every DKLink* element, all or none
    // Check-out (persisted; only the holder changes a checked-out item, and only an
    // administrator unlocks another user's) and the password rule of DKAdminSQLITE.
    int isCheckedOut(dkDataObject* object) override;
    DKString checkedOutUserid(dkDataObject* object) override;   // "" when not checked out
    void unlockCheckedOut(dkDataObject* object) override;
    void checkOut(dkDataObject* object) override;
    void checkIn(dkDataObject* object) override;
    void changePassword(const char* userId, const char* oldPassword, const char* newPassword) override;
    // The user's privilege values (a new object, the caller's): on a stored item, or on a new
    // item (the default ACL) for the overload without one.
    DKCommonPrivilege* getCommonPrivilege(dkDataObject* object) override;
    DKCommonPrivilege* getCommonPrivilege() override;
    DKCommonPrivilege* getCommonItemPrivilege(dkDataObject* object) override;
    // part names a part of item (kMsgBadMember otherwise), stored now unless it is already.
    void addPart(dkDataObject* item, dkXDO* part) override;
    void removePart(dkDataObject* item, dkXDO* part) override;   // kMsgNoPart when not stored

    // The writes the extension and an item's update share, in the caller's write scope. The
    // removals answer whether there was something to remove.
    void file(const PItemRef& folder, const PItemRef& member, const char* function);
    bool unfile(const PItemRef& folder, const PItemRef& member, const char* function);
    // A link's ends must be stored items; with an owner, one of them must be the owner.
    void link(const DKLink& link, const PItemRef* owner, const char* function);
    bool unlink(const DKLink& link, const char* function);
    void storePart(const PItemRef& item, dkXDO& part, const char* function);
    bool dropPart(const PItemRef& item, dkXDO& part, const char* function);

private:
    // The ends of link as items (stored ones when stored), and its type name.
    struct PLinkRow {
        PItemRef source, target;
        std::string type;
        PItemRef item;   // the item that carries the link; an empty entity when none
    };
    PLinkRow linkRow(const DKLink* link, bool stored, const char* function);
    PItemRef folderOf(dkDataObject* folder, const char* function);   // a stored item of a folder entity
    PItemRef partItem(dkDataObject* item, const char* function);     // a stored item of a document entity
    void changeChild(dkDataObject* parent, dkDataObject* child, bool add);

    DKDatastoreSQLITE* ds_;   // not owned: the owner
};

}  // namespace dksqlite
