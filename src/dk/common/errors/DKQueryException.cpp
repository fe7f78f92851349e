// src/dk/common/errors/DKQueryException.cpp
//
// The exception of query parsing and running. Its many constructors all come down to two: one
// that builds the message (the caller's text, or the catalogue text of the number) and one that
// copies another exception; both then record the reason and the offsets into the query.

#include <dk/DKQueryException.hpp>
#include <dk/PMessageText.hpp>

DKQueryException::DKQueryException(const char* text, unsigned long messageId, DKSeverity severity,
                                   long errorCode, const char* errorState,
                                   const DKLogMessageInserts& inserts)
    : DKException(text, messageId, severity, errorCode, errorState, inserts) {}

DKQueryException::DKQueryException(const char* text, unsigned long messageId, const char* errorState,
                                   long errorCode, const DKLogMessageInserts& inserts)
    : DKException(text, messageId, errorState, errorCode, inserts) {}

DKQueryException::DKQueryException(long msgId)
    : DKQueryException(Build(), msgId, Text{nullptr, false}, DKLogMessageInserts::emptyList(), 0, 0, 0) {}

DKQueryException::DKQueryException(long msgId, const DKLogMessageInserts& inserts)
    : DKQueryException(Build(), msgId, Text{nullptr, false}, inserts, 0, 0, 0) {}

DKQueryException::DKQueryException(long msgId, long reason)
    : DKQueryException(Build(), msgId, Text{nullptr, false}, DKLogMessageInserts::emptyList(), reason, 0, 0) {}

DKQueryException::DKQueryException(long msgId, long reason, const DKLogMessageInserts& inserts)
    : DKQueryException(Build(), msgId, Text{nullptr, false}, inserts, reason, 0, 0) {}

DKQueryException::DKQueryException(long msgId, long left, long right)
    : DKQueryException(Build(), msgId, Text{nullptr, false}, DKLogMessageInserts::emptyList(), 0, left, right) {}

DKQueryException::DKQueryException(long msgId, const DKLogMessageInserts& inserts, long left, long right)
    : DKQueryException(Build(), msgId, Text{nullptr, false}, inserts, 0, left, right) {}

DKQueryException::DKQueryException(Build, long msgId, Text text, const DKLogMessageInserts& inserts,
                                   long reason, long left, long right)
    : DKException((text.given ? DKString(text.p) : PClsEnv::portalMsg(static_cast<int>(msgId))).c_str(),
                  static_cast<unsigned long>(msgId), DKSeverityError, 0, "", inserts),
      leftPosition_(left),
      rightPosition_(right),
      reason_(reason) {}

DKQueryException::DKQueryException(Copy, const DKException& e, long left, long right)
    : DKException(e), leftPosition_(left), rightPosition_(right) {}

DKQueryException::~DKQueryException() = default;

const char* DKQueryException::name() const { return "DKQueryException"; }
