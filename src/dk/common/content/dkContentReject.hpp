// src/dk/common/content/dkContentReject.hpp
#pragma once

// The refusal of every content placeholder: DKUsageError 341 located at source, in the class the
// source is named after. `operation` is the text the message carries: after the catalogue text
// ("size()", "add(fn)", "addExtension", "operator+=()", joined to the class as "dkXDO::size()"),
// or with leading set before it, as it stands ("open(fn) "). The location's function is the class
// and the operation's name ("dkXDO::size", "dkBlob::operator`+='", "dkXDOBase::open").
[[noreturn]] void dkRejectContent(const char* source, const char* operation, bool leading = false,
                                  unsigned long line = __builtin_LINE());
