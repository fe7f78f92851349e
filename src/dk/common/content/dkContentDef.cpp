// src/dk/common/content/dkContentDef.cpp
//
// The descriptor of a content kind: five values with their accessors, and a copy made through
// the setters.

#include <dk/dkContentDef.hpp>

dkContentDef::dkContentDef() : id(0) {}
dkContentDef::~dkContentDef() = default;

long dkContentDef::getId() const { return id; }
void dkContentDef::setId(long newId) { id = newId; }
DKString dkContentDef::getType() const { return type; }
void dkContentDef::setType(const char* t) { type = DKString(t); }
DKString dkContentDef::getDescription() const { return description; }
void dkContentDef::setDescription(const char* d) { description = DKString(d); }
DKString dkContentDef::getMimeType() const { return mimeType; }
void dkContentDef::setMimeType(const char* m) { mimeType = DKString(m); }
DKString dkContentDef::getFileExtension() const { return fileExtension; }
void dkContentDef::setFileExtension(const char* e) { fileExtension = DKString(e); }

dkContentDef* dkContentDef::clone() const {
    auto* copy = new dkContentDef();
    copy->setId(getId());
    copy->setType(getType().c_str());
    copy->setDescription(getDescription().c_str());
    copy->setMimeType(getMimeType().c_str());
    copy->setFileExtension(getFileExtension().c_str());
    return copy;
}
