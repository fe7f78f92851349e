#!/usr/bin/env python3
"""Fails when libdkcommon exports a symbol outside its families.

Lists the dynamic symbols the library defines (nm -D --defined-only, demangled) and finds the
name each belongs to: the class of a member, vtable or typeinfo, or the function itself. Allowed
are the DK, dk, P and p families (the classes of the object model, the internal classes and their
abstract bases), free operators over those types, the entries of the keyed collections and the
lead-byte test, and the C entry points of connector factories. Prints the count of exported symbols.
Usage: symbols.py LIBRARY
"""
import re
import subprocess
import sys

FAMILY = re.compile(r"^(DK|dk|P[A-Z]|p[A-Z])")
OTHER_NAMES = {"KeyObjectLong", "KeyObjectShort", "KeyObjectString", "isdbcs",
               "createObject", "createObjectWithConfig", "destroyObject"}
LINKER = {"_init", "_fini", "_edata", "_end", "__bss_start"}
WRAPPERS = re.compile(r"^((construction vtable|vtable|typeinfo name|typeinfo|VTT|guard variable) for "
                      r"|(non-virtual|virtual|covariant return) thunk to )")


def top_level(text, stop):
    """The text before the first character of stop outside <...> and (...)."""
    depth = 0
    for i, c in enumerate(text):
        if depth == 0 and c in stop:
            return text[:i]
        if c in "<(":
            depth += 1
        elif c in ">)" and depth > 0:
            depth -= 1
    return text


def owner(symbol):
    """The class or function a demangled symbol belongs to, and its parameter text."""
    name = WRAPPERS.sub("", symbol)
    # Operator names hold brackets of their own; masked at equal length, they do not count.
    masked = re.sub(r"operator ?(<<=?|>>=?|<=>?|>=?|<|>|->\*?|\(\))", lambda m: "operator" + "@" * (len(m.group(0)) - 8), name)
    head = name[:len(top_level(masked, "("))]
    params = name[len(head):]
    if "operator" not in head and " " in top_level(head, "<"):
        head = head.split(" ")[-1]   # a function template's name comes after its return type
    first = re.split(r"::|<|-in-", head, maxsplit=1)[0]
    return first, params


def allowed(symbol):
    first, params = owner(symbol)
    if FAMILY.match(first) or first in OTHER_NAMES:
        return True
    return first.startswith("operator") and re.search(r"\b(DK|dk|P[A-Z]|p[A-Z])\w*", params) is not None


def main():
    out = subprocess.run(["nm", "-D", "--defined-only", "-C", sys.argv[1]], check=True,
                         capture_output=True, text=True).stdout
    symbols = [line.split(" ", 2)[2] for line in out.splitlines() if line.count(" ") >= 2]
    symbols = [s for s in symbols if s not in LINKER]
    outside = sorted(s for s in symbols if not allowed(s))
    print(f"{len(symbols)} exported symbols, {len(outside)} outside the families")
    for s in outside:
        print("  " + s)
    return 1 if outside or not symbols else 0


if __name__ == "__main__":
    sys.exit(main())
