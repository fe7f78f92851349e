// fuzz/DKDecimal_fuzz.cpp
//
// Decimal text from outside: any bytes given to DKDecimal(const char*) either parse or are refused
// with DKUsageError 303; anything else escaping, a crash or undefined behaviour is a finding. A
// parsed value's text form must parse back to the same value and scale, and be a fixed point from
// then on (parse(format(x)) == x for x = parse(format(parse(t)))). Arithmetic and conversions on
// the result may only fail with 303 as well.

#include "dkFuzzSupport.hpp"

#include <dk/DKDecimal.hpp>
#include <dk/DKException.hpp>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

[[noreturn]] void finding(const char* what, const std::string& input) {
    std::fprintf(stderr, "DKDecimal_fuzz: %s for input '%s'\n", what, input.c_str());
    std::abort();
}

// Runs f; a DKUsageError 303 is an accepted refusal, any other number is a finding. Other
// exceptions are left to escape, which libFuzzer reports.
template <class F>
void refusedOr(F f, const std::string& input) {
    try {
        f();
    } catch (DKUsageError& e) {
        if (e.errorId() != 303) finding("a usage error other than 303", input);
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    dkFuzzInit();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The constructor reads a zero-terminated text, so the input ends at its first zero byte.
    std::string input(reinterpret_cast<const char*>(data), size);
    const char* text = input.c_str();

    DKDecimal d;
    try {
        d = DKDecimal(text);
    } catch (DKUsageError& e) {
        if (e.errorId() != 303) finding("a usage error other than 303", input);
        return 0;
    }

    DKString formatted = d.toString();
    std::string s = formatted.str();
    if (s.size() > DKDecimal::kMaxText) finding("a text form longer than the parser reads", input);
    if (s.size() >= 2 && s[0] == '-' && s.find_first_of("123456789") == std::string::npos)
        finding("a negative zero", input);

    DKDecimal back;
    try {
        back = DKDecimal(s.c_str());
    } catch (DKUsageError&) {
        finding("a text form that does not parse", input);
    }
    if (back.toString().str() != s) finding("a text form that reads back as another value", input);
    if (back.getScale() != d.getScale()) finding("a text form that reads back with another scale", input);
    if (!(DKDecimal(back.toString().c_str()) == back)) finding("parse(format(x)) != x", input);

    // Conversions and arithmetic on what was parsed: exact or refused, never anything else.
    double asDouble = d.toDouble();
    (void)asDouble;
    long asLong = d.toLong();
    (void)asLong;
    refusedOr([&] { (void)d.toInteger(); }, input);
    refusedOr([&] { (void)d.toULong(); }, input);
    refusedOr([&] {
        DKDecimal sum = d + back;
        DKDecimal diff = sum - back;
        if (diff.toString().str() != s) finding("(d + d) - d differs from d", input);
    }, input);
    refusedOr([&] {
        DKDecimal q = d / back;   // 1 at the common scale, or a refusal (zero, or too large)
        (void)q;
    }, input);
    refusedOr([&] {
        DKDecimal scaled(d);
        long target = static_cast<long>(size % (DKDecimal::kMaxScale + 2));
        scaled.setScale(target);
        if (target >= d.getScale()) {
            scaled.setScale(d.getScale());
            if (scaled.toString().str() != s)
                finding("raising and lowering the scale changed the value", input);
        }
    }, input);
    return 0;
}
