// include/dk/PMessageText.hpp
#pragma once
#include <dk/DKString.hpp>
#include <dk/dkExport.hpp>

// The name of the library's own message catalogue (built from messages/vtxmsg8171d.msg).
inline constexpr const char* dkMessageFile = "vtxmsg8171d.cat";

// The text of one numbered message, read from a message catalogue (set 1) when the object is
// made. A name without a slash is looked for through NLSPATH, then in the library's data folder
// (PDynamicLoader::dataFolder()); a name with a slash is opened as given. When the number is missing
// the alternate number is used and " [ID = n]" appended; when the catalogue cannot be opened or
// neither number exists the text says so. Catalogues are opened once per process and kept.
// Objects are independent values; any number of threads may make them at once.
class DK_API PMessageText {
public:
    PMessageText(unsigned long number, const char* messageFile, int alternate);
    virtual ~PMessageText();

    DKString text() const;
    operator const char*() const;   // the text; valid while this object lives

private:
    DKString text_;
};

// Access to the library's catalogue for every error text of the library.
class DK_API PClsEnv {
public:
    // The text of message n from vtxmsg8171d.cat, with 300 as the alternate number.
    static DKString portalMsg(int n);
};
