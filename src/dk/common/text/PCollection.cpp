// src/dk/common/text/PCollection.cpp
//
// The positional pointer list the tokenizers, PStringId and connectors keep their pieces in.
// Elements sit in one array that grows and shrinks in steps of 25; cursors are plain indexes, so
// every change of the array invalidates them rather than leaving them on a shifted element.

#include <dk/PCollection.hpp>

#include <dk/DKException.hpp>
#include <dk/dkThrow.hpp>

#include <cstring>

namespace {
constexpr const char* kSource = "dk/common/PCollection";
}  // namespace

// ---------------------------------------------------------------------------------------------
// Cursor

PCollection::Cursor::Cursor(PCollection* collection) : collection_(nullptr), index_(-1) { attach(collection); }

PCollection::Cursor::Cursor(const Cursor& other) : collection_(nullptr), index_(-1) {
    attach(other.collection_);
    index_ = other.index_;
}

PCollection::Cursor& PCollection::Cursor::operator=(const Cursor& other) {
    if (this != &other) {
        if (collection_ != other.collection_) {
            detach();
            attach(other.collection_);
        }
        index_ = other.index_;
    }
    return *this;
}

PCollection::Cursor::~Cursor() { detach(); }

void PCollection::Cursor::attach(PCollection* collection) {
    collection_ = collection;
    index_ = -1;
    if (collection_ != nullptr) collection_->registerCursor(this);
}

void PCollection::Cursor::detach() {
    if (collection_ != nullptr) collection_->deregisterCursor(this);
    collection_ = nullptr;
    index_ = -1;
}

int PCollection::Cursor::setToFirst() {
    index_ = (collection_ != nullptr && collection_->count_ > 0) ? 0 : -1;
    return isValid();
}

int PCollection::Cursor::setToNext() {
    if (isValid()) ++index_;
    if (!isValid()) index_ = -1;
    return isValid();
}

int PCollection::Cursor::setToPrevious() {
    if (isValid()) --index_;
    if (!isValid()) index_ = -1;
    return isValid();
}

int PCollection::Cursor::setToLast() {
    index_ = (collection_ != nullptr && collection_->count_ > 0) ? static_cast<long>(collection_->count_ - 1) : -1;
    return isValid();
}

int PCollection::Cursor::isValid() const {
    return (collection_ != nullptr && index_ >= 0 && static_cast<unsigned long>(index_) < collection_->count_) ? 1 : 0;
}

void* PCollection::Cursor::element() const {
    if (!isValid()) dkThrow<DKUsageError>(382, kSource, "PCollection::Cursor::element");
    return collection_->elements_[index_];
}

// ---------------------------------------------------------------------------------------------
// PCollection

PCollection::PCollection(unsigned long maximum)
    : count_(0), maximum_(maximum), capacity_(0), growth_(kGrowth), elements_(nullptr), cursors_(nullptr),
      cursorCount_(0), cursorCapacity_(0) {}

PCollection::~PCollection() {
    // Cursors may outlive the collection; they must not reach back into it.
    for (unsigned long i = 0; i < cursorCount_; ++i) {
        cursors_[i]->collection_ = nullptr;
        cursors_[i]->index_ = -1;
    }
    delete[] cursors_;
    delete[] elements_;
}

void PCollection::registerCursor(Cursor* cursor) {
    if (cursorCount_ == cursorCapacity_) {
        unsigned long capacity = cursorCapacity_ == 0 ? 4 : cursorCapacity_ * 2;
        Cursor** grown = new Cursor*[capacity];
        if (cursorCount_ > 0) std::memcpy(grown, cursors_, cursorCount_ * sizeof(Cursor*));
        delete[] cursors_;
        cursors_ = grown;
        cursorCapacity_ = capacity;
    }
    cursors_[cursorCount_++] = cursor;
}

void PCollection::deregisterCursor(Cursor* cursor) {
    for (unsigned long i = 0; i < cursorCount_; ++i) {
        if (cursors_[i] == cursor) {
            cursors_[i] = cursors_[--cursorCount_];
            return;
        }
    }
}

void PCollection::invalidateCursors() {
    for (unsigned long i = 0; i < cursorCount_; ++i) cursors_[i]->index_ = -1;
}

void PCollection::checkCursor(const Cursor& cursor, const char* function) const {
    if (cursor.collection_ != this || !cursor.isValid()) dkThrow<DKUsageError>(382, kSource, function);
}

void PCollection::resizeTo(unsigned long capacity) {
    void** array = nullptr;
    if (capacity > 0) {
        array = new void*[capacity];
        if (count_ > 0) std::memcpy(array, elements_, count_ * sizeof(void*));
    }
    delete[] elements_;
    elements_ = array;
    capacity_ = capacity;
}

void PCollection::insertAt(unsigned long index, void* element, const char* function) {
    if (isFull()) dkThrow<DKUsageError>(303, kSource, function);
    if (count_ == capacity_) resizeTo(capacity_ + growth_);
    if (index < count_) std::memmove(elements_ + index + 1, elements_ + index, (count_ - index) * sizeof(void*));
    elements_[index] = element;
    ++count_;
    invalidateCursors();
}

void PCollection::add(void* element) { insertAt(count_, element, "PCollection::add"); }

void PCollection::add(void* element, Cursor& cursor) {
    checkCursor(cursor, "PCollection::add");
    insertAt(static_cast<unsigned long>(cursor.index_), element, "PCollection::add");
}

void* PCollection::removeAt(Cursor& cursor) {
    checkCursor(cursor, "PCollection::removeAt");
    unsigned long index = static_cast<unsigned long>(cursor.index_);
    void* element = elements_[index];
    std::memmove(elements_ + index, elements_ + index + 1, (count_ - index - 1) * sizeof(void*));
    --count_;
    if (capacity_ >= growth_ && count_ < capacity_ - growth_) resizeTo(capacity_ - growth_);
    invalidateCursors();
    return element;
}

void PCollection::removeAll() {
    count_ = 0;
    resizeTo(0);
    invalidateCursors();
}

void* PCollection::elementAt(const Cursor& cursor) const {
    checkCursor(cursor, "PCollection::elementAt");
    return elements_[cursor.index_];
}

void PCollection::updateAt(Cursor& cursor, void* element) {
    checkCursor(cursor, "PCollection::updateAt");
    elements_[cursor.index_] = element;
}

int PCollection::setToPosition(unsigned long position, Cursor& cursor) {
    if (position == 0) dkThrow<DKUsageError>(303, kSource, "PCollection::setToPosition");
    if (cursor.collection_ != this) {
        cursor.detach();
        cursor.attach(this);
    }
    // Equivalent to stepping from the first element position - 1 times, without the walk.
    cursor.index_ = position <= count_ ? static_cast<long>(position - 1) : -1;
    return cursor.isValid();
}

void* PCollection::operator[](unsigned long index) const {
    if (index >= count_) dkThrow<DKUsageError>(303, kSource, "PCollection::operator[]");
    return elements_[index];
}
