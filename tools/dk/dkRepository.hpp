// tools/dk/dkRepository.hpp
#pragma once

// The repository side of `dk`: the SQLite connector loaded by name from its factory library,
// connected to one repository file, and the naming of items on the command line.

#include <dk/DKAny.hpp>
#include <dk/DKPid.hpp>
#include <dk/PDynamicLoader.hpp>

#include <memory>
#include <string>
#include <utility>
#include <vector>

class dkDatastore;
class DKDDO;

namespace dkcli {

// One connected datastore of the SQLite connector. The factory library stays loaded for the
// life of the process (the datastore's code lives there); the datastore is disconnected and
// deleted by the destructor. One thread.
class Repository {
public:
    // Loads the connector and connects to the repository file as user. With create the file is
    // made, with its schema and user, and must not exist yet; otherwise it must exist
    // (std::runtime_error when not, before the library is asked). DKException for everything
    // the connector refuses.
    Repository(const std::string& file, const std::string& user, const std::string& password, bool create);
    ~Repository();
    Repository(const Repository&) = delete;
    Repository& operator=(const Repository&) = delete;

    dkDatastore& datastore() { return *ds_; }
    const std::string& file() const { return file_; }

    // A data object naming the item "ENTITY:ID" or a full pid string, bound to this datastore
    // and not yet retrieved. UsageError when the text is neither; DKException when the entity
    // is unknown.
    std::unique_ptr<DKDDO> itemOf(const std::string& text);
    // "ENTITY:ID" for a pid of this repository's kind.
    static std::string shortName(const DKPid& pid);

private:
    std::string file_;
    PDynamicLoader loader_;
    dkDatastore* ds_ = nullptr;   // owned
};

// The text of a value for printing: empty for null, the value's own text form otherwise.
std::string textOf(const DKAny& value);

// VALUE from the command line as a value of the attribute type (a DKAny type code: a number for
// a number, a timestamp for a timestamp ...); text for text and unknown types. UsageError naming
// the attribute when VALUE does not read as that type.
DKAny valueOfType(unsigned short type, const std::string& text, const std::string& name);

// The name of an attribute type for people: "string", "long", "timestamp" ...
const char* typeName(unsigned short type);

// The attributes of an entity with their types, in the entity's order.
std::vector<std::pair<std::string, unsigned short>> attributesOf(dkDatastore& ds, const std::string& entity);

}  // namespace dkcli
