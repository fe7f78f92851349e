// tools/dk/dkCmdContent.cpp
//
// `dk put` and `dk cat`: an item's content, stored from a file and written out again, a chunk at
// a time through the connector's content objects, so a file of any size passes in bounded memory.

#include "dkCommands.hpp"

#include <dk/DKDDO.hpp>
#include <dk/DKException.hpp>
#include <dk/PRepositoryContent.hpp>
#include <dk/dkDatastore.hpp>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <vector>

#include <unistd.h>

namespace dkcli {

namespace {

constexpr std::size_t kReadSize = 1 << 20;   // bytes `dk cat` reads and writes at a time

// The content object of part `part` of the item ITEM names (as `get` takes it).
std::unique_ptr<dkBlob> partOf(Repository& repo, const std::string& itemText, long part) {
    std::unique_ptr<DKDDO> item = repo.itemOf(itemText);
    const DKPid& pid = item->getPid();
    const long id = std::strtol(pid.getPrimaryId().c_str(), nullptr, 10);
    PRepositoryContent& content = repo.content();
    return std::unique_ptr<dkBlob>(content.createBlob(content.pidOf(pid.getObjectType().c_str(), id, part)));
}

void writeAll(int fd, const char* data, std::size_t n) {
    while (n > 0) {
        const ssize_t w = ::write(fd, data, n);
        if (w < 0 && errno == EINTR) continue;
        if (w < 0) throw std::runtime_error(std::string("cannot write the content: ") + std::strerror(errno));
        data += w;
        n -= static_cast<std::size_t>(w);
    }
}

}  // namespace

void storeFileContent(Repository& repo, const std::string& entity, long id, const std::string& file,
                      const std::string& mimeType) {
    PRepositoryContent& content = repo.content();
    std::unique_ptr<dkBlob> blob(content.createBlob(content.pidOf(entity.c_str(), id, 1)));
    if (!mimeType.empty()) blob->setMimeType(mimeType.c_str());
    if (blob->size() < 0) blob->add(file.c_str());
    else blob->update(file.c_str());
}

int runPut(const Options& o, Repository* shared) {
    RepositoryRef repo(o, shared, false);
    std::unique_ptr<DKDDO> item = repo->itemOf(o.args[1]);
    Transaction tx(*repo);
    storeFileContent(*repo, item->getPid().getObjectType().c_str(),
                     std::strtol(item->getPid().getPrimaryId().c_str(), nullptr, 10), o.args[2], "");
    tx.commit();
    return kExitOk;
}

int runCat(const Options& o, Repository* shared) {
    long part = 1;
    if (o.args.size() > 2) {
        const std::string& t = o.args[2];
        const auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), part);
        if (ec != std::errc() || end != t.data() + t.size() || part < 1)
            throw UsageError("PART must be a whole number from 1, got '" + t + "'");
    }
    RepositoryRef repo(o, shared, true);
    std::unique_ptr<dkBlob> blob = partOf(*repo, o.args[1], part);
    // One read transaction: the bytes written are one version of the part, whatever writers do.
    dkDatastore& ds = repo->datastore();
    const bool own = shared == nullptr;
    if (own) ds.startTransaction();
    try {
        std::vector<char> buffer(kReadSize);
        long at = 0;
        for (;;) {
            const long n = blob->readBytes(buffer.data(), at, static_cast<long>(buffer.size()));
            if (n <= 0) break;
            writeAll(STDOUT_FILENO, buffer.data(), static_cast<std::size_t>(n));
            at += n;
        }
    } catch (...) {
        if (own) ds.rollback();
        throw;
    }
    if (own) ds.rollback();
    return kExitOk;
}

}  // namespace dkcli
