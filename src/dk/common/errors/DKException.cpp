// src/dk/common/errors/DKException.cpp
//
// The exception family every failure of the library is reported with: building the message text
// from a template, its inserts and the server information, keeping texts and locations as deep
// copies (a thrown copy must not share anything with the object that was logged), and the text
// form the log manager writes.

#include <dk/DKException.hpp>

#include <atomic>
#include <cstring>
#include <string>

namespace {

// Set at every throw site and cleared when a handler reads a text; only a hint, so relaxed.
std::atomic<short> thrownFlag{0};

char* copyText(const char* text) {
    const char* s = text ? text : "";
    const std::size_t n = std::strlen(s);
    char* copy = new char[n + 1];
    std::memcpy(copy, s, n + 1);
    return copy;
}

constexpr unsigned long kFirstCapacity = 5;
constexpr unsigned long kGrowth = 10;

}  // namespace

// ---------------------------------------------------------------------------------------------

dkLogException::~dkLogException() = default;

// ---------------------------------------------------------------------------------------------

DKExceptionLocation::DKExceptionLocation()
    : fileName_(copyText(nullptr)), functionName_(copyText(nullptr)), lineNumber_(0) {}

DKExceptionLocation::DKExceptionLocation(const char* fileName, const char* functionName,
                                         unsigned long lineNumber)
    : fileName_(copyText(fileName)),
      functionName_(copyText(functionName)),
      lineNumber_(static_cast<unsigned int>(lineNumber)) {}

DKExceptionLocation::DKExceptionLocation(const DKExceptionLocation& other)
    : fileName_(copyText(other.fileName_)),
      functionName_(copyText(other.functionName_)),
      lineNumber_(other.lineNumber_) {}

DKExceptionLocation& DKExceptionLocation::operator=(const DKExceptionLocation& other) {
    if (this == &other) return *this;
    // Both copies are made before anything is freed, so a failed allocation leaves this intact.
    char* file = copyText(other.fileName_);
    char* function;
    try {
        function = copyText(other.functionName_);
    } catch (...) {
        delete[] file;
        throw;
    }
    delete[] fileName_;
    delete[] functionName_;
    fileName_ = file;
    functionName_ = function;
    lineNumber_ = other.lineNumber_;
    return *this;
}

DKExceptionLocation::~DKExceptionLocation() {
    delete[] fileName_;
    delete[] functionName_;
}

// ---------------------------------------------------------------------------------------------

DKExceptionBase::DKExceptionBase(const char* text, unsigned long messageId, DKSeverity severity,
                                 long errorCode, const char* errorState,
                                 const DKLogMessageInserts& inserts)
    : dkLogException(static_cast<long>(messageId)),
      texts_(nullptr),
      errorId_(static_cast<unsigned int>(messageId)),
      severity_(severity),
      textCount_(0),
      textCapacity_(0),
      textGrowth_(kGrowth),
      locationCount_(0) {
    initialise(text, errorCode, errorState, inserts);
}

DKExceptionBase::DKExceptionBase(const char* text, unsigned long messageId, const char* errorState,
                                 long errorCode, const DKLogMessageInserts& inserts)
    : DKExceptionBase(text, messageId, DKSeverityError, errorCode, errorState, inserts) {}

DKExceptionBase::DKExceptionBase(const DKExceptionBase& other)
    : dkLogException(other),
      texts_(nullptr),
      errorId_(other.errorId_),
      severity_(other.severity_),
      textCount_(0),
      textCapacity_(0),
      textGrowth_(kGrowth),
      locationCount_(0) {
    try {
        copyFrom(other);
    } catch (...) {
        freeTexts();
        throw;
    }
}

DKExceptionBase& DKExceptionBase::operator=(const DKExceptionBase& other) {
    if (this == &other) return *this;
    dkLogException::operator=(other);
    freeTexts();
    errorId_ = other.errorId_;
    severity_ = other.severity_;
    copyFrom(other);
    return *this;
}

DKExceptionBase::~DKExceptionBase() { freeTexts(); }

void DKExceptionBase::initialise(const char* text, long errorCode, const char* errorState,
                                 const DKLogMessageInserts& inserts) {
    DKString result = inserts.size() > 0 ? inserts.substitute(text) : DKString(text);
    if (errorState && *errorState) {
        result += " (STATE) : ";
        result += errorState;
    } else if (errorCode != 0) {
        result += "(SERVER RC) : ";
        result += DKString(errorCode);
    }
    if (result.length() > 0) setText(result.c_str());
}

void DKExceptionBase::copyFrom(const DKExceptionBase& other) {
    // Texts keep their order (oldest first inside), so text(i) means the same on the copy.
    for (unsigned long i = 0; i < other.textCount_; ++i) addText(other.texts_[i]);
    for (unsigned int i = 0; i < other.locationCount_; ++i) locations_[i] = other.locations_[i];
    locationCount_ = other.locationCount_;
}

void DKExceptionBase::freeTexts() {
    for (unsigned long i = 0; i < textCount_; ++i) delete[] texts_[i];
    delete[] texts_;
    texts_ = nullptr;
    textCount_ = 0;
    textCapacity_ = 0;
}

void DKExceptionBase::addText(const char* text) {
    // The array grows before the copy is made, so a failed allocation leaks nothing.
    if (textCount_ == textCapacity_) {
        const unsigned long capacity = textCapacity_ == 0 ? kFirstCapacity : textCapacity_ + textGrowth_;
        char** grown = new char*[capacity];
        for (unsigned long i = 0; i < textCount_; ++i) grown[i] = texts_[i];
        delete[] texts_;
        texts_ = grown;
        textCapacity_ = capacity;
    }
    texts_[textCount_] = copyText(text);
    ++textCount_;
}

void DKExceptionBase::setText(const char* text) {
    if (!text) return;
    addText(text);
}

void DKExceptionBase::appendText(const char* text) {
    if (!text) return;
    if (textCount_ == 0) {
        setText(text);
        return;
    }
    char*& newest = texts_[textCount_ - 1];
    const std::size_t a = std::strlen(newest);
    const std::size_t b = std::strlen(text);
    char* joined = new char[a + b + 1];
    std::memcpy(joined, newest, a);
    std::memcpy(joined + a, text, b + 1);
    delete[] newest;
    newest = joined;
}

const char* DKExceptionBase::text(unsigned long i) {
    setThrown(0);
    if (i >= textCount_) return nullptr;
    return texts_[textCount_ - 1 - i];
}

unsigned long DKExceptionBase::textCount() {
    setThrown(0);
    return textCount_;
}

unsigned long DKExceptionBase::textCount() const {
    setThrown(0);
    return textCount_;
}

const char* DKExceptionBase::what() const noexcept {
    return textCount_ > 0 ? texts_[textCount_ - 1] : "";
}

void DKExceptionBase::addLocation(const DKExceptionLocation& location) {
    // The first four places and the latest one are the useful ones: where it arose and where it
    // was finally handled.
    if (locationCount_ < kMaxLocations) locations_[locationCount_++] = location;
    else locations_[kMaxLocations - 1] = location;
}

const DKExceptionLocation* DKExceptionBase::locationAtIndex(unsigned long i) const {
    return i < locationCount_ ? &locations_[i] : nullptr;
}

void DKExceptionBase::setThrown(short thrown) { thrownFlag.store(thrown, std::memory_order_relaxed); }

short DKExceptionBase::isThrown() { return thrownFlag.load(std::memory_order_relaxed); }

DKString DKExceptionBase::toString() const {
    std::string out;
    for (unsigned int i = 0; i < locationCount_; ++i) {
        out += "[LOC]: (";
        out += locations_[i].fileName();
        out += ':';
        out += locations_[i].functionName();
        out += "):";
        out += std::to_string(locations_[i].lineNumber());
        out += '\n';
    }
    for (unsigned long i = textCount_; i > 0; --i) {
        out += "[MSG]: ";
        out += texts_[i - 1];
        out += '\n';
    }
    return DKString(out);
}

// ---------------------------------------------------------------------------------------------

DKException::DKException(const char* text, unsigned long messageId, DKSeverity severity,
                         long errorCode, const char* errorState, const DKLogMessageInserts& inserts)
    : DKExceptionBase(text, messageId, severity, errorCode, errorState, inserts),
      errorCode_(errorCode),
      errorState_(errorState),
      errorProvided_(errorCode != 0 || (errorState && *errorState) ? 1 : 0) {}

DKException::DKException(const char* text, unsigned long messageId, const char* errorState,
                         long errorCode, const DKLogMessageInserts& inserts)
    : DKException(text, messageId, DKSeverityError, errorCode, errorState, inserts) {}

DKException::~DKException() = default;

const char* DKException::name() const { return "DKException"; }
const char* DKException::errorState() const { return errorState_.c_str(); }
long DKException::errorCode() const { return errorCode_; }
int DKException::errorProvided() const { return errorProvided_; }
long DKException::exceptionId() const { return 1; }

// Out of line, so that each class's type information lives in this library only and a handler
// in any other library or program matches it.
#define DK_DEFINE_EXCEPTION(Class, id)                         \
    Class::~Class() = default;                                 \
    const char* Class::name() const { return #Class; }         \
    long Class::exceptionId() const { return id; }

DK_DEFINE_EXCEPTION(DKDatastoreError, 2)
DK_DEFINE_EXCEPTION(DKSystemError, 3)
DK_DEFINE_EXCEPTION(DKUsageError, 4)
DK_DEFINE_EXCEPTION(DKNotExistException, 4)
DK_DEFINE_EXCEPTION(DKAlreadyExistException, 4)
DK_DEFINE_EXCEPTION(DKXDOError, 5)
DK_DEFINE_EXCEPTION(DKDatastoreAccessError, 6)
DK_DEFINE_EXCEPTION(DKXDOAccessError, 7)
DK_DEFINE_EXCEPTION(DKDataObjectNotFound, 8)
DK_DEFINE_EXCEPTION(DKDataObjectAlreadyExists, 9)
DK_DEFINE_EXCEPTION(DKDataObjectNotUnique, 10)
DK_DEFINE_EXCEPTION(DKLogonFailure, 11)
DK_DEFINE_EXCEPTION(DKLogonPromptException, 12)
DK_DEFINE_EXCEPTION(DKServerNotAvailable, 13)
DK_DEFINE_EXCEPTION(DKDatabaseLogonFailure, 16)
DK_DEFINE_EXCEPTION(DKPasswordExpiredException, 19)
DK_DEFINE_EXCEPTION(DKNotCheckedOutException, 4)
DK_DEFINE_EXCEPTION(DKInvalidParameterException, 4)

#undef DK_DEFINE_EXCEPTION
