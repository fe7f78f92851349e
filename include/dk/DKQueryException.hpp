// include/dk/DKQueryException.hpp
#pragma once
#include <dk/DKException.hpp>
#include <dk/DKLogMessageInserts.hpp>
#include <dk/DKString.hpp>
#include <dk/dkExport.hpp>

#include <type_traits>

namespace dkQueryExceptionDetail {
// A text argument: anything that reads as const char* except an integer, so that a literal 0
// is always taken as a number and never as a null text.
template <class T>
using IfText = std::enable_if_t<std::is_convertible_v<T, const char*> && !std::is_integral_v<T>, int>;
// The same rule for the exception to copy.
template <class P>
using IfException =
    std::enable_if_t<std::is_pointer_v<P> && std::is_convertible_v<P, const DKException*>, int>;
}  // namespace dkQueryExceptionDetail

// A failure while parsing or running a query: the DKException part plus the reason code and the
// offsets (left, right) of the faulty part of the query string. Without a text of its own the
// text is the catalogue message of the number. A value; used by one thread at a time.
class DK_API DKQueryException : public DKException {
public:
    // The general forms, as every exception of the family has them.
    DKQueryException(const char* text, unsigned long messageId, DKSeverity severity, long errorCode,
                     const char* errorState,
                     const DKLogMessageInserts& inserts = DKLogMessageInserts::emptyList());
    DKQueryException(const char* text, unsigned long messageId, const char* errorState, long errorCode,
                     const DKLogMessageInserts& inserts);

    explicit DKQueryException(long msgId);
    DKQueryException(long msgId, const DKLogMessageInserts& inserts);
    DKQueryException(long msgId, long reason);
    DKQueryException(long msgId, long reason, const DKLogMessageInserts& inserts);
    DKQueryException(long msgId, long left, long right);
    DKQueryException(long msgId, const DKLogMessageInserts& inserts, long left, long right);

    template <class P, dkQueryExceptionDetail::IfException<P> = 0>
    DKQueryException(P e, long left, long right)
        : DKQueryException(Copy(), *static_cast<const DKException*>(e), left, right) {}

    template <class T, dkQueryExceptionDetail::IfText<T> = 0>
    DKQueryException(T text, long msgId, long left, long right)
        : DKQueryException(Build(), msgId, asText(text), DKLogMessageInserts::emptyList(), 0, left, right) {}
    template <class T, dkQueryExceptionDetail::IfText<T> = 0>
    DKQueryException(T text, long msgId, const DKLogMessageInserts& inserts, long left, long right)
        : DKQueryException(Build(), msgId, asText(text), inserts, 0, left, right) {}
    template <class T, dkQueryExceptionDetail::IfText<T> = 0>
    DKQueryException(long msgId, T text)
        : DKQueryException(Build(), msgId, asText(text), DKLogMessageInserts::emptyList(), 0, 0, 0) {}
    template <class T, dkQueryExceptionDetail::IfText<T> = 0>
    DKQueryException(long msgId, const DKLogMessageInserts& inserts, T text)
        : DKQueryException(Build(), msgId, asText(text), inserts, 0, 0, 0) {}
    template <class T, dkQueryExceptionDetail::IfText<T> = 0>
    DKQueryException(long msgId, long reason, T text)
        : DKQueryException(Build(), msgId, asText(text), DKLogMessageInserts::emptyList(), reason, 0, 0) {}
    template <class T, dkQueryExceptionDetail::IfText<T> = 0>
    DKQueryException(long msgId, long reason, const DKLogMessageInserts& inserts, T text)
        : DKQueryException(Build(), msgId, asText(text), inserts, reason, 0, 0) {}
    template <class T, dkQueryExceptionDetail::IfText<T> = 0>
    DKQueryException(long msgId, long left, long right, T text)
        : DKQueryException(Build(), msgId, asText(text), DKLogMessageInserts::emptyList(), 0, left, right) {}
    template <class T, dkQueryExceptionDetail::IfText<T> = 0>
    DKQueryException(long msgId, const DKLogMessageInserts& inserts, long left, long right, T text)
        : DKQueryException(Build(), msgId, asText(text), inserts, 0, left, right) {}

    DKQueryException(const DKQueryException& other) = default;
    DKQueryException& operator=(const DKQueryException& other) = default;
    ~DKQueryException() override;

    const char* name() const override;

    void setLeftPosition(long left) { leftPosition_ = left; }
    void setRightPosition(long right) { rightPosition_ = right; }
    void setQueryString(const char* query) { queryString_ = DKString(query); }
    long leftPosition() const { return leftPosition_; }
    long rightPosition() const { return rightPosition_; }
    long reason() const { return reason_; }
    DKString queryString() const { return queryString_; }

private:
    struct Build {};
    struct Copy {};
    // A text argument, or none (given false): then the catalogue text of the number is used.
    // A null text given explicitly counts as an empty one.
    struct Text {
        const char* p;
        bool given;
    };
    template <class T>
    static Text asText(const T& text) {
        return Text{static_cast<const char*>(text), true};
    }

    DKQueryException(Build, long msgId, Text text, const DKLogMessageInserts& inserts, long reason,
                     long left, long right);
    DKQueryException(Copy, const DKException& e, long left, long right);

    long leftPosition_ = 0;
    long rightPosition_ = 0;
    long reason_ = 0;
    DKString queryString_;
};
