// src/dk/common/workflow/dkWorkFlowData.hpp
//
// Whole-file reads and writes for the icons and diagrams of the workflow classes, with the
// file errors they share. The caller's source and function become the location of each throw.

#pragma once

#include <cstddef>
#include <string>

// Every byte of the file opened with `mode`. DKXDOError 358 "(" name ")" when it cannot be
// opened or not read to its end (a directory opens on Linux but fails at the first read).
std::string dkWorkFlowReadFile(const char* fileName, const char* mode, const char* source,
                               const char* function);

// Writes `size` bytes of `data` to the file opened with `mode`. DKXDOError 360 "(" name ")" when
// it cannot be opened, 362 when fewer than `wanted` bytes reached it, counting an error reported
// only when the stream is flushed at fclose. The file is closed on every path.
void dkWorkFlowWriteFile(const char* fileName, const char* mode, const char* data,
                         std::size_t size, std::size_t wanted, const char* source,
                         const char* function);
