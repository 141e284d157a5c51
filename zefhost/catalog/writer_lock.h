// Which writers are alive, across processes. Every writer holds a lock on
// one byte of its catalog's companion file "<catalog>.zcat-writers": the
// byte whose offset is the writer's content id. The locks are Linux
// open-file-description locks: they belong to the writer's own descriptor
// (so writers in one process exclude each other too) and vanish when the
// writer's process dies, however it dies. A writers row whose byte is not
// locked was left by a dead writer, and its staged pieces are garbage.
#pragma once

#include <cstdint>
#include <filesystem>

namespace zefhost::catalog {

std::filesystem::path writers_file(const std::filesystem::path &catalog_file);

class WriterLock {
public:
    // Takes the lock of `content`; throws CatalogError: kCatalogEntryInUse
    // when someone holds it, kCatalogIoFailure when the file cannot be used.
    WriterLock(const std::filesystem::path &catalog_file, int64_t content);
    // Closing the descriptor lets the lock go.
    ~WriterLock();
    WriterLock(const WriterLock &) = delete;
    WriterLock &operator=(const WriterLock &) = delete;

private:
    int fd_ = -1;
};

// True when a writer (in this process or another) holds the lock of `content`.
bool writer_alive(const std::filesystem::path &catalog_file, int64_t content);

}  // namespace zefhost::catalog
