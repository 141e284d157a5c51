// The files a directory library keeps beside its catalogs, as the file
// system refuses them: a settings file that cannot be read or replaced, a
// full disk, a read-only mount, a catalog name that leads nowhere, and a
// writers' lock file that is not a file or is taken away while in use.
// Each refusal says what it met and leaves no handle, staging file or
// half-written setting behind.
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

#include <sqlite3.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <map>
#include <thread>

#include "support.h"
#include "zefhost/catalog/catalog_error.h"

namespace cattest {
namespace {

using zefhost::catalog::CatalogError;
using zefhost::catalog::LibrarySettings;

// The status and message of a call that should be refused (status 0: done).
struct Refused {
    int32_t status = 0;
    std::string said;
};
template <typename F>
Refused refusal_of(F &&call) {
    try {
        call();
        return {};
    } catch (const CatalogError &e) {
        return {e.status(), e.what()};
    }
}

bool says(const Refused &r, int32_t status, std::string_view part) {
    return r.status == status && r.said.find(part) != std::string::npos;
}

// Puts the child into a mount namespace of its own (inside a user namespace
// when it is not root). False when this machine allows none.
bool own_mounts() {
    uid_t uid = ::getuid();
    gid_t gid = ::getgid();
    if (::unshare(CLONE_NEWNS | (uid == 0 ? 0 : CLONE_NEWUSER)) != 0) return false;
    if (uid != 0) {
        std::ofstream("/proc/self/setgroups") << "deny";
        std::ofstream("/proc/self/uid_map") << "0 " << uid << " 1";
        std::ofstream("/proc/self/gid_map") << "0 " << gid << " 1";
    }
    return ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
}

bool mount_small_disk(const std::filesystem::path &path, const std::string &size) {
    return ::mount("tmpfs", path.c_str(), "tmpfs", 0, ("size=" + size).c_str()) == 0;
}

bool mount_read_only(const std::filesystem::path &path) {
    return ::mount(path.c_str(), path.c_str(), nullptr, MS_BIND, nullptr) == 0 &&
           ::mount(nullptr, path.c_str(), nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY, nullptr) == 0;
}

constexpr int kNoNamespace = 77;

class LibraryFiles : public CatalogTest {
protected:
    std::filesystem::path settings_path() const { return dir.path() / "zef-library.conf"; }
    // Files whose names start with `prefix` in the library's directory.
    int files_named(const std::string &prefix) const {
        int n = 0;
        for (const auto &f : std::filesystem::directory_iterator(dir.path()))
            if (f.path().filename().string().rfind(prefix, 0) == 0) ++n;
        return n;
    }
    // Assigns WORK again, so that its settings are read anew.
    void reassign() {
        services.deassign_library("work");
        services.assign_library("work", dir.path());
    }
};

TEST_F(LibraryFiles, ASettingsNameThatDoesNotReadAsAFileIsRefused) {
    write_entry("work", "c", "e", "DATA", {{1, "x"}});
    {
        std::ofstream(dir.path() / "elsewhere.conf") << "compress = zstd\n";
    }
    struct Case {
        const char *what;
        std::function<void()> make;
        const char *message;
    };
    const std::vector<Case> cases = {
        // Followed, it could be made to read any file of the machine.
        {"a symbolic link", [&] { std::filesystem::create_symlink("elsewhere.conf", settings_path()); },
         "Too many levels of symbolic links"},
        {"a directory", [&] { std::filesystem::create_directory(settings_path()); }, "Is a directory"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove_all(settings_path());
        c.make();
        reassign();
        EXPECT_TRUE(says(refusal_of([&] { services.library_settings("work"); }), zef::kCatalogDamaged, c.message));
        void *cat = nullptr;
        EXPECT_EQ(open_catalog("work", "c", zef::kLibraryWrite, &cat), zef::kCatalogDamaged);
        EXPECT_NE(services.last_error().find("zef-library.conf"), std::string::npos) << services.last_error();
        EXPECT_EQ(read_entry("work", "c", "e", "DATA").blocks.size(), 1u);
        EXPECT_EQ(services.open_catalogs(), 0u);
    }
}

TEST_F(LibraryFiles, SettingsThatCannotBeWrittenLeaveTheOldFileAndNoStaging) {
    const std::string staging = "zef-library.conf.new-" + std::to_string(::getpid());
    struct Case {
        const char *what;
        std::filesystem::path in_the_way;  // a directory made here first
        const char *message;
    };
    const std::vector<Case> cases = {
        {"the staging name is taken", dir.path() / staging, "cannot write: Is a directory"},
        {"the settings name is a directory", settings_path() / "inside", "cannot write: Is a directory"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::create_directories(c.in_the_way);
        EXPECT_TRUE(says(refusal_of([&] { services.save_library_settings("work", LibrarySettings{true}); }),
                         zef::kCatalogBadRequest, c.message));
        std::filesystem::remove_all(c.in_the_way.parent_path() == dir.path() ? c.in_the_way
                                                                              : c.in_the_way.parent_path());
        EXPECT_EQ(files_named("zef-library.conf"), 0);
    }
    // Nothing was kept: the library compresses nothing.
    reassign();
    EXPECT_FALSE(services.library_settings("work").compress);
    services.save_library_settings("work", LibrarySettings{true});
    EXPECT_TRUE(services.library_settings("work").compress);
}

// A disk with no room left: the settings are an I/O failure, the old file
// stays, and no staging file is left.
TEST_F(LibraryFiles, SettingsOnAFullDiskAreAnIoFailure) {
    Child child([&](const Child::Channel &) {
        if (!own_mounts() || !mount_small_disk(dir.path(), "64k")) return kNoNamespace;
        services.save_library_settings("work", LibrarySettings{false});
        {
            std::ofstream filler(dir.path() / "filler");
            std::string block(4096, 'f');
            for (int i = 0; i < 64 && filler.write(block.data(), block.size()); ++i) {
            }
        }
        Refused r = refusal_of([&] { services.save_library_settings("work", LibrarySettings{true}); });
        if (!says(r, zef::kCatalogIoFailure, "No space left on device")) return 1;
        if (files_named("zef-library.conf") != 1) return 2;
        return services.library_settings("work").compress ? 3 : 0;
    });
    int code = child.wait();
    if (code == kNoNamespace) GTEST_SKIP() << "no mount namespace here";
    EXPECT_EQ(code, 0);
}

// A library whose directory, or one catalog's file, is mounted read-only
// though the library was not assigned so: settings and compaction are
// refused before anything is written.
TEST_F(LibraryFiles, AReadOnlyMountRefusesSettingsAndCompaction) {
    write_entry("work", "c", "e", "DATA", numbered_blocks("e", 20));
    const std::filesystem::path file = catalog_path("c");
    Child child([&](const Child::Channel &) {
        if (!own_mounts() || !mount_read_only(file)) return kNoNamespace;
        if (!says(refusal_of([&] { services.vacuum_catalog("work", "c"); }), zef::kCatalogBadRequest,
                  "catalog WORK.C is read-only"))
            return 1;
        if (!mount_read_only(dir.path())) return kNoNamespace;
        if (!says(refusal_of([&] { services.save_library_settings("work", LibrarySettings{true}); }),
                  zef::kCatalogBadRequest, "library WORK is read-only"))
            return 2;
        if (!says(refusal_of([&] { services.vacuum_catalog("work", "c"); }), zef::kCatalogBadRequest,
                  "library WORK is read-only"))
            return 3;
        return 0;
    });
    int code = child.wait();
    if (code == kNoNamespace) GTEST_SKIP() << "no mount namespace here";
    EXPECT_EQ(code, 0);
    EXPECT_EQ(files_named("zef-library.conf"), 0);
    EXPECT_EQ(read_entry("work", "c", "e", "DATA").blocks, numbered_blocks("e", 20));
}

// A catalog file the system will not unlink (here a mount point in the
// child's namespace): the removal says so and the catalog stays whole.
TEST_F(LibraryFiles, ACatalogFileThatCannotBeUnlinkedIsNotRemoved) {
    write_entry("work", "c", "e", "DATA", numbered_blocks("e", 20));
    const std::filesystem::path file = catalog_path("c");
    Child child([&](const Child::Channel &) {
        if (!own_mounts() || ::mount(file.c_str(), file.c_str(), nullptr, MS_BIND, nullptr) != 0)
            return kNoNamespace;
        Refused r = refusal_of([&] { services.remove_catalog("work", "c", true); });
        if (!says(r, zef::kCatalogIoFailure, "cannot remove " + file.string() + ": Device or resource busy"))
            return 1;
        return services.catalog_exists("work", "c") && services.open_catalogs() == 0 ? 0 : 2;
    });
    int code = child.wait();
    if (code == kNoNamespace) GTEST_SKIP() << "no mount namespace here";
    EXPECT_EQ(code, 0);
    EXPECT_EQ(read_entry("work", "c", "e", "DATA").blocks, numbered_blocks("e", 20));
    EXPECT_EQ(services.check_catalog("work", "c"), std::vector<std::string>{});
}

// Compaction needs room for two copies of the catalog's data: where there
// is not enough, beside the catalog or where the copy is built, it is
// refused before it starts.
TEST_F(LibraryFiles, CompactionWithoutRoomForItsCopiesIsRefusedBeforeItStarts) {
    const auto blocks = numbered_blocks("big", 20000, 100);
    Child child([&](const Child::Channel &) {
        const std::filesystem::path scratch = dir.path() / "scratch";
        std::filesystem::create_directories(scratch);
        if (!own_mounts() || !mount_small_disk(dir.path(), "12m")) return kNoNamespace;
        std::filesystem::create_directories(scratch);
        if (!mount_small_disk(scratch, "256k")) return kNoNamespace;
        write_entry("work", "big", "e", "DATA", blocks);
        // The copy is built in the first of these that is a directory.
        ::setenv("SQLITE_TMPDIR", (dir.path() / "none").c_str(), 1);
        ::setenv("TMPDIR", scratch.c_str(), 1);
        Refused r = refusal_of([&] { services.vacuum_catalog("work", "big"); });
        if (!says(r, zef::kCatalogIoFailure, "free in " + scratch.string())) return 1;
        if (r.said.find("nothing was changed") == std::string::npos) return 2;
        ::setenv("TMPDIR", dir.path().c_str(), 1);
        // A catalog of 4 MB wants 10 MB beside it when the copy is built there too.
        write_entry("work", "big", "f", "DATA", numbered_blocks("f", 20000, 100));
        r = refusal_of([&] { services.vacuum_catalog("work", "big"); });
        if (!says(r, zef::kCatalogIoFailure, "free in " + dir.path().string())) return 3;
        if (read_entry("work", "big", "e", "DATA").blocks != blocks) return 4;
        return services.check_catalog("work", "big").empty() ? 0 : 5;
    });
    int code = child.wait();
    if (code == kNoNamespace) GTEST_SKIP() << "no mount namespace here";
    EXPECT_EQ(code, 0);
}

TEST_F(LibraryFiles, CatalogNamesThatLeadNowhereAreRefusedOrListedWithoutACount) {
    write_entry("work", "good", "e", "DATA", {{1, "x"}});
    std::filesystem::create_symlink("loop.zcat", catalog_path("loop"));
    std::filesystem::create_symlink("nowhere", catalog_path("gone"));
    {
        std::ofstream(catalog_path("junk")) << "not a catalog";
    }
    EntryRead read = read_entry("work", "loop", "e", "DATA");
    EXPECT_EQ(read.status, zef::kCatalogDamaged);
    EXPECT_NE(services.last_error().find("Too many levels of symbolic links"), std::string::npos)
        << services.last_error();
    // A compaction names a catalog; a library of files has no other.
    EXPECT_TRUE(says(refusal_of([&] { services.vacuum_catalog("work", ""); }), zef::kCatalogBadRequest,
                     "name the catalog to compact"));
    auto listed = services.list_catalogs("work");
    ASSERT_EQ(listed.size(), 4u);
    std::map<std::string, zefhost::catalog::CatalogSummary> by_name;
    for (const auto &summary : listed) by_name.emplace(summary.name, summary);
    EXPECT_EQ(by_name.at("GOOD").entries, 1);
    EXPECT_EQ(by_name.at("GONE").entries, std::nullopt);
    EXPECT_EQ(by_name.at("GONE").size, 0);
    EXPECT_EQ(by_name.at("JUNK").entries, std::nullopt);
    EXPECT_EQ(by_name.at("LOOP").entries, std::nullopt);
    EXPECT_EQ(services.open_catalogs(), 0u);
}

// The writers' lock file beside a catalog: a directory where it should be,
// or a file taken away or replaced while a writer of this process holds
// it. A writer after that is refused; the one already writing finishes.
TEST_F(LibraryFiles, AWritersFileThatIsNotTheOneInUseRefusesTheNextWriter) {
    const std::filesystem::path writers = catalog_path("c").string() + "-writers";
    write_entry("work", "c", "a", "DATA", {{1, "a"}});
    std::filesystem::remove(writers);
    std::filesystem::create_directory(writers);
    void *cat = nullptr, *entry = nullptr;
    EXPECT_EQ(open_catalog("work", "c", zef::kLibraryWrite, &cat), zef::kCatalogIoFailure);
    EXPECT_NE(services.last_error().find("-writers: Is a directory"), std::string::npos) << services.last_error();
    EXPECT_EQ(services.open_catalogs(), 0u);
    std::filesystem::remove(writers);

    struct Case {
        const char *what;
        std::function<void()> change;
        const char *message;
    };
    const std::vector<Case> cases = {
        {"removed", [&] { std::filesystem::remove(writers); }, "-writers: No such file or directory"},
        {"replaced",
         [&] {
             std::ofstream(writers.string() + ".other") << "";
             std::filesystem::rename(writers.string() + ".other", writers);
         },
         "-writers: replaced while in use"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_EQ(open_catalog("work", "c", zef::kLibraryWrite, &cat), 0);
        ASSERT_EQ(open_entry(cat, "a", "DATA", zef::kMemberOutput, &entry), 0);
        c.change();
        void *second = nullptr;
        EXPECT_EQ(open_entry(cat, "b", "DATA", zef::kMemberOutput, &second), zef::kCatalogIoFailure);
        EXPECT_NE(services.last_error().find(c.message), std::string::npos) << services.last_error();
        EXPECT_EQ(write_block(entry, Block{2, c.what}), 0);
        EXPECT_EQ(close_entry(entry), 0);
        EXPECT_EQ(close_catalog(cat), 0);
        EXPECT_EQ(services.open_entries(), 0u);
        EXPECT_EQ(read_entry("work", "c", "a", "DATA").blocks, (std::vector<Block>{{2, c.what}}));
        EXPECT_EQ(read_entry("work", "c", "b", "DATA").status, zef::kCatalogEntryMissing);
    }
    EXPECT_EQ(count_rows("c", "writers"), 0);
    EXPECT_EQ(services.check_catalog("work", "c"), std::vector<std::string>{});
}

// A writer told not to wait for another is refused at once, and its
// message claims no wait.
TEST_F(LibraryFiles, AWriterThatMayNotWaitIsRefusedAtOnce) {
    write_entry("work", "c", "a", "DATA", {{1, "a"}});
    Child writer([](const Child::Channel &channel) {
        void *cat = nullptr, *entry = nullptr;
        if (open_catalog("work", "c", zef::kLibraryWrite, &cat) != 0) return 10;
        if (open_entry(cat, "a", "DATA", zef::kMemberOutput, &entry) != 0) return 11;
        channel.send('w');
        if (channel.receive() != 'g') return 12;
        if (write_block(entry, Block{2, "b"}) != 0) return 13;
        return close_entry(entry) == 0 && close_catalog(cat) == 0 ? 0 : 14;
    });
    ASSERT_EQ(writer.channel().receive(), 'w');
    services.set_writer_wait(std::chrono::milliseconds(0));
    void *cat = nullptr, *entry = nullptr;
    ASSERT_EQ(open_catalog("work", "c", zef::kLibraryWrite, &cat), 0);
    EXPECT_EQ(open_entry(cat, "a", "DATA", zef::kMemberOutput, &entry), zef::kCatalogEntryInUse);
    EXPECT_NE(services.last_error().find("is being written"), std::string::npos) << services.last_error();
    EXPECT_EQ(services.last_error().find("waited"), std::string::npos) << services.last_error();
    EXPECT_EQ(close_catalog(cat), 0);
    EXPECT_EQ(services.open_entries(), 0u);
    writer.channel().send('g');
    EXPECT_EQ(writer.wait(), 0);
    EXPECT_EQ(read_entry("work", "c", "a", "DATA").blocks, (std::vector<Block>{{2, "b"}}));
}

// A catalog removed while a writer waited for the write lock to register
// itself: the removal saw no writer, and unlinked the file while it held
// the lock. SQLite would let the writer commit into the unlinked file, and
// the version would be lost though reported written: it is refused.
TEST_F(LibraryFiles, AWriterOfACatalogRemovedWhileItWaitedIsRefused) {
    write_entry("work", "c", "old", "DATA", {{1, "o"}});
    void *cat = nullptr;
    ASSERT_EQ(open_catalog("work", "c", zef::kLibraryWrite, &cat), 0);
    // The removal of another process, step by step: its write lock first.
    sqlite3 *remover = nullptr;
    ASSERT_EQ(sqlite3_open(catalog_path("c").c_str(), &remover), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(remover, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    void *entry = nullptr;
    int32_t opened = -1;
    std::thread writer([&] { opened = open_entry(cat, "new", "DATA", zef::kMemberOutput, &entry); });
    // Long enough for the writer to hold the entry's lock and wait for the
    // write lock; were it slower, it would find the file gone all the same.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ASSERT_EQ(::unlink(catalog_path("c").c_str()), 0);
    sqlite3_exec(remover, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(remover);
    writer.join();
    EXPECT_EQ(opened, zef::kCatalogMissing);
    EXPECT_NE(services.last_error().find("was removed while it was open"), std::string::npos)
        << services.last_error();
    if (opened == 0) {
        EXPECT_NE(write_block(entry, Block{1, "lost"}), 0);
        EXPECT_NE(close_entry(entry), 0) << "a version written into a removed catalog was reported closed";
    }
    EXPECT_EQ(close_catalog(cat), 0);
    EXPECT_EQ(services.open_entries(), 0u);
    EXPECT_FALSE(services.catalog_exists("work", "c"));
}

}  // namespace
}  // namespace cattest
