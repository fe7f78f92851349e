// src/dk/common/datastore/dkExtension.cpp
//
// The named add-on records that datastores, services and content objects hand out: the plain
// extension and its annotation, media-stream and search-engine forms. They only hold values.

#include <dk/dkExtension.hpp>

dkExtension::dkExtension() = default;
dkExtension::dkExtension(const dkExtension& other) = default;
dkExtension& dkExtension::operator=(const dkExtension& other) = default;
dkExtension::~dkExtension() = default;

void dkExtension::setName(const char* name) {
    name_ = name;
}

DKString dkExtension::getName() const {
    return name_;
}

dkAnnotationExt::dkAnnotationExt() : pageNumber_(1), x_(1), y_(1) {}
dkAnnotationExt::dkAnnotationExt(const dkAnnotationExt& other) = default;
dkAnnotationExt& dkAnnotationExt::operator=(const dkAnnotationExt& other) = default;
dkAnnotationExt::~dkAnnotationExt() = default;

void dkAnnotationExt::setPageNumber(long pageNumber) {
    pageNumber_ = pageNumber;
}

long dkAnnotationExt::getPageNumber() const {
    return pageNumber_;
}

void dkAnnotationExt::setX(unsigned short x) {
    x_ = x;
}

unsigned short dkAnnotationExt::getX() const {
    return x_;
}

void dkAnnotationExt::setY(unsigned short y) {
    y_ = y;
}

unsigned short dkAnnotationExt::getY() const {
    return y_;
}

dkMediaStreamInfo::dkMediaStreamInfo() = default;
dkMediaStreamInfo::dkMediaStreamInfo(const dkMediaStreamInfo& other) = default;
dkMediaStreamInfo& dkMediaStreamInfo::operator=(const dkMediaStreamInfo& other) = default;
dkMediaStreamInfo::~dkMediaStreamInfo() = default;

dkSearchEngineInfo::dkSearchEngineInfo() = default;
dkSearchEngineInfo::dkSearchEngineInfo(const dkSearchEngineInfo& other) = default;
dkSearchEngineInfo& dkSearchEngineInfo::operator=(const dkSearchEngineInfo& other) = default;
dkSearchEngineInfo::~dkSearchEngineInfo() = default;

DKString dkSearchEngineInfo::getSearchEngine() const {
    return searchEngine_;
}

void dkSearchEngineInfo::setSearchEngine(const char* searchEngine) {
    searchEngine_ = searchEngine;
}

DKString dkSearchEngineInfo::getSearchIndex() const {
    return searchIndex_;
}

void dkSearchEngineInfo::setSearchIndex(const char* searchIndex) {
    searchIndex_ = searchIndex;
}

DKString dkSearchEngineInfo::getSearchInfo() const {
    return searchInfo_;
}

void dkSearchEngineInfo::setSearchInfo(const char* searchInfo) {
    searchInfo_ = searchInfo;
}
