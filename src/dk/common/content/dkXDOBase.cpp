// src/dk/common/content/dkXDOBase.cpp
//
// The root of the content objects, whose value and open operations are left to the concrete
// classes of connectors, and the one refusal all content placeholders share.

#include <dk/dkXDO.hpp>

#include <dk/DKException.hpp>
#include <dk/dkThrow.hpp>

#include <string>

#include "dk/common/content/dkContentReject.hpp"

namespace {
constexpr const char* kSource = "dk/common/dkXDOBase";
}  // namespace

void dkRejectContent(const char* source, const char* operation, bool leading, unsigned long line) {
    const std::string path(source), op(operation);
    const std::string cls = path.substr(path.rfind('/') + 1);
    std::string name = op.substr(0, op.find_first_of("( "));
    if (name.compare(0, 8, "operator") == 0) name = "operator`" + name.substr(8) + "'";
    const std::string function = cls + "::" + name;
    if (leading)
        dkThrowText<DKUsageError>(DKString(operation) + PClsEnv::portalMsg(341), 341, source, function.c_str(), line);
    dkThrow<DKUsageError>(341, source, function.c_str(), DKString((cls + "::" + op).c_str()), line);
}

dkXDOBase::dkXDOBase() = default;
dkXDOBase::dkXDOBase(const dkXDOBase& other) = default;
dkXDOBase::~dkXDOBase() = default;

short dkXDOBase::protocol() const { return DKProtocolXDOBase; }

long dkXDOBase::readBytes(char*, long, long) { dkRejectContent(kSource, "readBytes ", true); }
long dkXDOBase::writeBytes(const char*, long, long) { dkRejectContent(kSource, "writeBytes ", true); }
void dkXDOBase::setValue(void*) { dkRejectContent(kSource, "setValue ", true); }
void dkXDOBase::getValue(void*&) { dkRejectContent(kSource, "getValue ", true); }
void dkXDOBase::setValueString(const char*, long) { dkRejectContent(kSource, "setValueString ", true); }
void dkXDOBase::getValueString(const char*&, long&) { dkRejectContent(kSource, "getValueString ", true); }
void dkXDOBase::deletingValue() {}
dkXDOBase& dkXDOBase::operator=(const dkDataObjectBase&) { dkRejectContent(kSource, "operator= ", true); }
int dkXDOBase::operator==(const dkDataObjectBase&) const { dkRejectContent(kSource, "operator== ", true); }
int dkXDOBase::operator!=(const dkDataObjectBase&) const { dkRejectContent(kSource, "operator!= ", true); }
void dkXDOBase::open(const char*) { dkRejectContent(kSource, "open(fn) ", true); }
void dkXDOBase::open() { dkRejectContent(kSource, "open ", true); }
void dkXDOBase::setInstanceOpenHandler(const char*, int) {}
void dkXDOBase::setClassOpenHandler(const char*, int) {}
DKString dkXDOBase::getOpenHandler() const { return DKString(); }
int dkXDOBase::isOpenSynchronous() const { return 1; }
