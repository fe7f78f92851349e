// include/dk/dkContentDef.hpp
#pragma once
#include <dk/DKString.hpp>
#include <dk/dkExport.hpp>

// The descriptor of one content kind: id (0 at construction), type, description, MIME type and
// file extension (empty at construction). Holds its texts by value; clone() gives a new
// descriptor that the caller owns. One thread at a time.
class DK_API dkContentDef {
public:
    dkContentDef();
    virtual ~dkContentDef();

    virtual long getId() const;
    virtual void setId(long id);
    virtual DKString getType() const;
    virtual void setType(const char* type);
    virtual DKString getDescription() const;
    virtual void setDescription(const char* description);
    virtual DKString getMimeType() const;
    virtual void setMimeType(const char* mimeType);
    virtual DKString getFileExtension() const;
    virtual void setFileExtension(const char* extension);
    // A new dkContentDef given this object's five values through its setters.
    virtual dkContentDef* clone() const;

private:
    long id;
    DKString type;
    DKString description;
    DKString mimeType;
    DKString fileExtension;
};
