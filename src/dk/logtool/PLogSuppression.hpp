// src/dk/logtool/PLogSuppression.hpp
#pragma once

// Repeat suppression of logged exceptions: each message number from 1 to 9999 is written at most
// five times per process, unless the configuration turns suppression off. Safe on any thread.

namespace plog {

// Counts one more exception with message number n and tells whether it is to be left out.
bool suppressException(long n);

// Turns suppression off for the rest of the process; the counters go on counting.
void turnSuppressionOff();

}  // namespace plog
