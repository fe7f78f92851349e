// src/dk/logtool/PLogSuppression.cpp
//
// The counters behind the repeat suppression of exceptions: one small counter per message number,
// raised up to 6, under the suppression mutex. Numbers outside 1..9999 are never counted and
// never suppressed.

#include "dk/logtool/PLogSuppression.hpp"

#include <dk/PMutex.hpp>

#include <cstdint>

namespace {

constexpr long kNumbers = 10000;
constexpr std::uint16_t kWrittenAtMost = 5;

struct Suppression {
    PMutex mutex;
    bool on = true;
    std::uint16_t counters[kNumbers] = {};
};

Suppression& suppression() {
    static Suppression* s = new Suppression;   // never freed: exceptions may be logged during exit
    return *s;
}

}  // namespace

namespace plog {

bool suppressException(long n) {
    Suppression& s = suppression();
    bool counted = n >= 1 && n < kNumbers;
    PMutexWrapper lock(&s.mutex);
    if (counted && s.counters[n] <= kWrittenAtMost) ++s.counters[n];
    return s.on && counted && s.counters[n] > kWrittenAtMost;
}

void turnSuppressionOff() {
    Suppression& s = suppression();
    PMutexWrapper lock(&s.mutex);
    s.on = false;
}

}  // namespace plog
