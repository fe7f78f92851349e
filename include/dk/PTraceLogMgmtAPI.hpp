// include/dk/PTraceLogMgmtAPI.hpp
#pragma once
#include <dk/DKString.hpp>
#include <dk/dkExport.hpp>
#include <dk/pConfigMgmt.hpp>

// The editor of the log configuration file (vtxlogconfig.properties): "#" lines are comments,
// values are checked against their key (sizes, save counts, level names) and level names are
// translated between the names callers use and the names the file holds. Found at construction
// the way the log manager finds its configuration (NVLVTROOT and the toolkit properties file);
// 486 when that gives no folder. One thread at a time.
class DK_API PTraceLogMgmtAPI : public PConfigMgmtFile {
public:
    PTraceLogMgmtAPI();

    // 1 for the supported keys, else 1 when the file holds a non-empty value for the key, else 0.
    int isLogPropertySupported(const DKString& key) const override;

    ~PTraceLogMgmtAPI() override;
    // Callers' key names and the file's are the same: both copy the key.
    virtual void mapKeyToActualKey(const DKString& key, DKString& actualKey) const;
    virtual void mapActualKeyToKey(const DKString& actualKey, DKString& key) const;

    // A level name callers use and the value the file holds for it.
    struct LevelName {
        const char* name;
        const char* fileValue;
    };
    static const char* const levelKeys[5];
    static const char* const sizeKeys[5];
    static const char* const saveCountKeys[5];
    static const char* const supportedKeys[20];
    static const LevelName levelNames[6];

    // The file name inside the configuration folder.
    static constexpr const char* kFileName = "vtxlogconfig.properties";

protected:
    int isLineValid(DKString& line) const override;
    void getKeyAndValue(const DKString& line, DKString& key, DKString& value) const override;
    void getLineToWrite(const DKString& key, const DKString& value, DKString& line) const override;
    int getValue(const DKString& line, const DKString& key, DKString& value) const override;
    void checkKeyAndValue(const DKString& key, const DKString& value) const override;
    int doesKeyMatch(const DKString& line, const DKString& key) const override;

    static bool isLevelKey(const DKString& key);
    static bool isSizeKey(const DKString& key);
    static bool isSaveCountKey(const DKString& key);
    // The caller's name for a file value (first row that holds it); the value itself when none.
    static DKString levelFromFile(const DKString& fileValue);
    // The file value for a caller's name (any case); null when it names no level.
    static const char* levelToFile(const DKString& name);
};
