#!/usr/bin/env python3
"""Fails when libdkcommon exports a symbol outside its families; prints the count of exports.

Each dynamic symbol the library defines (nm -D --defined-only, demangled) belongs to a class (of a
member, vtable or typeinfo) or is a function. Allowed: the DK, dk, P and p families, free operators
over their types, the entries of the keyed collections, the lead-byte test, and the C entry points
of connector factories. Usage: symbols.py LIBRARY
"""
import re
import subprocess
import sys

FAMILY = re.compile(r"(DK|dk|P[A-Z]|p[A-Z])\w*")
OTHERS = {"KeyObjectLong", "KeyObjectShort", "KeyObjectString", "isdbcs",
          "createObject", "createObjectWithConfig", "destroyObject"}
# Linker symbols, and what sanitizer and coverage builds add to every library.
# (libgcov also exports its helper mangle_path).
SKIP = re.compile(r"^(_init|_fini|_edata|_end|__bss_start|mangle_path|__(odr_asan|asan|tsan|ubsan|sanitizer|gcov|llvm).*)$")
WRAPPER = re.compile(r"^((construction vtable|vtable|typeinfo name|typeinfo|VTT|guard variable) for "
                     r"|(non-virtual|virtual|covariant return) thunk to )")
OPERATOR = re.compile(r"operator ?(<<=?|>>=?|<=>?|>=?|<|>|->\*?|\(\))")


def allowed(symbol):
    name = WRAPPER.sub("", symbol)
    # Operator names hold brackets of their own: masked at equal length, they do not count.
    masked = OPERATOR.sub(lambda m: "operator" + "@" * (len(m.group(0)) - 8), name)
    depth, start, end = 0, 0, len(name)
    for i, c in enumerate(masked):
        if depth == 0 and c == "(":
            end = i
            break
        if depth == 0 and c == " " and "operator" not in masked[:i + 9]:
            start = i + 1   # a function template's name follows its return type
        depth += (c in "<(") - (c in ">)")
    first = re.split(r"::|<|@|-in-", masked[start:end], maxsplit=1)[0]
    if first == "operator":
        return FAMILY.search(name[end:]) is not None
    return FAMILY.fullmatch(first) is not None or first in OTHERS


def main():
    out = subprocess.run(["nm", "-D", "--defined-only", "-C", sys.argv[1]], check=True,
                         capture_output=True, text=True).stdout
    symbols = [line.split(" ", 2)[2] for line in out.splitlines() if line.count(" ") >= 2]
    symbols = [s for s in symbols if not SKIP.match(s)]
    outside = sorted(s for s in symbols if not allowed(s))
    print(f"{len(symbols)} exported symbols, {len(outside)} outside the families")
    print("".join(f"  {s}\n" for s in outside), end="")
    return 1 if outside or not symbols else 0


if __name__ == "__main__":
    sys.exit(main())
