// Catalogs shared with other processes: a writer killed at any moment, a
// writer whose file system fills up, readers and writers in different
// processes. Children are forked while the test holds no connection to the
// catalog, and report through exit codes and one-byte messages.
#include <fcntl.h>
#include <sys/resource.h>
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "support.h"

namespace cattest {
namespace {

using namespace std::chrono_literals;

// The work of a writing child: writes `count` blocks tagged `tag` to entry
// `name` in `mode`, saying 'p' every 2000 blocks, 'c' right before the
// close and 'd' after it. Exit code 0 when every call succeeded.
int write_in_child(const Child::Channel &channel, const std::string &name, int32_t mode,
                   const std::string &tag, int count) {
    void *cat = nullptr, *entry = nullptr;
    if (open_catalog("work", "crash", zef::kLibraryWrite, &cat) != 0) return 10;
    if (open_entry(cat, name, "DATA", mode, &entry) != 0) return 11;
    if (mode == zef::kMemberAppend && point(entry, 0, zef::kPointToEnd) != 0) return 12;
    for (int i = 0; i < count; ++i) {
        std::string text = tag + " " + std::to_string(i);
        text.resize(80, '.');
        if (write_block(entry, Block{322, text}) != 0) return 13;
        if (i % 2000 == 1999) channel.send('p');
    }
    channel.send('c');
    if (close_entry(entry) != 0) return 14;
    channel.send('d');
    return close_catalog(cat) == 0 ? 0 : 15;
}

class CatalogProcesses : public BothStores {
protected:
    // Only the catalog files themselves in a directory library and their
    // reserves: no -wal, -shm or writers file once the last handle closed.
    void expect_only_catalog_files(const std::vector<std::string> &expected) {
        if (kind == StoreKind::directory) {
            EXPECT_EQ(files_in(dir.path()), expected);
        }
    }
    static std::vector<std::string> files_in(const std::filesystem::path &directory) {
        std::vector<std::string> names;
        for (const auto &file : std::filesystem::directory_iterator(directory)) names.push_back(file.path().filename());
        std::sort(names.begin(), names.end());
        return names;
    }
};
ZEF_ON_BOTH_STORES(CatalogProcesses);
// A file system that fills up: a directory library's own failure.
using CatalogFileProcesses = CatalogTest;

TEST_P(CatalogProcesses, AWriterKilledAtAnyMomentCostsNoClosedEntry) {
    const auto small = numbered_blocks("small", 3);
    const auto medium = numbered_blocks("medium", 5000);
    const auto big_v1 = numbered_blocks("v1", 20000);
    write_entry("work", "crash", "small", "DATA", small);
    write_entry("work", "crash", "medium", "DATA", medium);
    write_entry("work", "crash", "big", "DATA", big_v1);
    const int kNew = 60000;

    struct Kill {
        const char *what;
        const char *entry;
        int32_t mode;
        int progress_reports;        // kill after this many 'p' (0: not by progress)
        bool at_close;               // kill on 'c', after `delay`
        std::chrono::microseconds delay;
    };
    // Kills on 'c' land at different places: before or inside the commit of
    // the close, inside the catalog's close (its checkpoint), or after all.
    const std::vector<Kill> kills = {
        {"replacing, early", "big", zef::kMemberOutput, 1, false, 0us},
        {"replacing, after chunks were staged", "big", zef::kMemberOutput, 10, false, 0us},
        {"replacing, after a time", "big", zef::kMemberOutput, 0, false, 15000us},
        {"replacing, as the close begins", "big", zef::kMemberOutput, 0, true, 0us},
        {"replacing, inside the close", "big", zef::kMemberOutput, 0, true, 2000us},
        {"replacing, later in the close", "big", zef::kMemberOutput, 0, true, 8000us},
        {"replacing, around the catalog's close", "big", zef::kMemberOutput, 0, true, 20000us},
        {"creating, mid-write", "new", zef::kMemberOutput, 12, false, 0us},
        {"creating, inside the close", "new", zef::kMemberOutput, 0, true, 3000us},
        {"appending, mid-write", "medium", zef::kMemberAppend, 8, false, 0us},
        {"appending, inside the close", "medium", zef::kMemberAppend, 0, true, 2000us},
        {"appending, around the catalog's close", "medium", zef::kMemberAppend, 0, true, 20000us},
    };
    std::vector<Block> expect_big = big_v1;
    std::vector<Block> expect_medium = medium;
    bool new_exists = false;
    auto started = std::chrono::steady_clock::now();
    for (const Kill &kill : kills) {
        SCOPED_TRACE(kill.what);
        std::string tag = std::string("k") + std::to_string(&kill - kills.data());
        Child child([&](const Child::Channel &ch) { return write_in_child(ch, kill.entry, kill.mode, tag, kNew); });
        bool closed = false;
        if (kill.progress_reports > 0) {
            for (int i = 0; i < kill.progress_reports; ++i) ASSERT_EQ(child.channel().receive(), 'p');
        } else if (kill.at_close) {
            char c;
            while ((c = child.channel().receive()) == 'p') {
            }
            ASSERT_EQ(c, 'c');
            std::this_thread::sleep_for(kill.delay);
        } else {
            std::this_thread::sleep_for(kill.delay);
        }
        child.kill();
        int code = child.wait();
        // The close may have finished before the kill landed.
        while (char c = child.channel().receive(0ms)) closed = closed || c == 'd';
        ASSERT_TRUE(code == 128 + SIGKILL || (code == 0 && closed)) << "child ended with " << code;

        // Whatever was closed before is intact; the entry being written is
        // either as it was or complete, never in between.
        auto written = numbered_blocks(tag, kNew);
        std::vector<Block> now_big = read_entry("work", "crash", "big", "DATA").blocks;
        std::vector<Block> now_medium = read_entry("work", "crash", "medium", "DATA").blocks;
        EntryRead now_new = read_entry("work", "crash", "new", "DATA");
        std::string entry = kill.entry;
        if (entry == "big" && now_big == written) expect_big = written;
        if (entry == "medium" && now_medium.size() == expect_medium.size() + written.size()) {
            expect_medium.insert(expect_medium.end(), written.begin(), written.end());
        }
        if (entry == "new" && now_new.status == 0) {
            EXPECT_EQ(now_new.blocks, written);
            new_exists = true;
        }
        EXPECT_EQ(read_entry("work", "crash", "small", "DATA").blocks, small);
        EXPECT_EQ(now_medium, expect_medium);
        EXPECT_EQ(now_big, expect_big);
        EXPECT_EQ(now_new.status == 0, new_exists);
        EXPECT_EQ(services.check_catalog("work", "crash"), std::vector<std::string>{});
    }
    // The next writer's open of the catalog clears what the dead ones left
    // (a server may take a moment to see that a killed client is gone).
    auto deadline = std::chrono::steady_clock::now() + 10s;
    do {
        void *cat = nullptr;
        ASSERT_EQ(open_catalog("work", "crash", zef::kLibraryWrite, &cat), 0);
        ASSERT_EQ(close_catalog(cat), 0);
    } while (count_rows("crash", "writers") != 0 && std::chrono::steady_clock::now() < deadline);
    EXPECT_EQ(count_rows("crash", "writers"), 0);
    EXPECT_EQ(services.check_catalog("work", "crash"), std::vector<std::string>{});
    EXPECT_LT(std::chrono::steady_clock::now() - started, 30s);
}

TEST_F(CatalogFileProcesses, AFullFileSystemFailsTheWriteAndLeavesTheEntryAsItWas) {
    const auto v1 = numbered_blocks("v1", 2000);
    write_entry("work", "crash", "big", "DATA", v1);
    auto limit = static_cast<rlim_t>(std::filesystem::file_size(catalog_path("crash")) + 256 * 1024);
    Child child([&](const Child::Channel &) {
        ::signal(SIGXFSZ, SIG_IGN);
        struct rlimit rl {limit, limit};
        if (::setrlimit(RLIMIT_FSIZE, &rl) != 0) return 20;
        void *cat = nullptr, *entry = nullptr;
        if (open_catalog("work", "crash", zef::kLibraryWrite, &cat) != 0) return 21;
        if (open_entry(cat, "big", "DATA", zef::kMemberOutput, &entry) != 0) return 22;
        int32_t failed = 0;
        for (const Block &b : numbered_blocks("v2", 40000))
            if ((failed = write_block(entry, b)) != 0) break;
        if (failed != 0 && failed != zef::kCatalogIoFailure) return 23;
        // Once a write failed, the others are refused too, and so is the close.
        if (failed != 0 && write_block(entry, Block{1, "more"}) != zef::kCatalogIoFailure) return 24;
        int32_t closed = close_entry(entry);
        if (closed != zef::kCatalogIoFailure) return 25;
        close_catalog(cat);
        return 0;
    });
    EXPECT_EQ(child.wait(), 0) << "see the child's exit codes above";
    EXPECT_EQ(read_entry("work", "crash", "big", "DATA").blocks, v1);
    EXPECT_EQ(services.check_catalog("work", "crash"), std::vector<std::string>{});
    // And it can be written again once there is room.
    write_entry("work", "crash", "big", "DATA", numbered_blocks("v3", 10));
    EXPECT_EQ(read_entry("work", "crash", "big", "DATA").blocks, numbered_blocks("v3", 10));
}

TEST_P(CatalogProcesses, ReadersInAnotherProcessSeeThePreviousVersionUntilTheWritersClose) {
    const auto v1 = numbered_blocks("v1", 3000);
    const auto v2 = numbered_blocks("v2", 15000);  // more than one staging batch
    write_entry("work", "shared", "e", "DATA", v1);
    Child reader([&](const Child::Channel &ch) {
        void *in = nullptr, *out = nullptr, *first = nullptr, *second = nullptr, *kept = nullptr;
        if (open_catalog("work", "shared", zef::kLibraryInput, &in) != 0) return 30;
        if (open_catalog("work", "shared", zef::kLibraryWrite, &out) != 0) return 31;
        if (open_entry(in, "e", "DATA", zef::kMemberInput, &first) != 0) return 32;
        Block block;
        for (int i = 0; i < 1500; ++i)
            if (read_block(first, block) != 0 || !(block == v1[static_cast<size_t>(i)])) return 33;
        ch.send('h');
        if (ch.receive() != 'w') return 34;  // the parent's writer has written, not closed
        std::vector<Block> rest = read_rest(first);
        if (rest != std::vector<Block>(v1.begin() + 1500, v1.end())) return 35;
        if (close_entry(first) != 0) return 36;
        if (open_entry(in, "e", "DATA", zef::kMemberInput, &second) != 0 || read_rest(second) != v1) return 37;
        close_entry(second);
        if (open_entry(in, "e", "DATA", zef::kMemberInput, &kept) != 0) return 38;
        void *refused = nullptr;
        // Told not to wait, other writers are refused at once.
        zefhost::catalog::Services::live().set_writer_wait(0ms);
        if (open_entry(out, "e", "DATA", zef::kMemberOutput, &refused) != zef::kCatalogEntryInUse) return 39;
        if (open_entry(out, "e", "DATA", zef::kMemberAppend, &refused) != zef::kCatalogEntryInUse) return 40;
        if (remove(out, "e", "DATA") != zef::kCatalogEntryInUse) return 41;
        ch.send('x');
        if (ch.receive() != 'g') return 42;  // the parent's writer closed
        if (read_rest(kept) != v1) return 43;  // opened before the close: the old version
        close_entry(kept);
        if (open_entry(in, "e", "DATA", zef::kMemberInput, &second) != 0 || read_rest(second) != v2) return 44;
        close_entry(second);
        void *writer = nullptr;
        if (open_entry(out, "e", "DATA", zef::kMemberAppend, &writer) != 0) return 45;
        if (close_entry(writer) != 0) return 46;
        close_catalog(out);
        close_catalog(in);
        return 0;
    });
    ASSERT_EQ(reader.channel().receive(), 'h');
    void *cat = nullptr, *writer = nullptr;
    ASSERT_EQ(open_catalog("work", "shared", zef::kLibraryWrite, &cat), 0);
    ASSERT_EQ(open_entry(cat, "e", "DATA", zef::kMemberOutput, &writer), 0);
    for (const Block &b : v2) ASSERT_EQ(write_block(writer, b), 0);
    reader.channel().send('w');
    ASSERT_EQ(reader.channel().receive(), 'x');
    ASSERT_EQ(close_entry(writer), 0);
    reader.channel().send('g');
    EXPECT_EQ(reader.wait(), 0) << "the child's exit code tells which check failed";
    ASSERT_EQ(close_catalog(cat), 0);
    EXPECT_EQ(read_entry("work", "shared", "e", "DATA").blocks, v2);
}

TEST_P(CatalogProcesses, NoReaderEverSeesHalfAnEntry) {
    const int kVersions = 12;
    auto blocks_of = [](int version) { return numbered_blocks("v" + std::to_string(version), 2000 + (version % 3) * 6000); };
    write_entry("work", "shared", "e", "DATA", blocks_of(0));
    Child writer([&](const Child::Channel &) {
        for (int version = 1; version <= kVersions; ++version) {
            void *cat = nullptr, *entry = nullptr;
            if (open_catalog("work", "shared", zef::kLibraryWrite, &cat) != 0) return 50;
            if (open_entry(cat, "e", "DATA", zef::kMemberOutput, &entry) != 0) return 51;
            for (const Block &b : blocks_of(version))
                if (write_block(entry, b) != 0) return 52;
            if (close_entry(entry) != 0) return 53;
            close_catalog(cat);
        }
        return 0;
    });
    int reads = 0;
    auto deadline = std::chrono::steady_clock::now() + 20s;
    while (writer.running() && std::chrono::steady_clock::now() < deadline) {
        EntryRead got = read_entry("work", "shared", "e", "DATA");
        ASSERT_EQ(got.status, 0);
        ASSERT_FALSE(got.blocks.empty());
        std::string tag = got.blocks[0].bytes.substr(0, got.blocks[0].bytes.find(' '));
        int version = std::stoi(tag.substr(1));
        ASSERT_EQ(got.blocks, blocks_of(version)) << "a mixed or partial entry at version " << version;
        ++reads;
        if (writer.wait(0ms) >= 0) break;
    }
    EXPECT_EQ(writer.wait(), -1) << "already reaped";  // reaped in the loop
    EXPECT_GT(reads, 0);
    EXPECT_EQ(read_entry("work", "shared", "e", "DATA").blocks, blocks_of(kVersions));
}

// A child that writes `tag` blocks to entry e of catalog "wait" (mode 8, at
// the end), says 'o', and closes when told 'w' (or is killed first).
int hold_writer(const Child::Channel &channel, const std::vector<Block> &blocks) {
    void *cat = nullptr, *entry = nullptr;
    if (open_catalog("work", "wait", zef::kLibraryWrite, &cat) != 0) return 50;
    if (open_entry(cat, "e", "DATA", zef::kMemberAppend, &entry) != 0) return 51;
    if (point(entry, 0, zef::kPointToEnd) != 0) return 52;
    for (const Block &b : blocks)
        if (write_block(entry, b) != 0) return 53;
    channel.send('o');
    if (channel.receive() != 'w') return 54;
    if (close_entry(entry) != 0) return 55;
    return close_catalog(cat) == 0 ? 0 : 56;
}

std::vector<Block> joined(std::vector<Block> a, const std::vector<Block> &b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

TEST_P(CatalogProcesses, AWriterWaitsForTheEntryAndAppendsAfterTheWriterBeforeIt) {
    const auto v1 = numbered_blocks("v1", 10), theirs = numbered_blocks("theirs", 15000),
               ours = numbered_blocks("ours", 10);
    write_entry("work", "wait", "e", "DATA", v1);
    Child writer([&](const Child::Channel &ch) { return hold_writer(ch, theirs); });
    ASSERT_EQ(writer.channel().receive(), 'o');
    // Told that we wait, the other writer closes: the wait ends with its close.
    int notices = 0;
    services.set_writer_wait(30s);
    services.set_wait_notice([&](const std::string &what) {
        ++notices;
        EXPECT_EQ(what, "entry E.DATA is being written");
        writer.channel().send('w');
    });
    void *cat = nullptr, *entry = nullptr;
    ASSERT_EQ(open_catalog("work", "wait", zef::kLibraryWrite, &cat), 0);
    ASSERT_EQ(open_entry(cat, "e", "DATA", zef::kMemberAppend, &entry), 0);
    EXPECT_EQ(writer.wait(), 0);
    ASSERT_EQ(point(entry, 0, zef::kPointToEnd), 0);
    for (const Block &b : ours) ASSERT_EQ(write_block(entry, b), 0);
    ASSERT_EQ(close_entry(entry), 0);
    ASSERT_EQ(close_catalog(cat), 0);
    EXPECT_EQ(notices, 1);
    EXPECT_EQ(read_entry("work", "wait", "e", "DATA").blocks, joined(joined(v1, theirs), ours));
    expect_only_catalog_files({"wait.zcat", "wait.zcat-reserve"});
}

TEST_P(CatalogProcesses, ADeletionWaitsForTheWriterAndTheWaitHasABound) {
    write_entry("work", "wait", "e", "DATA", numbered_blocks("v1", 10));
    Child writer([&](const Child::Channel &ch) { return hold_writer(ch, numbered_blocks("theirs", 10)); });
    ASSERT_EQ(writer.channel().receive(), 'o');
    void *cat = nullptr, *entry = nullptr;
    ASSERT_EQ(open_catalog("work", "wait", zef::kLibraryWrite, &cat), 0);
    services.set_writer_wait(0ms);
    EXPECT_EQ(remove(cat, "e", "DATA"), zef::kCatalogEntryInUse);
    services.set_writer_wait(50ms);
    EXPECT_EQ(open_entry(cat, "e", "DATA", zef::kMemberOutput, &entry), zef::kCatalogEntryInUse);
    EXPECT_NE(services.last_error().find("(waited"), std::string::npos) << services.last_error();
    // Other entries of the catalog are free meanwhile.
    ASSERT_EQ(open_entry(cat, "other", "DATA", zef::kMemberOutput, &entry), 0);
    ASSERT_EQ(close_entry(entry), 0);
    services.set_writer_wait(30s);
    services.set_wait_notice([&](const std::string &) { writer.channel().send('w'); });
    EXPECT_EQ(remove(cat, "e", "DATA"), 0);
    EXPECT_EQ(writer.wait(), 0);
    EXPECT_EQ(find(cat, "e", "DATA"), zef::kCatalogEntryMissing);
    ASSERT_EQ(close_catalog(cat), 0);
}

TEST_P(CatalogProcesses, AKilledWriterHoldsNoOneUp) {
    const auto v1 = numbered_blocks("v1", 10);
    write_entry("work", "wait", "e", "DATA", v1);
    Child writer([&](const Child::Channel &ch) { return hold_writer(ch, numbered_blocks("lost", 15000)); });
    ASSERT_EQ(writer.channel().receive(), 'o');
    writer.kill();
    EXPECT_EQ(writer.wait(), 128 + SIGKILL);
    // Not a moment of waiting: its locks died with it (once the server has
    // seen its connection close, which takes a moment).
    services.set_writer_wait(kind == StoreKind::database ? 5000ms : 0ms);
    void *cat = nullptr, *entry = nullptr;
    ASSERT_EQ(open_catalog("work", "wait", zef::kLibraryWrite, &cat), 0);
    ASSERT_EQ(open_entry(cat, "e", "DATA", zef::kMemberAppend, &entry), 0);
    ASSERT_EQ(point(entry, 0, zef::kPointToEnd), 0);
    ASSERT_EQ(write_block(entry, Block{322, "after"}), 0);
    ASSERT_EQ(close_entry(entry), 0);
    ASSERT_EQ(close_catalog(cat), 0);
    EXPECT_EQ(read_entry("work", "wait", "e", "DATA").blocks, joined(v1, {Block{322, "after"}}));
    EXPECT_EQ(count_rows("wait", "writers"), 0);
    EXPECT_EQ(services.check_catalog("work", "wait"), std::vector<std::string>{});
    expect_only_catalog_files({"wait.zcat", "wait.zcat-reserve"});
}

}  // namespace
}  // namespace cattest

namespace cattest {
namespace {

// Whether a process other than this one holds a lock on the bytes that
// readers of a SQLite file lock shared (asked from a child, since a
// process does not see its own POSIX locks).
bool shared_bytes_locked_by(pid_t holder, const std::filesystem::path &file) {
    Child probe([&](const Child::Channel &) {
        int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
        struct flock lock {};
        lock.l_type = F_WRLCK;
        lock.l_whence = SEEK_SET;
        lock.l_start = 0x40000002;  // SQLite's shared range, after its pending and reserved bytes
        lock.l_len = 510;
        if (fd < 0 || ::fcntl(fd, F_GETLK, &lock) != 0) return 2;
        return lock.l_type != F_UNLCK && lock.l_pid == holder ? 0 : 1;
    });
    return probe.wait() == 0;
}

// Closing a descriptor of a file drops every POSIX lock the process holds
// on it, SQLite's included: the store must never open the catalog file
// beside SQLite. A reader's lock survives a writer's close in its process.
// A child forked while a writer is open lets go of what it inherited, as a
// process on its way out does: the connection is its parent's and stays
// untouched (no transaction ended, no staged chunk dropped, no entry
// committed), and the parent's entry closes whole.
TEST_P(CatalogProcesses, AForkedChildLeavesItsParentsWriterAlone) {
    void *cat = nullptr, *writer = nullptr;
    ASSERT_EQ(open_catalog("work", "c", zef::kLibraryWrite, &cat), 0);
    ASSERT_EQ(open_entry(cat, "e", "DATA", zef::kMemberOutput, &writer), 0);
    std::vector<Block> blocks = numbered_blocks("e", 40000);  // staged in several transactions
    size_t half = blocks.size() / 2;
    for (size_t i = 0; i < half; ++i) ASSERT_EQ(write_block(writer, blocks[i]), 0);
    Child child([&](const Child::Channel &) {
        bool refused = close_entry(writer) == zef::kCatalogIoFailure &&
                       services.last_error().find("belongs to process") != std::string::npos;
        services.end_all_handles();
        return refused ? 0 : 1;
    });
    EXPECT_EQ(child.wait(), 0);
    for (size_t i = half; i < blocks.size(); ++i) ASSERT_EQ(write_block(writer, blocks[i]), 0);
    EXPECT_EQ(close_entry(writer), 0) << services.last_error();
    EXPECT_EQ(close_catalog(cat), 0);
    EXPECT_EQ(read_entry("work", "c", "e", "DATA").blocks, blocks);
}

TEST_F(CatalogFileProcesses, AWritersCloseKeepsTheLocksOfOtherConnectionsInItsProcess) {
    write_entry("work", "locks", "e", "DATA", numbered_blocks("e", 10));
    // A catalog handle whose connection has read (and holds SQLite's lock
    // on the file while it is open), and a writer's close beside it.
    void *cat = nullptr;
    ASSERT_EQ(open_catalog("work", "locks", zef::kLibraryInput, &cat), 0);
    ASSERT_EQ(find(cat, "e", "DATA"), 0);
    ASSERT_TRUE(shared_bytes_locked_by(::getpid(), catalog_path("locks")));
    write_entry("work", "locks", "f", "DATA", numbered_blocks("f", 10));
    EXPECT_TRUE(shared_bytes_locked_by(::getpid(), catalog_path("locks")))
        << "the catalog handle's lock was dropped by the writer's close";
    EXPECT_EQ(find(cat, "f", "DATA"), 0);
    EXPECT_EQ(close_catalog(cat), 0);
}

}  // namespace
}  // namespace cattest
