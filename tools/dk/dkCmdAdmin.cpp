// tools/dk/dkCmdAdmin.cpp
//
// The administration commands of `dk`: users (user add, del, list, passwd), groups (group add,
// del, list, adduser, rmuser), access-control lists (acl create, list, show; chacl), the acting
// user's rights (rights) and check-out (checkout, checkin). They work through the connector's
// administration extension and its datastore extension; the repository refuses what the acting
// user may not do.

#include "dkCommands.hpp"
#include "dkPassword.hpp"

#include <dk/DKDDO.hpp>
#include <dk/DKException.hpp>
#include <dk/PRepositoryAdmin.hpp>
#include <dk/dkDatastore.hpp>
#include <dk/dkDatastoreExt.hpp>

#include <functional>
#include <iostream>
#include <memory>
#include <sstream>

namespace dkcli {

namespace {

// The connector's extension of that name; a connector without it cannot do the command.
dkExtension& extensionNamed(Repository& repo, const char* name, const char* what) {
    dkExtension* ext = repo.datastore().getExtension(name);
    if (ext == nullptr) throw std::runtime_error(std::string("this repository's connector keeps no ") + what);
    return *ext;
}

dkDatastoreExt& extensionOf(Repository& repo) {
    return static_cast<dkDatastoreExt&>(extensionNamed(repo, "DATASTORE_EXTENSION", "item rights or check-outs"));
}

// Prints an array the extension returned, one name a line, and frees it.
// count is read once the call that fills it has run.
void printNames(DKString* names, const long& count, const std::function<std::string(const std::string&)>& decorate = nullptr) {
    for (long i = 0; i < count; ++i) std::cout << (decorate ? decorate(names[i].c_str()) : names[i].c_str()) << "\n";
    delete[] names;
}

int userCommand(const Options& o, Repository* shared) {
    const std::string& sub = o.command;
    if (sub == "user passwd") {
        // The acting password is the old one when users change their own.
        const std::string name = o.args.size() > 1 ? o.args[1] : o.user;
        const std::string password = shared ? std::string() : readPassword(o.passwordFile, o.user, false);
        std::unique_ptr<Repository> own;
        if (!shared) own = std::make_unique<Repository>(o.args[0], o.user, password, openModeFor(o, false));
        Repository& repo = shared ? *shared : *own;
        const std::string fresh = readNewPassword(o.newPasswordFile, name);
        repo.admin().changePassword(name.c_str(), name == o.user ? password.c_str() : nullptr, fresh.c_str());
        return kExitOk;
    }
    RepositoryRef repo(o, shared, isReadingCommand(sub));
    PRepositoryAdmin& a = repo->admin();
    long n = 0;
    if (sub == "user add") a.addUser(o.args[1].c_str(), readNewPassword(o.newPasswordFile, o.args[1]).c_str());
    else if (sub == "user del") a.deleteUser(o.args[1].c_str());
    else if (sub == "user list")
        printNames(a.listUsers(n), n, [&](const std::string& u) { return u + (a.isAdminUser(u.c_str()) ? "\tadministrator" : ""); });
    else if (sub == "group add") a.addGroup(o.args[1].c_str());
    else if (sub == "group del") a.deleteGroup(o.args[1].c_str());
    else if (sub == "group list" && o.args.size() > 1) printNames(a.listGroupMembers(o.args[1].c_str(), n), n);
    else if (sub == "group list") printNames(a.listGroups(n), n);
    else if (sub == "group adduser") a.addGroupMember(o.args[1].c_str(), o.args[2].c_str());
    else if (sub == "group rmuser") a.removeGroupMember(o.args[1].c_str(), o.args[2].c_str());
    else if (sub == "acl list") printNames(a.listACLs(n), n);
    else if (sub == "acl show") printNames(a.listACLEntries(o.args[1].c_str(), n), n);
    else if (sub == "acl create") {
        // The ACL and its entries in one transaction: all or nothing.
        Transaction t(*repo);
        a.createACL(o.args[1].c_str());
        for (std::size_t i = 2; i < o.args.size(); ++i) {
            const auto [principal, set] = splitAssignment(o.args[i], o.command);
            a.setACLEntry(o.args[1].c_str(), principal.c_str(), set.c_str());
        }
        t.commit();
    }
    return kExitOk;
}

}  // namespace

bool isAdminCommand(const std::string& c) {
    return c.rfind("user ", 0) == 0 || c.rfind("group ", 0) == 0 || c.rfind("acl ", 0) == 0 || c == "chacl" ||
           c == "rights" || c == "checkout" || c == "checkin";
}

int runAdmin(const Options& o, Repository* shared) {
    if (o.command.find(' ') != std::string::npos) return userCommand(o, shared);
    RepositoryRef repo(o, shared, isReadingCommand(o.command));
    if (o.command == "rights") {
        std::unique_ptr<DKDDO> item = o.args.size() > 1 ? repo->itemOf(o.args[1]) : nullptr;
        PRepositoryAdmin& a = repo->admin();
        // Gathered first: a connector that keeps no privileges fails before any line is printed.
        std::ostringstream out;
        if (item) out << "acl\t" << a.itemACL(item.get()).c_str() << "\n";
        for (long id : {PRepositoryAdmin::kRead, PRepositoryAdmin::kAdd, PRepositoryAdmin::kUpdate, PRepositoryAdmin::kDelete,
                        PRepositoryAdmin::kMembership, PRepositoryAdmin::kAdminister}) {
            static const char* const kNames[] = {"read", "add", "update", "delete", "membership", "administer"};
            const long index = id == PRepositoryAdmin::kAdminister ? 5 : id - 1;
            out << kNames[index] << "\t" << a.privilege(item.get(), id) << "\n";
        }
        std::cout << out.str();
        return kExitOk;
    }
    std::unique_ptr<DKDDO> item = repo->itemOf(o.args[1]);
    if (o.command == "chacl") repo->admin().setItemACL(item.get(), o.args[2].c_str());
    else if (o.command == "checkout") extensionOf(*repo).checkOut(item.get());
    else if (o.command == "checkin") extensionOf(*repo).checkIn(item.get());
    return kExitOk;
}

}  // namespace dkcli
