// A library on a file system mounted read-only (a bind mount in a mount
// namespace of a child process): catalogs are read as they stand, without
// the companion files SQLite cannot make there; every write is refused; a
// catalog with a log beside it is refused, never changed. The directory's
// name holds characters that must be escaped when the catalog is named by
// URI.
#include <sched.h>
#include <sys/mount.h>

#include <fstream>

#include "support.h"

namespace cattest {
namespace {

// Puts the child into a mount namespace of its own where `path` (a
// directory or a file) is read-only. False when this machine allows no such
// namespace.
bool mount_read_only(const std::filesystem::path &path) {
    if (::unshare(CLONE_NEWNS) != 0) return false;
    if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) return false;
    if (::mount(path.c_str(), path.c_str(), nullptr, MS_BIND, nullptr) != 0) return false;
    return ::mount(nullptr, path.c_str(), nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY, nullptr) == 0;
}

class ReadOnlyMount : public CatalogTest {
protected:
    std::filesystem::path library = dir.path() / "read only~lib_1.x-y%";

    ReadOnlyMount() {
        std::filesystem::create_directories(library);
        services.assign_library("ro", library);
    }
};

TEST_F(ReadOnlyMount, CatalogsAreReadAsTheyStandAndNeverWritten) {
    write_entry("ro", "c", "e", "DATA", {{1, "one"}, {2, "two"}});
    const std::filesystem::path file = services.catalog_file("ro", "c");
    Child child([&](const Child::Channel &) {
        if (!mount_read_only(library)) return 77;
        // Read without -wal or -shm files.
        EntryRead read = read_entry("ro", "c", "e", "DATA");
        if (read.status != 0 || read.blocks != std::vector<Block>{{1, "one"}, {2, "two"}}) return 1;
        void *cat = nullptr;
        if (open_catalog("ro", "c", zef::kLibraryWrite, &cat) != zef::kCatalogBadRequest) return 2;
        if (open_catalog("ro", "new", zef::kLibraryWrite, &cat) != zef::kCatalogBadRequest) return 3;
        if (open_catalog("ro", "new", zef::kLibraryInput, &cat) != zef::kCatalogMissing) return 4;
        if (std::filesystem::exists(file.string() + "-wal") || std::filesystem::exists(file.string() + "-shm"))
            return 5;
        return 0;
    });
    int code = child.wait();
    if (code == 77) GTEST_SKIP() << "no mount namespace here";
    EXPECT_EQ(code, 0) << services.last_error();
    EXPECT_EQ(read_entry("ro", "c", "e", "DATA").blocks, (std::vector<Block>{{1, "one"}, {2, "two"}}));
}

// A log beside the catalog means someone may be writing: the catalog cannot
// be taken as standing still, and reading through the log needs a -shm file
// SQLite cannot make here. The read is refused as a failure to read; nothing
// is changed.
TEST_F(ReadOnlyMount, ACatalogWithALogBesideItIsRefusedNotChanged) {
    write_entry("ro", "c", "e", "DATA", {{1, "one"}});
    const std::filesystem::path file = services.catalog_file("ro", "c");
    std::ofstream(file.string() + "-wal") << "";
    Child child([&](const Child::Channel &) {
        if (!mount_read_only(library)) return 77;
        EntryRead read = read_entry("ro", "c", "e", "DATA");
        if (read.status != zef::kCatalogIoFailure || !read.blocks.empty()) return 1;
        void *cat = nullptr;
        return open_catalog("ro", "c", zef::kLibraryWrite, &cat) == zef::kCatalogBadRequest ? 0 : 2;
    });
    int code = child.wait();
    if (code == 77) GTEST_SKIP() << "no mount namespace here";
    EXPECT_EQ(code, 0);
    std::filesystem::remove(file.string() + "-wal");
    EXPECT_EQ(read_entry("ro", "c", "e", "DATA").blocks, (std::vector<Block>{{1, "one"}}));
}

// Only the catalog file read-only, in a library that can be written: the
// catalog reads, and opening it for writing says which catalog is read-only.
TEST_F(ReadOnlyMount, ACatalogFileReadOnlyInAWritableLibrary) {
    write_entry("ro", "c", "e", "DATA", {{1, "one"}});
    const std::filesystem::path file = services.catalog_file("ro", "c");
    Child child([&](const Child::Channel &) {
        if (!mount_read_only(file)) return 77;
        if (read_entry("ro", "c", "e", "DATA").blocks != std::vector<Block>{{1, "one"}}) return 1;
        void *cat = nullptr;
        if (open_catalog("ro", "c", zef::kLibraryWrite, &cat) != zef::kCatalogBadRequest) return 2;
        if (services.last_error().find("catalog RO.C is read-only") == std::string::npos) return 3;
        write_entry("ro", "other", "e", "DATA", {{1, "x"}});  // the library itself takes writes
        return read_entry("ro", "other", "e", "DATA").status;
    });
    int code = child.wait();
    if (code == 77) GTEST_SKIP() << "no mount namespace here";
    EXPECT_EQ(code, 0);
}

}  // namespace
}  // namespace cattest
