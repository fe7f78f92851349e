// src/dk/common/net/pError.cpp
//
// The error reports of the socket and file layer under DKURL: the symbolic name and text of an
// errno or getaddrinfo code (from the table of the POSIX layer), and the throw that carries them.

#include <dk/DKURL.hpp>
#include <dk/dkThrow.hpp>

#include "platform/os/PSocket.hpp"

namespace {

constexpr const char* kSource = "dk/common/pError";

}  // namespace

const char* pError::name(int errorNumber) { return PSocket::errorName(errorNumber); }

const char* pError::text(int errorNumber) { return PSocket::errorText(errorNumber); }

void pError::raise(int errorNumber, const DKString& detail) {
    const DKString message = DKString(name(errorNumber)) + ": " + text(errorNumber) + " " + detail;
    dkThrowText<DKXDOError>(message, 0, kSource, "pError::pError");
}

pError::pError(int errorNumber, const DKString& detail) { raise(errorNumber, detail); }

pError::~pError() = default;
