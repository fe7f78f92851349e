// include/dk/DKCC2Mime.hpp
#pragma once
#include <dk/DKString.hpp>
#include <dk/DKTrace.hpp>
#include <dk/dkExport.hpp>

#include <string>
#include <unordered_map>

// The MIME type of a content class, from a mapping file of "class=type" lines ("#" starts a
// comment line; the first line of a class wins; a class matches by its whole name). The default
// file is "vtxcc2mime.ini" in the current folder, or in the folder that the VTCFGDIR entry of
// $NVLVTROOT/vtgmt/vtxvtenv.properties names. The file is read on the first getProperty and
// kept. Not shared between threads without outside locking.
class DK_API DKCC2Mime {
public:
    DKCC2Mime();
    explicit DKCC2Mime(const char* fileName);   // this mapping file, the environment file unread
    virtual ~DKCC2Mime();

    // The MIME type of the class, empty when the file has none. DKUsageError 303 "[name]" when
    // the file cannot be opened.
    DKString getProperty(const char* contentClass);
    DKString getFileName() const { return strVTFile_; }   // the mapping file, as built

    // The VTCFGDIR value of an environment file ("a=b;VTCFGDIR=dir;..." lines), doubled
    // backslashes made single; empty when the file or the entry is missing.
    static DKString processVTXVTENV(const char* envFile);

    static constexpr std::size_t kMaxEnvLine = 124;       // longer lines are skipped whole
    static constexpr std::size_t kMaxMappingLine = 400;

private:
    void load();

    DKString strVTFile_;
    DKString configDirectory_;
    bool useEnvironment_;
    std::unordered_map<std::string, std::string> table_;
    bool loaded_ = false;
    DKTrace trace_;
};
