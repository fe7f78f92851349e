// include/dk/dkImportUsers.hpp
#pragma once
#include <dk/DKString.hpp>
#include <dk/dkCallback.hpp>
#include <dk/dkExport.hpp>

class dkCollection;

// A user exit that brings users and user groups in from a directory outside the repository. The
// lists reject with 341 until an exit overrides them; what an exit returns belongs to the caller
// (names as a new[] array of DKString with its count). One thread at a time.
class DK_API dkImportUsers : public dkUserExit {
public:
    dkImportUsers();
    ~dkImportUsers() override;

    virtual DKString* listUsers(long& count);
    virtual DKString* listUserGroups(long& count);
    virtual dkCollection* listUserDefs();
    virtual dkCollection* listUserGroupDefs();
};

// A user exit that brings data sources in from outside the repository. The lists reject with 341
// until an exit overrides them; what an exit returns belongs to the caller. The base keeps no
// configuration. One thread at a time.
class DK_API dkImportDataSources : public dkUserExit {
public:
    dkImportDataSources();
    ~dkImportDataSources() override;

    virtual dkCollection* listDataSources();
    virtual DKString* listDataSourceNames(long& count);
    virtual void setConfiguration(const char* configuration);   // does nothing in the base
};
