// connectors/postgres/DKDatastorePGCheckOut.cpp
//
// Check-out of items on a PostgreSQL repository, for the datastore extension: a row of
// dk_checkouts names the role that holds an item. The connector gives the library's refusals
// first; the server keeps the rule whoever writes: the trigger dk_held on the entity tables and on
// dk_content, dk_segments, dk_members and dk_links refuses another role's change (DK100), and the
// table's row policies let a user take a check-out only of an item it may update and give back
// only its own.

#include "DKDatastorePG.hpp"
#include "PPgAcls.hpp"
#include "PPgMembers.hpp"
#include "PPgStatement.hpp"

#include <dk/DKException.hpp>
#include <dk/PRepositoryAdmin.hpp>
#include <dk/dkThrow.hpp>

#include <string>

using namespace dkpg;

namespace {

constexpr const char* kSource = kDatastoreSource;

bool keepsCheckOuts(pg_conn* c, const char* function) {
    PResult r = run(c, "SELECT to_regclass('public.dk_checkouts') IS NOT NULL", {}, kSource, function, "reading the check-outs");
    return std::string(PQgetvalue(r.get(), 0, 0)) == "t";
}

std::string itemText(const PItemRef& ref) {
    return "item " + std::to_string(ref.id) + " of entity " + std::to_string(ref.entity);
}

}  // namespace

std::string PMembersPG::holder(dkDataObject* object, const char* function) {
    pg_conn* c = ds_->conn(function);
    const PItemRef ref = ds_->storedItem(object, function, false);
    if (!keepsCheckOuts(c, function)) return std::string();   // a repository without users
    PAclsPG acls(*ds_);
    if (acls.privilege(object, PRepositoryAdmin::kRead, function) == 0)
        dkThrow<DKDatastoreAccessError>(kMsgNotAuthorized, kSource, function, DKString("read"));
    PResult r = run(c, "SELECT usr FROM public.dk_checkouts WHERE entity = $1 AND item = $2",
                    {std::to_string(ref.entity), std::to_string(ref.id)}, kSource, function, "reading the check-outs");
    return PQntuples(r.get()) ? PQgetvalue(r.get(), 0, 0) : std::string();
}

void PMembersPG::changeCheckOut(dkDataObject* object, PCheckOut what, const char* function) {
    pg_conn* c = ds_->conn(function);
    ds_->storedItem(object, function, false);   // a stored item of this repository
    if (!keepsCheckOuts(c, function))
        dkThrow<DKDatastoreError>(kMsgNoUsers, kSource, function, DKString(ds_->repositoryName().c_str()));
    PAclsPG acls(*ds_);
    const long needed = what == PCheckOut::kUnlock ? PRepositoryAdmin::kRead : PRepositoryAdmin::kUpdate;
    if (acls.privilege(object, needed, function) == 0)
        dkThrow<DKDatastoreAccessError>(kMsgNotAuthorized, kSource, function, DKString(needed == PRepositoryAdmin::kRead ? "read" : "update"));
    DKDatastorePG::PTransaction unit(*ds_, function);
    // The item's row is held and named in dk_items, which the check-out refers to.
    const PItemRef ref = ds_->storedItem(object, function);
    const std::string entity = std::to_string(ref.entity), id = std::to_string(ref.id), me = PQuser(c);
    PResult r = run(c, "SELECT usr FROM public.dk_checkouts WHERE entity = $1 AND item = $2", {entity, id}, kSource, function,
                    "reading the check-outs");
    const std::string held = PQntuples(r.get()) ? PQgetvalue(r.get(), 0, 0) : std::string();
    const DKString name((itemText(ref) + (held.empty() ? "" : ", by " + held)).c_str());
    if (what == PCheckOut::kOut) {
        if (held == me) return;   // checked out by this user already
        if (!held.empty()) dkThrow<DKNotCheckedOutException>(kMsgCheckedOut, kSource, function, name);
        // Two sessions taking it at once: the key lets one in, the other finds it taken.
        PResult in = run(c, "INSERT INTO public.dk_checkouts VALUES ($1, $2, $3) ON CONFLICT DO NOTHING", {entity, id, me}, kSource,
                         function, "checking the item out");
        if (std::string(PQcmdTuples(in.get())) == "0") dkThrow<DKNotCheckedOutException>(kMsgCheckedOut, kSource, function, name);
    } else {
        if (held.empty()) dkThrow<DKNotCheckedOutException>(kMsgNotCheckedOut, kSource, function, name);
        if (held != me) {
            if (what == PCheckOut::kIn) dkThrow<DKNotCheckedOutException>(kMsgCheckedOut, kSource, function, name);
            if (acls.privilege(object, PRepositoryAdmin::kAdminister, function) == 0)
                dkThrow<DKDatastoreAccessError>(kMsgNotAdmin, kSource, function, name);
        }
        PResult out = run(c, "DELETE FROM public.dk_checkouts WHERE entity = $1 AND item = $2 AND usr = $3", {entity, id, held},
                          kSource, function, "checking the item in");
        if (std::string(PQcmdTuples(out.get())) == "0")   // given back meanwhile
            dkThrow<DKNotCheckedOutException>(kMsgNotCheckedOut, kSource, function, name);
    }
    unit.commit();
}

int PMembersPG::isCheckedOut(dkDataObject* object) { return holder(object, "dkDatastoreExt::isCheckedOut").empty() ? 0 : 1; }

DKString PMembersPG::checkedOutUserid(dkDataObject* object) {
    return DKString(holder(object, "dkDatastoreExt::checkedOutUserid").c_str());
}

void PMembersPG::unlockCheckedOut(dkDataObject* object) {
    changeCheckOut(object, PCheckOut::kUnlock, "dkDatastoreExt::unlockCheckedOut");
}

void PMembersPG::checkOut(dkDataObject* object) { changeCheckOut(object, PCheckOut::kOut, "dkDatastoreExt::checkOut"); }

void PMembersPG::checkIn(dkDataObject* object) { changeCheckOut(object, PCheckOut::kIn, "dkDatastoreExt::checkIn"); }
