// include/dk/DKException.hpp
#pragma once
#include <dk/DKLogMessageInserts.hpp>
#include <dk/DKString.hpp>
#include <dk/dkExport.hpp>

#include <exception>

// How grave a reported error is. Every throw of the library passes DKSeverityError (0); the
// other values exist for callers that build exceptions of their own.
enum DKSeverity : int {
    DKSeverityError = 0,
    DKSeverityWarning = 1,
    DKSeverityInfo = 2,
    DKSeverityFatal = 3
};

// The root of everything the log manager can report: a catalogue message number and the two
// abstract operations the log uses. Derived from std::exception so generic handlers catch it too;
// what() gives the newest message text (empty when there is none).
class DK_API dkLogException : public std::exception {
public:
    dkLogException() noexcept : messageId(0) {}
    explicit dkLogException(long msgId) noexcept : messageId(msgId) {}
    ~dkLogException() override;

    virtual DKString toString() const = 0;
    virtual const char* name() const = 0;

    long errorMessageId() const { return messageId; }

protected:
    long messageId;   // the catalogue message number
};

// One place an exception passed through: source path (without extension), qualified function
// name and line. Owns copies of both texts; a null pointer is kept as an empty text.
class DK_API DKExceptionLocation {
public:
    DKExceptionLocation();
    DKExceptionLocation(const char* fileName, const char* functionName, unsigned long lineNumber);
    DKExceptionLocation(const DKExceptionLocation& other);
    DKExceptionLocation& operator=(const DKExceptionLocation& other);
    virtual ~DKExceptionLocation();

    const char* fileName() const { return fileName_; }
    const char* functionName() const { return functionName_; }
    unsigned long lineNumber() const { return lineNumber_; }

private:
    char* fileName_;       // owned, never null
    char* functionName_;   // owned, never null
    unsigned int lineNumber_;
};

// The base of every exception the library throws: the message texts (newest last inside, but
// numbered newest first), up to five locations and the message number. Copies are deep, so a
// thrown copy is independent of the object that was logged. One object is used by one thread at
// a time; the thrown flag is process-wide and only a hint.
class DK_API DKExceptionBase : public dkLogException {
public:
    // Form 1. The text is run through the insert substitution of DKLogMessageInserts, then the
    // server state or code is appended; a non-empty result becomes the first text.
    DKExceptionBase(const char* text, unsigned long messageId, DKSeverity severity, long errorCode,
                    const char* errorState,
                    const DKLogMessageInserts& inserts = DKLogMessageInserts::emptyList());
    // Form 2: severity 0, and the error state comes before the error code.
    DKExceptionBase(const char* text, unsigned long messageId, const char* errorState, long errorCode,
                    const DKLogMessageInserts& inserts = DKLogMessageInserts::emptyList());
    DKExceptionBase(const DKExceptionBase& other);
    DKExceptionBase& operator=(const DKExceptionBase& other);
    ~DKExceptionBase() override;

    DKString toString() const override;
    const char* what() const noexcept override;   // the newest text; does not touch the thrown flag

    void setText(const char* text);      // adds a newest text; null is ignored
    void appendText(const char* text);   // extends the newest text; null is ignored
    const char* text(unsigned long i);   // 0 = newest; null when out of range; clears the thrown flag
    unsigned long textCount();           // clears the thrown flag
    unsigned long textCount() const;     // clears the thrown flag

    void addLocation(const DKExceptionLocation& location);   // past five, replaces the fifth
    unsigned long locationCount() const { return locationCount_; }
    const DKExceptionLocation* locationAtIndex(unsigned long i) const;   // 0 = oldest

    unsigned long errorId() const { return errorId_; }

    static void setThrown(short thrown);
    static short isThrown();

    static constexpr unsigned long kMaxLocations = 5;

private:
    void initialise(const char* text, long errorCode, const char* errorState,
                    const DKLogMessageInserts& inserts);
    void copyFrom(const DKExceptionBase& other);
    void freeTexts();
    void addText(const char* text);   // a copy, as the newest entry

    char** texts_;                   // owned texts, oldest first
    unsigned int errorId_;
    DKSeverity severity_;
    unsigned long textCount_;
    unsigned long textCapacity_;     // starts at 5
    unsigned long textGrowth_;       // 10
    DKExceptionLocation locations_[kMaxLocations];
    unsigned int locationCount_;
};

// The concrete exception of the library, with the optional state and return code of a
// repository server. Subclasses differ only in name() and exceptionId().
class DK_API DKException : public DKExceptionBase {
public:
    DKException(const char* text, unsigned long messageId, DKSeverity severity, long errorCode,
                const char* errorState,
                const DKLogMessageInserts& inserts = DKLogMessageInserts::emptyList());
    DKException(const char* text, unsigned long messageId, const char* errorState, long errorCode,
                const DKLogMessageInserts& inserts = DKLogMessageInserts::emptyList());
    DKException(const DKException& other) = default;
    DKException& operator=(const DKException& other) = default;
    ~DKException() override;

    const char* name() const override;
    virtual const char* errorState() const;
    virtual long errorCode() const;
    virtual int errorProvided() const;   // 1 when a server code or state was given
    virtual long exceptionId() const;

private:
    long errorCode_;
    DKString errorState_;
    int errorProvided_;
};

// The subclasses: the constructors of DKException, their own name() and exceptionId().
#define DK_DECLARE_EXCEPTION(Class, Base)              \
    class DK_API Class : public Base {                 \
    public:                                            \
        using Base::Base;                              \
        Class(const Class& other) = default;           \
        Class& operator=(const Class& other) = default; \
        ~Class() override;                             \
        const char* name() const override;             \
        long exceptionId() const override;             \
    }

DK_DECLARE_EXCEPTION(DKDatastoreError, DKException);
DK_DECLARE_EXCEPTION(DKSystemError, DKException);
DK_DECLARE_EXCEPTION(DKUsageError, DKException);
DK_DECLARE_EXCEPTION(DKNotExistException, DKException);
DK_DECLARE_EXCEPTION(DKAlreadyExistException, DKException);
DK_DECLARE_EXCEPTION(DKXDOError, DKException);
DK_DECLARE_EXCEPTION(DKDatastoreAccessError, DKException);
DK_DECLARE_EXCEPTION(DKXDOAccessError, DKDatastoreAccessError);
DK_DECLARE_EXCEPTION(DKDataObjectNotFound, DKDatastoreAccessError);
DK_DECLARE_EXCEPTION(DKDataObjectAlreadyExists, DKDatastoreAccessError);
DK_DECLARE_EXCEPTION(DKDataObjectNotUnique, DKDatastoreAccessError);
DK_DECLARE_EXCEPTION(DKLogonFailure, DKDatastoreAccessError);
DK_DECLARE_EXCEPTION(DKLogonPromptException, DKDatastoreAccessError);
DK_DECLARE_EXCEPTION(DKServerNotAvailable, DKDatastoreAccessError);
DK_DECLARE_EXCEPTION(DKDatabaseLogonFailure, DKLogonFailure);
DK_DECLARE_EXCEPTION(DKPasswordExpiredException, DKLogonFailure);
DK_DECLARE_EXCEPTION(DKNotCheckedOutException, DKDatastoreAccessError);
DK_DECLARE_EXCEPTION(DKInvalidParameterException, DKUsageError);

#undef DK_DECLARE_EXCEPTION
