// tests/dk/common/admin/dkUserManagement_test.cpp
//
// The user and group records: what a new one holds, the datastore type they answer with and
// without a datastore, and a password change reaching a connector's own setPassword.

#include <dk/dkAdminDomainsMgmt.hpp>
#include <dk/dkAttrGroupDef.hpp>
#include <dk/dkDatastore.hpp>
#include <dk/dkUserManagement.hpp>

#include <gtest/gtest.h>

#include <string>

namespace {

// A connector's user: records what reaches setPassword, or lets the base keep it.
class ConnectorUser : public dkUserDef {
public:
    explicit ConnectorUser(bool intercept) : intercept_(intercept) {}
    void setPassword(const char* password) override {
        if (intercept_) seen += std::string(password) + ";";
        else dkUserDef::setPassword(password);
    }
    std::string kept() const { return storedPassword().str(); }
    std::string seen;

private:
    bool intercept_;
};

}  // namespace

TEST(dkUserDefPassword, ChangePasswordGoesThroughTheVirtualSetPassword) {
    ConnectorUser connector(true), base(false);
    connector.changePassword("old", "new");
    connector.changePassword(nullptr, "");
    EXPECT_EQ("new;;", connector.seen);
    EXPECT_EQ("", connector.kept());
    base.setPassword("first");
    base.changePassword("wrong", "second");   // the base does not look at the old password
    EXPECT_EQ("second", base.kept());
}

TEST(dkAdminRecords, NewRecordsAreEmptyAndAnswerTheirDatastoresType) {
    dkUserDef user;
    dkUserGroupDef group;
    dkAttrGroupDef attrs;
    dkAdminDomainDef domain;
    EXPECT_TRUE(user.getDatastore() == nullptr && domain.getID() == 0);
    EXPECT_EQ("", user.datastoreType().str() + group.datastoreType().str() + attrs.datastoreType().str() +
                      user.getName().str() + user.getFullName().str() + user.getDescription().str() +
                      domain.getNLSLanguage().str());
    dkDatastore ds("SQLITE", "repo");
    user.setDatastore(&ds), group.setDatastore(&ds), attrs.setDatastore(&ds);
    EXPECT_EQ("SQLITE SQLITE SQLITE", user.datastoreType().str() + " " + group.datastoreType().str() +
                                          " " + attrs.datastoreType().str());
}
