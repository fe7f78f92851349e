// tools/dk/dkDocument.cpp
//
// Defining the "document" entity through the schema interface of the datastore.

#include "dkDocument.hpp"
#include "dkRepository.hpp"

#include <dk/dkDatastore.hpp>
#include <dk/dkDatastoreDef.hpp>

#include <algorithm>
#include <memory>

namespace dkcli {

namespace {

std::unique_ptr<dkAttrDef> attributeOf(dkEntityDef& entity, const AttributeSpec& a) {
    std::unique_ptr<dkAttrDef> attr(entity.createAttr());
    attr->setName(a.name);
    attr->setType(a.type);
    attr->setDescription(a.description);
    attr->setTextSearchable(a.textSearchable);
    return attr;
}

}  // namespace

void defineDocumentEntity(dkDatastore& ds) {
    std::unique_ptr<dkEntityDef> entity(ds.datastoreDef()->createEntity());
    entity->setName(kDocument);
    entity->setDescription("one imported file");
    entity->setType(kDocumentType);
    for (const AttributeSpec& a : kDocumentAttributes) {
        std::unique_ptr<dkAttrDef> attr = attributeOf(*entity, a);
        entity->addAttr(attr.get());   // the entity keeps it from here on
        attr.release();
    }
    entity->add();
}

void defineFolderEntity(dkDatastore& ds) {
    std::unique_ptr<dkEntityDef> entity(ds.datastoreDef()->createEntity());
    entity->setName(kFolder);
    entity->setDescription("a folder of items");
    entity->setType(kFolderType);
    std::unique_ptr<dkAttrDef> title = attributeOf(*entity, kDocumentAttributes[0]);
    title->setDescription("the folder's name");
    entity->addAttr(title.get());
    title.release();
    entity->add();
}

void completeDocumentEntity(dkDatastore& ds) {
    const auto present = attributesOf(ds, kDocument);
    std::unique_ptr<dkEntityDef> entity;
    for (const AttributeSpec& a : kDocumentAttributes) {
        if (std::any_of(present.begin(), present.end(), [&](const auto& p) { return p.first == a.name; })) continue;
        if (!entity) entity.reset(ds.datastoreDef()->retrieveEntity(kDocument));
        // On a stored entity, add() creates the column at once; the attribute stays ours.
        std::unique_ptr<dkAttrDef> attr = attributeOf(*entity, a);
        entity->add(attr.get());
    }
}

}  // namespace dkcli
