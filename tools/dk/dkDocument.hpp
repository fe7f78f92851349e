// tools/dk/dkDocument.hpp
#pragma once

// The "document" entity `dk` keeps files as: its attributes, their types, and how a repository
// gets it (init) or is brought up to date with it (import into a repository made before the
// root attribute existed).

#include <dk/DKAny.hpp>

class dkDatastore;

namespace dkcli {

constexpr const char* kDocument = "document";
constexpr const char* kFolder = "folder";   // folders of items, made by mkfolder
// The connector's entity type codes: a document holds content parts and links, a folder holds
// members and links.
constexpr short kDocumentType = 1 | 4;
constexpr short kFolderType = 2 | 4;

// The attributes of a document item, in the order they are defined and shown.
struct AttributeSpec {
    const char* name;
    DKAny::TypeCode type;
    const char* description;
    int textSearchable = 0;   // found by `dk search`
};
constexpr AttributeSpec kDocumentAttributes[] = {
    {"title", DKAny::tc_string, "the file name without its extension", 1},
    {"filename", DKAny::tc_string, "the path relative to the imported folder", 1},
    {"size", DKAny::tc_long, "the size in bytes"},
    {"modified", DKAny::tc_timestamp, "the time of the last change, UTC"},
    {"mimetype", DKAny::tc_string, "the MIME type, from the file name's extension"},
    {"root", DKAny::tc_string, "the imported folder, as an absolute path"},
};

// Creates the entity with every attribute above.
void defineDocumentEntity(dkDatastore& ds);
// Creates the folder entity, with a title.
void defineFolderEntity(dkDatastore& ds);

// Adds the attributes above that an existing document entity lacks (repositories made by an
// older dk have no root). DKException when there is no document entity.
void completeDocumentEntity(dkDatastore& ds);

}  // namespace dkcli
