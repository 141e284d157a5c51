// get -o as a careful user of cp expects it: a file appears whole or not at
// all and keeps its mode, a symbolic link is written through, devices and
// FIFOs are written in place, the catalogs' own files are never written
// over, and a failed or interrupted get leaves no temporary file behind.
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <chrono>
#include <thread>

#include "zefcat_runner.h"

namespace zefcat_test {
namespace {

namespace fs = std::filesystem;

class OutputTarget : public ZefcatTest {
protected:
    // The names in the test's directory (and below it) that a get's
    // temporary file would have.
    std::vector<std::string> temporary_files() const {
        std::vector<std::string> found;
        for (const auto &file : fs::recursive_directory_iterator(directory.path()))
            if (file.path().filename().string().find(".zefcat-") != std::string::npos)
                found.push_back(file.path().string());
        return found;
    }

    void put_text(const std::string &entry, const std::string &text) {
        write_file("text.in", text);
        Outcome put = zefcat({"put", entry, "text.in"});
        ASSERT_EQ(put.status, 0) << put.err;
    }
};

TEST_F(OutputTarget, ARegularFileIsReplacedWholeKeepingModeAndOwner) {
    put_text("work.notes.a.source", "one\ntwo\n");
    write_file("kept.txt", "old contents\n");
    ASSERT_EQ(chmod(path("kept.txt").c_str(), 0640), 0);
    ASSERT_EQ(chown(path("kept.txt").c_str(), 65534, 65534), 0);

    Outcome get = zefcat({"get", "work.notes.a.source", "-o", "kept.txt"});
    ASSERT_EQ(get.status, 0) << get.err;
    EXPECT_EQ(read_file("kept.txt"), "one\ntwo\n");
    struct stat status {};
    ASSERT_EQ(stat(path("kept.txt").c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, 0640u);
    EXPECT_EQ(status.st_uid, 65534u);
    EXPECT_EQ(status.st_gid, 65534u);

    // A new file gets the mode the shell's > would give it.
    mode_t mask = umask(0);
    umask(mask);
    ASSERT_EQ(zefcat({"get", "work.notes.a.source", "-o", "new.txt"}).status, 0);
    ASSERT_EQ(stat(path("new.txt").c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, 0666u & ~mask);
    EXPECT_TRUE(temporary_files().empty());
}

TEST_F(OutputTarget, ASymbolicLinkIsWrittenThrough) {
    put_text("work.notes.a.source", "through the link\n");
    write_file("real/target.txt", "before\n");
    ASSERT_EQ(chmod(path("real/target.txt").c_str(), 0600), 0);
    fs::create_symlink("real/target.txt", path("link.txt"));
    fs::create_symlink("link.txt", path("link2.txt"));  // a chain of two
    fs::create_symlink("real/new.txt", path("dangling.txt"));

    ASSERT_EQ(zefcat({"get", "work.notes.a.source", "-o", "link2.txt"}).status, 0);
    EXPECT_TRUE(fs::is_symlink(path("link.txt")));
    EXPECT_TRUE(fs::is_symlink(path("link2.txt")));
    EXPECT_EQ(read_file("real/target.txt"), "through the link\n");
    EXPECT_EQ(fs::status(path("real/target.txt")).permissions(), fs::perms::owner_read | fs::perms::owner_write);

    // A dangling link makes the file it names, as > would.
    ASSERT_EQ(zefcat({"get", "work.notes.a.source", "-o", "dangling.txt"}).status, 0);
    EXPECT_TRUE(fs::is_symlink(path("dangling.txt")));
    EXPECT_EQ(read_file("real/new.txt"), "through the link\n");
    EXPECT_TRUE(temporary_files().empty());
}

TEST_F(OutputTarget, DevicesAndFifosAreWrittenInPlace) {
    put_text("work.notes.a.source", "to a device\n");
    Outcome null = zefcat({"get", "work.notes.a.source", "-o", "/dev/null"});
    EXPECT_EQ(null.status, 0) << null.err;
    struct stat status {};
    ASSERT_EQ(stat("/dev/null", &status), 0);
    EXPECT_TRUE(S_ISCHR(status.st_mode));
    EXPECT_EQ(status.st_rdev, makedev(1, 3));

    // Through the kernel's own links: standard output (a pipe here) is written, not replaced.
    for (const char *name : {"/dev/stdout", "/proc/self/fd/1"}) {
        Outcome out = zefcat({"get", "work.notes.a.source", "-o", name});
        EXPECT_EQ(out.status, 0) << out.err;
        EXPECT_EQ(out.out, "to a device\n") << name;
    }
    // A file of /proc looks regular but is written in place (no temporary file there).
    put_text("work.notes.name.source", "renamed\n");
    Outcome proc = zefcat({"get", "work.notes.name.source", "-o", "/proc/self/comm"});
    EXPECT_EQ(proc.status, 0) << proc.err;

    // A FIFO with a reader on its other end gets the whole entry.
    std::string lines;
    for (int i = 0; i < 20000; ++i) lines += "line " + std::to_string(i) + "\n";
    put_text("work.notes.many.source", lines);
    ASSERT_EQ(mkfifo(path("pipe").c_str(), 0600), 0);
    std::string received;
    std::thread reader([&] {
        std::ifstream in(path("pipe"), std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        received = text.str();
    });
    Outcome fifo = zefcat({"get", "work.notes.many.source", "-o", "pipe"});
    reader.join();
    EXPECT_EQ(fifo.status, 0) << fifo.err;
    EXPECT_TRUE(received == lines) << received.size() << " bytes came through";
    EXPECT_TRUE(fs::is_fifo(path("pipe")));
    EXPECT_TRUE(temporary_files().empty());
}

TEST_F(OutputTarget, TheCatalogsOwnFilesAreRefused) {
    // WORK and a second library, each with a catalog in use.
    fs::create_directories(path("other"));
    put_text("work.notes.a.source", "alpha\n");
    Outcome other_put = zefcat({"-L", "other=other", "put", "other.books.b.source", "text.in"});
    ASSERT_EQ(other_put.status, 0) << other_put.err;
    fs::create_hard_link(path("zefdata/notes.zcat"), path("hard.zcat.copy"));
    fs::create_symlink("zefdata/notes.zcat", path("soft.txt"));

    std::vector<std::string> work_files;
    for (const auto &file : fs::directory_iterator(path("zefdata")))
        work_files.push_back("zefdata/" + file.path().filename().string());
    ASSERT_FALSE(work_files.empty()) << "the catalog";
    std::map<std::string, std::string> before;
    for (const std::string &file : work_files) before[file] = read_file(file);
    before["other/books.zcat"] = read_file("other/books.zcat");

    std::vector<std::string> targets = work_files;
    // Companion files are named too, whether or not they are there now.
    targets.insert(targets.end(), {"other/books.zcat", "other/books.zcat-journal", "zefdata/notes.zcat-wal",
                                   "zefdata/notes.zcat-shm", "zefdata/notes.zcat-writers",
                                   "zefdata/NOTES.ZCAT", "zefdata/fresh.zcat", "hard.zcat.copy", "soft.txt"});
    for (const std::string &target : targets) {
        SCOPED_TRACE(target);
        Outcome get = zefcat({"-L", "other=other", "get", "work.notes.a.source", "-o", target});
        EXPECT_EQ(get.status, 2);
        EXPECT_NE(get.err.find("is a file of the catalog store"), std::string::npos) << get.err;
        EXPECT_EQ(get.out, "");
    }
    for (const auto &[file, bytes] : before) EXPECT_TRUE(read_file(file) == bytes) << file << " changed";
    EXPECT_FALSE(exists("zefdata/fresh.zcat"));
    EXPECT_FALSE(exists("other/books.zcat-journal"));
    EXPECT_TRUE(temporary_files().empty());
    // Both catalogs still hold their entries.
    EXPECT_EQ(zefcat({"get", "work.notes.a.source"}).out, "alpha\n");
    EXPECT_EQ(zefcat({"-L", "other=other", "get", "other.books.b.source"}).out, "alpha\n");

    // A file of that name outside every library is an ordinary file.
    Outcome elsewhere = zefcat({"get", "work.notes.a.source", "-o", "backup.zcat"});
    EXPECT_EQ(elsewhere.status, 0) << elsewhere.err;
    EXPECT_EQ(read_file("backup.zcat"), "alpha\n");
}

TEST_F(OutputTarget, BadTargetsAndFailedGetsLeaveEverythingAsItWas) {
    put_text("work.notes.a.source", "alpha\n");
    write_file("keep.txt", "precious\n");

    Outcome empty = zefcat({"get", "work.notes.a.source", "-o", ""});
    EXPECT_EQ(empty.status, 2);
    EXPECT_NE(empty.err.find("-o needs a file name"), std::string::npos) << empty.err;

    // A loop of links is not replaced by a file.
    fs::create_symlink("loop2", path("loop1"));
    fs::create_symlink("loop1", path("loop2"));
    Outcome loop = zefcat({"get", "work.notes.a.source", "-o", "loop1"});
    EXPECT_EQ(loop.status, 1);
    EXPECT_TRUE(fs::is_symlink(path("loop1")) && fs::is_symlink(path("loop2")));

    fs::create_directories(path("adir"));
    Outcome into_directory = zefcat({"get", "work.notes.a.source", "-o", "adir"});
    EXPECT_EQ(into_directory.status, 1);
    EXPECT_NE(into_directory.err.find("adir is a directory"), std::string::npos) << into_directory.err;
    EXPECT_TRUE(fs::is_empty(path("adir")));

    // The entry is not there: the file keeps what it had.
    Outcome missing = zefcat({"get", "work.notes.missing.source", "-o", "keep.txt"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(read_file("keep.txt"), "precious\n");

    // Transcoding fails half-way: the file keeps what it had, no temporary file stays.
    std::string lines(3 * 1024 * 1024, 'x');
    lines += "\n\xff\n";
    write_file("text.in", lines);
    ASSERT_EQ(zefcat({"put", "work.notes.bad.source", "text.in", "LRECL=4000000"}).status, 0);
    Outcome bad = zefcat({"get", "work.notes.bad.source", "ENCODING=ascii", "-o", "keep.txt"});
    EXPECT_EQ(bad.status, 1) << bad.err;
    EXPECT_EQ(read_file("keep.txt"), "precious\n");
    EXPECT_TRUE(temporary_files().empty());
}

// Runs `zefcat get ENTRY -o out.bin` and sends it `signal_number` once its
// temporary file is there; the child's wait status.
int interrupted_get(const OutputTarget &test, const fs::path &directory, const std::string &entry,
                    int signal_number, bool *saw_temporary) {
    pid_t child = fork();
    if (child == 0) {
        int null = open("/dev/null", O_RDWR);
        dup2(null, 0);
        dup2(null, 1);
        dup2(null, 2);
        if (chdir(directory.c_str()) != 0) _exit(126);
        signal(SIGPIPE, SIG_DFL);  // the test program ignores it
        unsetenv("ZEF_WORK");
        unsetenv("ZEF_LIBRARIES");
        std::string program = zefcat_path();
        execl(program.c_str(), program.c_str(), "get", entry.c_str(), "-o", "out.bin", nullptr);
        _exit(127);
    }
    (void)test;
    *saw_temporary = false;
    for (int i = 0; i < 20000 && !*saw_temporary; ++i) {
        for (const auto &file : fs::directory_iterator(directory))
            if (file.path().filename().string().starts_with("out.bin.zefcat-")) *saw_temporary = true;
        if (!*saw_temporary) std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    kill(child, signal_number);
    int status = 0;
    waitpid(child, &status, 0);
    return status;
}

TEST_F(OutputTarget, AnInterruptedGetLeavesNoTemporaryFile) {
    // Large enough that the get is still writing when the signal comes.
    std::string bytes = random_bytes(96 * 1024 * 1024, 5);
    write_file("big.bin", bytes);
    bytes.clear();
    ASSERT_EQ(zefcat({"put", "work.files.big.png", "big.bin"}).status, 0);
    fs::remove(path("big.bin"));
    write_file("out.bin", "the file that was there\n");

    for (int signal_number : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) {
        SCOPED_TRACE(strsignal(signal_number));
        bool saw_temporary = false;
        int status = interrupted_get(*this, directory.path(), "work.files.big.png", signal_number, &saw_temporary);
        EXPECT_TRUE(saw_temporary);
        ASSERT_TRUE(WIFSIGNALED(status)) << "the get ended before the signal (status " << status << ")";
        EXPECT_EQ(WTERMSIG(status), signal_number);
        EXPECT_TRUE(temporary_files().empty());
        EXPECT_EQ(read_file("out.bin"), "the file that was there\n");
    }
}

}  // namespace
}  // namespace zefcat_test
