// Test support for the catalog services: calls through the host's transfer
// vector exactly as the module makes them (mark byte cleared, routine loaded
// from table[48][s]), request building, temporary directories and child
// processes.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "zefhost/catalog/services.h"
#include "zefhost/host.h"
#include "zefxbaml/abi.h"
#include "zefxbaml/requests.h"

namespace cattest {

// A call of routine `at` through the live host's vector.
template <typename Proto, typename... Args>
auto call(zef::RoutineAddress at, Args... args) {
    zef::GlobalControlBlock *gcb = zefhost::Host::current().gcb();
    gcb->mark_bytes[at.vector] = 0;
    auto routine = reinterpret_cast<Proto>(gcb->transfer_table[at.vector][at.slot]);
    return routine(args...);
}

struct Block {
    uint16_t code = 0;
    std::string bytes;
    bool operator==(const Block &) const = default;
};
std::ostream &operator<<(std::ostream &out, const Block &block);

zef::LibraryRequest library_request(std::string_view library, std::string_view catalog, int32_t mode);
zef::MemberRequest member_request(void *catalog, std::string_view name, std::string_view type,
                                  int32_t mode, std::string_view description = {});
zef::EntryRequest entry_request(void *catalog, std::string_view name, std::string_view type);

int32_t open_catalog(std::string_view library, std::string_view catalog, int32_t mode, void **handle);
int32_t close_catalog(void *catalog);
int32_t open_entry(void *catalog, std::string_view name, std::string_view type, int32_t mode,
                   void **entry, std::string_view description = {});
int32_t close_entry(void *entry);
int32_t write_block(void *entry, const Block &block);
// Reads one block into a buffer of `buffer_size` bytes.
int32_t read_block(void *entry, Block &block, size_t buffer_size = 1 << 20);
int32_t note(void *entry, int64_t *position);
int32_t point(void *entry, int64_t position, int32_t how = zef::kPointToNoted);
int32_t describe(void *catalog, std::string_view name, std::string_view type, int64_t *size);
int32_t find(void *catalog, std::string_view name, std::string_view type);
int32_t remove(void *catalog, std::string_view name, std::string_view type);

// Reads to the end; `end` receives the status that ended the reading.
std::vector<Block> read_rest(void *entry, int32_t *end = nullptr);

// Whole entries in one go: open the catalog (mode 8 / 1), the entry, write
// or read, close both. Statuses are checked with gtest assertions.
void write_entry(std::string_view library, std::string_view catalog, std::string_view name,
                 std::string_view type, const std::vector<Block> &blocks,
                 int32_t mode = zef::kMemberOutput);
// The entry's blocks, or the status that refused them.
struct EntryRead {
    int32_t status = 0;
    std::vector<Block> blocks;
};
EntryRead read_entry(std::string_view library, std::string_view catalog, std::string_view name,
                     std::string_view type);

// `count` blocks "<tag> <index>" padded to `width` bytes, code 322.
std::vector<Block> numbered_blocks(std::string_view tag, int count, size_t width = 80);

// A fresh directory under $TMPDIR (or /tmp), removed with its contents.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;
    const std::filesystem::path &path() const { return path_; }

private:
    std::filesystem::path path_;
};

// A forked child running `work`, which returns the child's exit code. The
// child never returns into the test: it ends with _exit and runs no
// destructors of the parent's objects. Pipes carry one byte at a time both
// ways. The parent must hold no SQLite connection to a catalog the child
// uses when it forks (SQLite keeps per-file lock state that a child would
// inherit wrongly).
class Child {
public:
    struct Channel {
        int in;   // read end
        int out;  // write end
        void send(char c) const;
        // The next byte, or 0 when the other side closed or `wait` passed.
        char receive(std::chrono::milliseconds wait = std::chrono::seconds(20)) const;
    };
    explicit Child(std::function<int(const Channel &)> work);
    ~Child();  // kills and reaps a child still running
    Child(const Child &) = delete;
    Child &operator=(const Child &) = delete;

    const Channel &channel() const { return parent_; }
    void kill();
    // The exit code, or 128 + signal; -1 when it did not end within `wait`.
    int wait(std::chrono::milliseconds wait = std::chrono::seconds(30));
    bool running() const { return pid_ > 0; }

private:
    pid_t pid_ = -1;
    Channel parent_{-1, -1};
};

// What keeps a test's library WORK: a fresh directory of SQLite files, or a
// fresh database of the test program's own PostgreSQL server.
enum class StoreKind { directory, database };
std::string store_name(const ::testing::TestParamInfo<StoreKind> &info);
inline void PrintTo(StoreKind kind, std::ostream *out) {
    *out << (kind == StoreKind::directory ? "directory" : "database");
}

// A database of the shared test server, made for one test and dropped
// after it (with any session still connected to it).
class TestDatabase {
public:
    TestDatabase();
    ~TestDatabase();
    TestDatabase(const TestDatabase &) = delete;
    TestDatabase &operator=(const TestDatabase &) = delete;
    const std::string &uri() const { return uri_; }
    // Runs SQL in the database (search path: the library WORK's schema);
    // the first column of the first row, "" when there is none.
    std::string sql(const std::string &statement) const;

private:
    std::string name_;
    std::string uri_;
};

// A test with a live host and a library WORK assigned to a fresh directory
// or (StoreKind::database) a fresh database.
class CatalogTest : public ::testing::Test {
protected:
    explicit CatalogTest(StoreKind kind = StoreKind::directory);
    void TearDown() override;

    // The catalog's file (directory libraries only).
    std::filesystem::path catalog_path(std::string_view catalog) const;
    // Assigns WORK of another host's services to the same place.
    void assign_work(zefhost::catalog::Services &other, bool read_only = false) const;
    // The rows of a catalog's table ("entries", "writers") in the store,
    // read behind the services' back; -1 when they cannot be read.
    int64_t count_rows(std::string_view catalog, const std::string &table) const;
    // Runs SQL on the store behind the services' back: on the catalog's
    // file, or in the test's database (where every catalog shares the
    // tables); the first column of the last row ("" for none), or the error.
    std::string store_sql(std::string_view catalog, const std::string &statements) const;

    StoreKind kind;
    TempDir dir;
    std::optional<TestDatabase> database;
    zefhost::Host host;
    zefhost::catalog::Services &services;
};

// The same test run once on each store.
class BothStores : public CatalogTest, public ::testing::WithParamInterface<StoreKind> {
protected:
    BothStores() : CatalogTest(GetParam()) {}
};

#define ZEF_ON_BOTH_STORES(suite)                                                                    \
    INSTANTIATE_TEST_SUITE_P(Stores, suite, ::testing::Values(StoreKind::directory, StoreKind::database), \
                             store_name)

}  // namespace cattest
