// tools/dk/dkCmdMembers.cpp
//
// The membership commands of `dk`: an item's content parts (parts), folders and what is filed in
// them (mkfolder, file, unfile, ls), and links between items (link, links). They work through the
// collections the connector gives a retrieved item: changes go into the collection and are stored
// by one update of the item, in one transaction.

#include "dkCommands.hpp"
#include "dkDocument.hpp"

#include <dk/DKDDO.hpp>
#include <dk/DKException.hpp>
#include <dk/DKFolder.hpp>
#include <dk/DKLinkCollection.hpp>
#include <dk/DKParts.hpp>
#include <dk/dkDatastore.hpp>
#include <dk/dkDatastoreExt.hpp>
#include <dk/dkXDO.hpp>

#include <iostream>
#include <memory>
#include <stdexcept>

namespace dkcli {

namespace {

// The retrieved item ITEM names, and the collection its membership item `name` holds;
// std::runtime_error when the item's entity keeps no such collection, or the connector fills
// none for it.
template <class C>
C& collectionOf(DKDDO& item, const char* name, const char* what) {
    const unsigned short id = item.dataId(name);
    const DKAny v = id != 0 ? item.getData(id) : DKAny();
    C* c = v.typeCode() == DKAny::tc_collection ? dynamic_cast<C*>(static_cast<dkCollection*>(v.value())) : nullptr;
    if (c == nullptr && id != 0 && v.isNull())
        throw std::runtime_error(std::string("the ") + item.getPid().getDatastoreType().c_str() + " connector lists no " +
                                 name + " of " + Repository::shortName(item.getPid()));
    if (c == nullptr)
        throw std::runtime_error(Repository::shortName(item.getPid()) + " is no " + what +
                                 " (its entity was not made as one by dk init)");
    return *c;
}

std::unique_ptr<DKDDO> retrieved(Repository& repo, const std::string& text) {
    std::unique_ptr<DKDDO> item = repo.itemOf(text);
    item->retrieve();
    return item;
}

std::string titleOf(DKDDO& item) {
    const unsigned short id = item.dataId("title");
    return id != 0 && item.isDataSet(id) && !item.isNull(id) ? std::string(static_cast<DKString>(item.getData(id)).c_str())
                                                              : std::string();
}

template <class F>
void eachElement(dkCollection& c, F f) {
    std::unique_ptr<dkIterator> it(c.createIterator());
    while (it->more()) f(*it->next());
}

}  // namespace

int runParts(const Options& o, Repository* shared) {
    RepositoryRef repo(o, shared, true);
    std::unique_ptr<DKDDO> item = retrieved(*repo, o.args[1]);
    eachElement(collectionOf<DKParts>(*item, "DKParts", "document"), [](const DKAny& e) {
        const auto* part = static_cast<const dkXDO*>(static_cast<dkDataObjectBase*>(e.value()));
        std::cout << part->getPartId() << "\t" << part->size() << "\t" << terminalSafe(part->getMimeType().c_str()) << "\n";
    });
    return kExitOk;
}

int runMakeFolder(const Options& o, Repository* shared) {
    RepositoryRef repo(o, shared, false);
    std::unique_ptr<DKDDO> folder(repo->datastore().createDDO(kFolder, 0));
    folder->setData(folder->dataId("title"), DKAny(DKString(o.args[1].c_str())));
    folder->add();
    std::cout << Repository::shortName(folder->getPid()) << "\n";
    return kExitOk;
}

int runFile(const Options& o, Repository* shared) {
    RepositoryRef repo(o, shared, false);
    Transaction tx(*repo);
    std::unique_ptr<DKDDO> folder = retrieved(*repo, o.args[1]);
    auto& members = collectionOf<DKFolder>(*folder, "DKFolder", "folder");
    for (std::size_t i = 2; i < o.args.size(); ++i) {
        std::unique_ptr<DKDDO> item = repo->itemOf(o.args[i]);
        if (o.command == "file") {
            members.addElement(DKAny(static_cast<dkDataObjectBase*>(item.get())));   // the folder owns it now
            item.release();
            continue;
        }
        const DKString pid = item->getPid().pidString();
        DKSequentialIterator at(members);
        bool found = false;
        for (int valid = at.setToFirst(); valid && !found; valid = at.setToNext()) {
            auto* member = static_cast<DKDDO*>(static_cast<dkDataObjectBase*>(at.at()->value()));
            if (member->getPid().pidString() != pid) continue;
            members.removeElementAt(at);   // the removal is tracked; the member is ours to delete
            delete member;
            found = true;
        }
        if (!found) throw std::runtime_error(o.args[i] + " is not in " + o.args[1]);
    }
    folder->update();
    tx.commit();
    return kExitOk;
}

int runList(const Options& o, Repository* shared) {
    RepositoryRef repo(o, shared, true);
    std::unique_ptr<DKDDO> folder = retrieved(*repo, o.args[1]);
    eachElement(collectionOf<DKFolder>(*folder, "DKFolder", "folder"), [](const DKAny& e) {
        auto* member = static_cast<DKDDO*>(static_cast<dkDataObjectBase*>(e.value()));
        member->retrieve();
        std::cout << Repository::shortName(member->getPid()) << "\t" << terminalSafe(titleOf(*member)) << "\n";
    });
    return kExitOk;
}

int runLink(const Options& o, Repository* shared) {
    RepositoryRef repo(o, shared, false);
    std::unique_ptr<DKDDO> source = repo->itemOf(o.args[1]), target = repo->itemOf(o.args[2]);
    auto* extension = dynamic_cast<dkDatastoreExt*>(repo->datastore().getExtension("DATASTORE_EXTENSION"));
    if (extension == nullptr) throw std::runtime_error("the repository keeps no links");
    DKLink link(o.args[3].c_str(), source.get(), target.get(), 1, 1);   // both ends stay ours
    extension->addLink(&link);
    return kExitOk;
}

int runLinks(const Options& o, Repository* shared) {
    RepositoryRef repo(o, shared, true);
    std::unique_ptr<DKDDO> item = retrieved(*repo, o.args[1]);
    eachElement(collectionOf<DKLinkCollection>(*item, "DKLinks", "linked item"), [&](const DKAny& e) {
        const auto* link = static_cast<const DKLink*>(e.value());
        const bool out = link->getSource() == item.get();
        const dkDataObject* other = out ? link->getTarget() : link->getSource();
        std::cout << (out ? "->" : "<-") << "\t" << terminalSafe(link->getTypeName().c_str()) << "\t"
                  << Repository::shortName(*other->getPidObject()) << "\n";
    });
    return kExitOk;
}

}  // namespace dkcli
