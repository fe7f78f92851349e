// src/dk/common/errors/DKLogMessageInserts.cpp
//
// The numbered insert texts of a catalogue message and the substitution that fills a message
// template with them. Two process-wide mutexes are involved: the table mutex guards every list's
// table and count, the substitution mutex serialises substitutions. A substitution takes the
// table mutex while holding its own, never the other way round, so the two cannot deadlock.

#include <dk/DKLogMessageInserts.hpp>

#include <climits>
#include <cstring>
#include <mutex>

struct DKLogMessageInserts::Entry {
    std::string key;
    std::string value;
    Entry* next;
};

namespace {

// Both mutexes and the shared empty list live until the process ends (never destroyed), so
// exceptions built while static objects are being torn down still work.
std::mutex& tableMutex() {
    static std::mutex* m = new std::mutex;
    return *m;
}

std::mutex& substitutionMutex() {
    static std::mutex* m = new std::mutex;
    return *m;
}

unsigned bucketOf(const std::string& key) {
    unsigned h = 0;
    for (unsigned char c : key) h = h * 31u + c;
    return h % DKLogMessageInserts::kBuckets;
}

const char kFirstInsert[] = "program";

}  // namespace

DKLogMessageInserts::DKLogMessageInserts() : buckets_(), count_(0) {
    std::lock_guard<std::mutex> lock(tableMutex());
    reset();
}

DKLogMessageInserts::DKLogMessageInserts(const DKLogMessageInserts& other) : buckets_(), count_(0) {
    std::lock_guard<std::mutex> lock(tableMutex());
    for (const Entry* chain : other.buckets_)
        for (const Entry* e = chain; e; e = e->next) put(e->key, e->value.data(), e->value.size());
    count_ = other.count_;
}

DKLogMessageInserts& DKLogMessageInserts::operator=(const DKLogMessageInserts& other) {
    if (this == &other) return *this;
    std::lock_guard<std::mutex> lock(tableMutex());
    freeAll();
    for (const Entry* chain : other.buckets_)
        for (const Entry* e = chain; e; e = e->next) put(e->key, e->value.data(), e->value.size());
    count_ = other.count_;
    return *this;
}

DKLogMessageInserts::~DKLogMessageInserts() {
    std::lock_guard<std::mutex> lock(tableMutex());
    freeAll();
}

void DKLogMessageInserts::freeAll() {
    for (Entry*& chain : buckets_) {
        while (chain) {
            Entry* next = chain->next;
            delete chain;
            chain = next;
        }
    }
    count_ = 0;
}

void DKLogMessageInserts::reset() {
    freeAll();
    put("0", kFirstInsert, sizeof kFirstInsert - 1);
    count_ = 1;
}

void DKLogMessageInserts::put(const std::string& key, const char* value, unsigned long n) {
    Entry*& chain = buckets_[bucketOf(key)];
    for (Entry* e = chain; e; e = e->next) {
        if (e->key == key) {
            e->value.assign(value, n);
            return;
        }
    }
    chain = new Entry{key, std::string(value, n), chain};
}

const DKLogMessageInserts::Entry* DKLogMessageInserts::find(const std::string& key) const {
    for (const Entry* e = buckets_[bucketOf(key)]; e; e = e->next)
        if (e->key == key) return e;
    return nullptr;
}

void DKLogMessageInserts::insert(const DKString& text) {
    std::lock_guard<std::mutex> lock(tableMutex());
    put(std::to_string(count_), text.c_str(), text.length());
    ++count_;
}

void DKLogMessageInserts::insert(const char* text) {
    std::lock_guard<std::mutex> lock(tableMutex());
    put(std::to_string(count_), text ? text : "", text ? std::strlen(text) : 0);
    ++count_;
}

void DKLogMessageInserts::addFirst(const DKString& text) {
    std::lock_guard<std::mutex> lock(tableMutex());
    put("0", text.c_str(), text.length());
}

void DKLogMessageInserts::addFirst(const char* text) {
    std::lock_guard<std::mutex> lock(tableMutex());
    put("0", text ? text : "", text ? std::strlen(text) : 0);
}

DKString DKLogMessageInserts::get(int i) const {
    std::string value;
    {
        std::lock_guard<std::mutex> lock(tableMutex());
        const Entry* e = find(std::to_string(i));
        if (!e) return DKString();
        value = e->value;
    }
    // The DKString is built outside the lock: it may take its thread's string manager.
    return DKString(value);
}

int DKLogMessageInserts::size() const {
    std::lock_guard<std::mutex> lock(tableMutex());
    return count_;
}

void DKLogMessageInserts::clear() {
    std::lock_guard<std::mutex> lock(tableMutex());
    reset();
}

const DKLogMessageInserts& DKLogMessageInserts::emptyList() {
    static const DKLogMessageInserts* empty = new DKLogMessageInserts;
    return *empty;
}

// The template is scanned once, followed by one extra blank so that a placeholder at the very
// end is completed; a double '#' ends the scan at once (no extra blank then). States: 0 plain
// text, 2 after '%', 1 inside a placeholder number, 3 after '#'. A placeholder n is replaced by
// insert n; a number equal to size() gives nothing and a larger one a single blank. The
// character that ends a number is kept unless it is '#', which is why "%1%2" keeps its middle
// '%'. Inserts above the largest number met are appended after " [ADDITONAL INFO]:" so that no
// insert the template ignores is lost.
DKString DKLogMessageInserts::substitute(const char* templateText) const {
    std::lock_guard<std::mutex> lock(substitutionMutex());
    const char* t = templateText ? templateText : "";
    const long count = size();

    std::string result;
    std::string digits;
    long highest = 0;
    int state = 0;

    auto numberValue = [&digits]() {
        long n = 0;
        for (char d : digits) {
            if (n > (LONG_MAX - 9) / 10) return LONG_MAX;   // saturates: any such number is absent
            n = n * 10 + (d - '0');
        }
        return n;
    };
    auto isDigit = [](char c) { return c >= '0' && c <= '9'; };

    const std::size_t len = std::strlen(t);
    for (std::size_t i = 0; i <= len; ++i) {
        const char c = i < len ? t[i] : ' ';
        bool stop = false;
        switch (state) {
        case 0:
            if (c == '%') state = 2;
            else if (c == '#') state = 3;
            else result += c;
            break;
        case 2:
            if (isDigit(c)) {
                digits += c;
                state = 1;
            } else {
                result += c;
                state = 0;
            }
            break;
        case 1:
            if (isDigit(c)) {
                digits += c;
                break;
            } else {
                const long n = numberValue();
                if (n > highest) highest = n;
                if (n > count) result += ' ';
                else if (n < count) result += get(static_cast<int>(n)).str();
                if (c != '#') result += c;
                digits.clear();
                state = c == '%' ? 2 : c == '#' ? 3 : 0;
            }
            break;
        case 3:
            if (c == '#') {
                stop = true;
            } else if (c == '%') {
                result += '#';
                state = 1;
            } else {
                result += '#';
                result += c;
                state = 0;
            }
            break;
        }
        if (stop) break;
    }

    if (highest < count - 1) {
        result += " [ADDITONAL INFO]:";
        for (long n = highest + 1; n < count; ++n) {
            result += ' ';
            result += get(static_cast<int>(n)).str();
        }
    }
    return DKString(result);
}
