// include/dk/dkThrow.hpp
#pragma once
#include <dk/DKException.hpp>
#include <dk/DKLogMessageInserts.hpp>
#include <dk/DKString.hpp>
#include <dk/PMessageText.hpp>
#include <dk/dkExport.hpp>

#include <type_traits>

// The one way the library and its connectors throw. Each helper takes the catalogue text of the
// message number followed by a detail (or a text of its own), builds an exception of class E,
// marks it thrown, gives it its location, hands it to the current log manager and throws a copy
// by value. `source` is the path of the throwing source without extension ("dk/common/DKAny"),
// `function` the qualified function name ("DKAny::operator`short'"); the line is the caller's.
// E is DKException or one of its subclasses.

template <class E>
inline constexpr bool dkThrowable = std::is_base_of_v<DKExceptionBase, E>;

// Steps 3 to 5 of every throw: mark thrown, add the location, log. Not for direct use.
DK_API void dkThrowPrepare(DKExceptionBase& e, const char* source, const char* function,
                           unsigned long line);

template <class E>
[[noreturn]] void dkThrow(long msgId, const char* source, const char* function,
                          const DKString& detail = DKString(), unsigned long line = __builtin_LINE()) {
    static_assert(dkThrowable<E>, "dkThrow throws exceptions of the DKExceptionBase family");
    const DKString text = PClsEnv::portalMsg(static_cast<int>(msgId)) + detail;
    E e(text.c_str(), static_cast<unsigned long>(msgId), DKSeverityError, 0L, "",
        DKLogMessageInserts::emptyList());
    dkThrowPrepare(e, source, function, line);
    throw E(e);
}

template <class E>
[[noreturn]] void dkThrow(long msgId, const DKLogMessageInserts& inserts, const char* source,
                          const char* function, const DKString& detail = DKString(),
                          unsigned long line = __builtin_LINE()) {
    static_assert(dkThrowable<E>, "dkThrow throws exceptions of the DKExceptionBase family");
    const DKString text = PClsEnv::portalMsg(static_cast<int>(msgId)) + detail;
    E e(text.c_str(), static_cast<unsigned long>(msgId), DKSeverityError, 0L, "", inserts);
    dkThrowPrepare(e, source, function, line);
    throw E(e);
}

// A server error: the state (" (STATE) : ") or, without one, the return code ("(SERVER RC) : ")
// is appended to the text and kept in the exception.
template <class E>
[[noreturn]] void dkThrowServer(long msgId, const char* source, const char* function,
                                const DKString& detail, const char* errorState, long errorCode,
                                unsigned long line = __builtin_LINE()) {
    static_assert(dkThrowable<E>, "dkThrow throws exceptions of the DKExceptionBase family");
    const DKString text = PClsEnv::portalMsg(static_cast<int>(msgId)) + detail;
    E e(text.c_str(), static_cast<unsigned long>(msgId), DKSeverityError, errorCode, errorState,
        DKLogMessageInserts::emptyList());
    dkThrowPrepare(e, source, function, line);
    throw E(e);
}

// The given text replaces the catalogue text, for failures the catalogue has no words for.
template <class E>
[[noreturn]] void dkThrowText(const DKString& text, long msgId, const char* source,
                              const char* function, unsigned long line = __builtin_LINE()) {
    static_assert(dkThrowable<E>, "dkThrow throws exceptions of the DKExceptionBase family");
    E e(text.c_str(), static_cast<unsigned long>(msgId), DKSeverityError, 0L, "",
        DKLogMessageInserts::emptyList());
    dkThrowPrepare(e, source, function, line);
    throw E(e);
}
