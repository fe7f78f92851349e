// include/dk/dkExtension.hpp
#pragma once
#include <dk/DKString.hpp>
#include <dk/dkExport.hpp>

// A named add-on object that datastores, services and content objects hand out by name
// (getExtension). Only subclasses are made; the handing object keeps its extensions. Used by one
// thread at a time.
class DK_API dkExtension {
public:
    virtual ~dkExtension();

    virtual void setName(const char* name);   // a null name gives an empty one
    virtual DKString getName() const;

protected:
    dkExtension();
    dkExtension(const dkExtension& other);
    dkExtension& operator=(const dkExtension& other);

private:
    DKString name_;
};

// Where an annotation sits: its page (from 1) and its x and y position on that page, each 1 when
// made. A plain value record; one thread at a time.
class DK_API dkAnnotationExt : public dkExtension {
public:
    ~dkAnnotationExt() override;

    virtual void setPageNumber(long pageNumber);
    virtual long getPageNumber() const;
    virtual void setX(unsigned short x);
    virtual unsigned short getX() const;
    virtual void setY(unsigned short y);
    virtual unsigned short getY() const;

protected:
    dkAnnotationExt();
    dkAnnotationExt(const dkAnnotationExt& other);
    dkAnnotationExt& operator=(const dkAnnotationExt& other);

private:
    long pageNumber_;
    unsigned short x_;
    unsigned short y_;
};

// Marks a content object as a media stream; carries nothing beyond the extension's name.
class DK_API dkMediaStreamInfo : public dkExtension {
public:
    ~dkMediaStreamInfo() override;

protected:
    dkMediaStreamInfo();
    dkMediaStreamInfo(const dkMediaStreamInfo& other);
    dkMediaStreamInfo& operator=(const dkMediaStreamInfo& other);
};

// Which search engine and index a text search uses, with the engine's extra information; all
// three empty when made. A plain value record; one thread at a time.
class DK_API dkSearchEngineInfo : public dkExtension {
public:
    ~dkSearchEngineInfo() override;

    virtual DKString getSearchEngine() const;
    virtual void setSearchEngine(const char* searchEngine);
    virtual DKString getSearchIndex() const;
    virtual void setSearchIndex(const char* searchIndex);
    virtual DKString getSearchInfo() const;
    virtual void setSearchInfo(const char* searchInfo);

protected:
    dkSearchEngineInfo();
    dkSearchEngineInfo(const dkSearchEngineInfo& other);
    dkSearchEngineInfo& operator=(const dkSearchEngineInfo& other);

private:
    DKString searchEngine_;
    DKString searchIndex_;
    DKString searchInfo_;
};
