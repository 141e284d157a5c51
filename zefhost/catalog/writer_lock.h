// Who is writing what, across processes, through Linux open-file-description
// locks on one companion file per catalog, "<catalog>.zcat-writers". The
// locks belong to the descriptor that took them (so handles in one process
// exclude each other too) and vanish when the process dies, however it
// dies, so a dead writer never holds anyone up. Nothing here knows how the
// catalog itself is stored.
//
// Bytes of the file, all locked and never written:
//   0                      presence: every process using the file holds it
//                          shared, so that it is removed only when unused
//   1 ..                   a writer's content id: locked while it is alive
//   kEntryLockBase + hash  an entry: held by its writer (or deleter) from
//                          open to close; the next one waits for it
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

namespace zefhost::catalog {

struct EntryKey;

std::filesystem::path writers_file(const std::filesystem::path &catalog_file);

// How long a writer waits for an entry that another handle is writing, and
// whom it tells that it is waiting (called once per wait, with the entry).
struct WaitPolicy {
    std::chrono::milliseconds limit{60000};
    std::function<void(const std::string &what)> on_wait;
};

// Calls `try_take` until it answers true, pausing between tries (2 ms,
// growing to 50 ms) up to the policy's limit and telling the policy once
// that it waits; throws CatalogError(kCatalogEntryInUse) with `what` (and
// how long it waited) when the limit passes first. What `try_take` throws
// goes through.
void wait_for_turn(const WaitPolicy &wait, const std::string &what, const std::function<bool()> &try_take);

// The companion file, open with its presence byte held shared.
class LockFile {
public:
    // Opens (or makes) the file of `catalog_file`; throws CatalogError
    // (kCatalogIoFailure) when it cannot.
    explicit LockFile(const std::filesystem::path &catalog_file);
    ~LockFile();
    LockFile(const LockFile &) = delete;
    LockFile &operator=(const LockFile &) = delete;

    const std::filesystem::path &path() const { return path_; }
    // A descriptor of its own on the same file (so that its locks are its
    // own); the caller closes it.
    int open_description() const;

    // Removes the companion file of `catalog_file` when no process uses
    // it; does nothing otherwise, and never fails.
    static void remove_if_unused(const std::filesystem::path &catalog_file);
    // When no process uses the companion file: runs `remove` (which may
    // remove the catalog itself: whoever opens it meanwhile waits, then
    // finds it gone), then removes the companion file. False when the file
    // is in use.
    static bool with_sole_use(const std::filesystem::path &catalog_file, const std::function<void()> &remove);

private:
    std::filesystem::path path_;
    int fd_ = -1;
    dev_t device_ = 0;
    ino_t inode_ = 0;
};

// One byte held exclusively on a descriptor of its own, let go on
// destruction.
class ByteLock {
public:
    // Takes it at once; throws CatalogError: kCatalogEntryInUse when someone
    // holds it, kCatalogIoFailure when the file cannot be used.
    ByteLock(const LockFile &file, int64_t offset, const std::string &what);
    // Waits for it up to the policy's limit (polling with a growing pause),
    // telling the policy once that it waits.
    ByteLock(const LockFile &file, int64_t offset, const std::string &what, const WaitPolicy &wait);
    ~ByteLock();
    ByteLock(const ByteLock &) = delete;
    ByteLock &operator=(const ByteLock &) = delete;

private:
    int fd_ = -1;
};

// The byte of a writer's content id, and of an entry.
int64_t writer_byte(int64_t content);
int64_t entry_byte(const EntryKey &key);

// True when a handle (in this process or another) holds `offset`.
bool byte_held(const LockFile &file, int64_t offset);

}  // namespace zefhost::catalog
