// src/dk/common/errors/PMessageText.cpp
//
// The catalogue text every exception of the library carries, as a DKString. Reading the
// catalogue is a system call of the platform layer (PMessageCatalog); this file only keeps its
// answer, so like the catalogue it never throws.

#include <dk/PMessageText.hpp>

#include "platform/os/PMessageCatalog.hpp"

PMessageText::PMessageText(unsigned long number, const char* messageFile, int alternate)
    : text_(PMessageCatalog::text(number, messageFile, alternate)) {}

PMessageText::~PMessageText() = default;

DKString PMessageText::text() const { return text_; }

PMessageText::operator const char*() const { return static_cast<const char*>(text_); }

DKString PClsEnv::portalMsg(int n) {
    return PMessageText(static_cast<unsigned long>(static_cast<long>(n)), dkMessageFile, 300).text();
}
