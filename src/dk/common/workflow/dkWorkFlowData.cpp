// src/dk/common/workflow/dkWorkFlowData.cpp
//
// The bytes of workflow icons and diagrams: the deep-copying buffer that holds them, and their
// files. A file is read whole in blocks, so its size is what could be read rather than what a
// seek reports, and a write counts as complete only once the stream has been closed without an
// error.

#include "dk/common/workflow/dkWorkFlowData.hpp"

#include <dk/dkThrow.hpp>
#include <dk/dkWorkFlowAction.hpp>

#include <cstdio>
#include <cstring>
#include <memory>

namespace {

using File = std::unique_ptr<std::FILE, int (*)(std::FILE*)>;

DKString inParentheses(const char* fileName) {
    return DKString("(") + fileName + ")";
}

}  // namespace

PWorkFlowBuffer::PWorkFlowBuffer(const PWorkFlowBuffer& other) {
    if (other.data_) assign(other.data_.get(), other.size_);
}

PWorkFlowBuffer& PWorkFlowBuffer::operator=(const PWorkFlowBuffer& other) {
    if (this != &other) {
        if (other.data_)
            assign(other.data_.get(), other.size_);
        else
            reset();
    }
    return *this;
}

PWorkFlowBuffer::~PWorkFlowBuffer() = default;

void PWorkFlowBuffer::assign(const char* data, long size) {
    // Filled before the old bytes go, so `data` may point into them.
    const std::size_t n = static_cast<std::size_t>(size);
    std::unique_ptr<char[]> bytes(new char[n + 1]);
    if (n > 0) std::memcpy(bytes.get(), data, n);
    bytes[n] = '\0';
    data_ = std::move(bytes);
    size_ = size;
}

void PWorkFlowBuffer::reset() {
    data_.reset();
    size_ = 0;
}

std::string dkWorkFlowReadFile(const char* fileName, const char* mode, const char* source,
                               const char* function) {
    if (fileName == nullptr) fileName = "";
    File file(std::fopen(fileName, mode), &std::fclose);
    if (!file) dkThrow<DKXDOError>(358, source, function, inParentheses(fileName));
    std::string bytes;
    char block[65536];
    std::size_t n;
    while ((n = std::fread(block, 1, sizeof block, file.get())) > 0) bytes.append(block, n);
    if (std::ferror(file.get())) dkThrow<DKXDOError>(358, source, function, inParentheses(fileName));
    return bytes;
}

void dkWorkFlowWriteFile(const char* fileName, const char* mode, const char* data,
                         std::size_t size, std::size_t wanted, const char* source,
                         const char* function) {
    if (fileName == nullptr) fileName = "";
    File file(std::fopen(fileName, mode), &std::fclose);
    if (!file) dkThrow<DKXDOError>(360, source, function, inParentheses(fileName));
    const std::size_t written = size == 0 ? 0 : std::fwrite(data, 1, size, file.get());
    // fclose flushes what the stream still holds, so a failure of the last write shows here.
    const bool closed = std::fclose(file.release()) == 0;
    if (written < wanted || !closed) dkThrow<DKXDOError>(362, source, function);
}
