// zefcat at the store's edges, through the binary and real processes:
// writers in parallel wait their turn, a library the user cannot write is
// read, a full disk still lets entries be removed, and nothing is left
// beside a catalog once its last user is gone.
#include <grp.h>
#include <sched.h>
#include <sys/mount.h>

#include <algorithm>
#include <set>

#include "zefcat_runner.h"

namespace zefcat_test {
namespace {

class StoreEdges : public ZefcatTest {
protected:
    // Starts zefcat with `arguments`, standard input from the file `input`
    // (of the test's directory), output and errors to files named after
    // `tag`; the process id.
    pid_t start(const std::vector<std::string> &arguments, const std::string &input, const std::string &tag) const {
        pid_t child = fork();
        if (child == 0) {
            if (chdir(directory.path().c_str()) != 0) _exit(126);
            int in = open(input.c_str(), O_RDONLY);
            int out = open((tag + ".out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            int err = open((tag + ".err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (in < 0 || out < 0 || err < 0) _exit(125);
            dup2(in, 0);
            dup2(out, 1);
            dup2(err, 2);
            unsetenv("ZEF_WORK");
            unsetenv("ZEF_LIBRARIES");
            exec_zefcat(arguments);
        }
        return child;
    }
    static int finish(pid_t child) {
        int status = 0;
        waitpid(child, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    // What lies beside the catalogs other than their reserves, which stay
    // with them: the files of a catalog in use, or left behind.
    std::vector<std::string> companions() const {
        std::vector<std::string> names;
        for (const auto &file : std::filesystem::directory_iterator(path("zefdata")))
            if (file.path().extension() != ".zcat" && !file.path().filename().string().ends_with(".zcat-reserve"))
                names.push_back(file.path().filename());
        return names;
    }
};

TEST_F(StoreEdges, ThirtyParallelAppendsStoreEveryLineOnceEachWritersLinesTogether) {
    const int kWriters = 30, kLines = 400;
    std::vector<pid_t> children;
    for (int w = 0; w < kWriters; ++w) {
        std::string lines;
        for (int i = 0; i < kLines; ++i) lines += "w" + std::to_string(w) + " " + std::to_string(i) + "\n";
        write_file("in" + std::to_string(w), lines);
    }
    for (int w = 0; w < kWriters; ++w)
        children.push_back(start({"append", "work.a.build.log"}, "in" + std::to_string(w), "w" + std::to_string(w)));
    for (int w = 0; w < kWriters; ++w)
        EXPECT_EQ(finish(children[static_cast<size_t>(w)]), 0) << read_file("w" + std::to_string(w) + ".err");

    std::vector<std::string> stored = lines_of(zefcat({"get", "work.a.build.log"}).out);
    ASSERT_EQ(stored.size(), static_cast<size_t>(kWriters * kLines));
    // Each writer's lines in one run, in their order.
    std::set<std::string> seen;
    for (size_t run = 0; run < stored.size(); run += kLines) {
        std::string writer = stored[run].substr(0, stored[run].find(' '));
        EXPECT_TRUE(seen.insert(writer).second) << writer << " appears twice";
        for (int i = 0; i < kLines; ++i)
            ASSERT_EQ(stored[run + static_cast<size_t>(i)], writer + " " + std::to_string(i));
    }
    EXPECT_EQ(companions(), std::vector<std::string>{});
}

TEST_F(StoreEdges, ParallelPutsAllSucceedAndRmWaitsForAPutInProgress) {
    const int kWriters = 20;
    std::vector<pid_t> children;
    for (int w = 0; w < kWriters; ++w) write_file("in" + std::to_string(w), "version " + std::to_string(w) + "\n");
    for (int w = 0; w < kWriters; ++w)
        children.push_back(start({"put", "work.a.one.source"}, "in" + std::to_string(w), "w" + std::to_string(w)));
    std::set<std::string> versions;
    for (int w = 0; w < kWriters; ++w) {
        EXPECT_EQ(finish(children[static_cast<size_t>(w)]), 0) << read_file("w" + std::to_string(w) + ".err");
        versions.insert("version " + std::to_string(w) + "\n");
    }
    EXPECT_EQ(versions.count(zefcat({"get", "work.a.one.source"}).out), 1u);

    // A put whose input is a pipe that stays open holds the entry: rm waits
    // for it, or with --wait 0 fails at once saying why.
    ASSERT_EQ(mkfifo(path("slow").c_str(), 0600), 0);
    pid_t put = start({"put", "work.a.one.source"}, "slow", "put");
    int feed = open(path("slow").c_str(), O_WRONLY | O_CLOEXEC);
    ASSERT_GE(feed, 0);
    ASSERT_EQ(write(feed, "partial\n", 8), 8);
    // The put holds the entry once its stream is open: an empty append
    // that may not wait tells when.
    while (zefcat({"--wait", "0", "append", "work.a.one.source"}, "").status == 0) usleep(2000);
    Outcome refused = zefcat({"--wait", "0", "rm", "work.a.one.source"});
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(refused.err, "zefcat: rm work.a.one.source: entry in use: entry ONE.SOURCE is being written "
                           "(0x8001C005)\n");
    pid_t rm = start({"rm", "work.a.one.source"}, "/dev/null", "rm");
    ASSERT_EQ(write(feed, "rest\n", 5), 5);
    close(feed);
    EXPECT_EQ(finish(put), 0) << read_file("put.err");
    EXPECT_EQ(finish(rm), 0) << read_file("rm.err");
    EXPECT_EQ(zefcat({"exists", "work.a.one.source"}).status, 1);
}

TEST_F(StoreEdges, AKilledWriterHoldsNoOneUp) {
    zefcat({"put", "work.a.e.source"}, "before\n");
    ASSERT_EQ(mkfifo(path("slow").c_str(), 0600), 0);
    pid_t put = start({"append", "work.a.e.source"}, "slow", "put");
    int feed = open(path("slow").c_str(), O_WRONLY | O_CLOEXEC);
    ASSERT_GE(feed, 0);
    ASSERT_EQ(write(feed, "lost\n", 5), 5);
    while (zefcat({"--wait", "0", "append", "work.a.e.source"}, "").status == 0) usleep(2000);
    kill(put, SIGKILL);
    EXPECT_EQ(finish(put), 128 + SIGKILL);
    close(feed);
    Outcome after = zefcat({"--wait", "0", "append", "work.a.e.source"}, "after\n");
    EXPECT_EQ(after.status, 0) << after.err;
    EXPECT_EQ(zefcat({"get", "work.a.e.source"}).out, "before\nafter\n");
    EXPECT_EQ(companions(), std::vector<std::string>{});
}

TEST_F(StoreEdges, TheWaitIsToldOnATerminalOnly) {
    zefcat({"put", "work.a.e.source"}, "before\n");
    ASSERT_EQ(mkfifo(path("slow").c_str(), 0600), 0);
    pid_t put = start({"put", "work.a.e.source"}, "slow", "put");
    int feed = open(path("slow").c_str(), O_WRONLY | O_CLOEXEC);
    ASSERT_GE(feed, 0);
    while (zefcat({"--wait", "0", "append", "work.a.e.source"}, "").status == 0) usleep(2000);
    Outcome waited = zefcat({"--wait", "0.2", "append", "work.a.e.source"}, RunOptions{"x\n", {}, true});
    EXPECT_NE(waited.err.find("zefcat: waiting: entry E.SOURCE is being written (up to 0.2 s, --wait sets how long)"),
              std::string::npos)
        << waited.err;
    EXPECT_NE(waited.err.find("(waited 0.2 s) (0x8001C005)"), std::string::npos) << waited.err;
    Outcome quiet = zefcat({"--wait", "0.2", "append", "work.a.e.source"}, "x\n");
    EXPECT_EQ(quiet.status, 1);
    EXPECT_EQ(quiet.err.find("waiting"), std::string::npos) << quiet.err;
    close(feed);
    EXPECT_EQ(finish(put), 0);
}

TEST_F(StoreEdges, ARefusedPutLeavesNoCatalogBehind) {
    Outcome refused = zefcat({"put", "work.fresh.x.source", "ENCODING=ascii"}, "caf\xc3\xa9\n");
    EXPECT_EQ(refused.status, 1) << refused.err;
    EXPECT_FALSE(exists("zefdata/fresh.zcat"));
    // A catalog that was there before stays, with what it held.
    ASSERT_EQ(zefcat({"put", "work.kept.x.source"}, "one\n").status, 0);
    EXPECT_EQ(zefcat({"put", "work.kept.y.source", "ENCODING=ascii"}, "caf\xc3\xa9\n").status, 1);
    EXPECT_EQ(zefcat({"get", "work.kept.x.source"}).out, "one\n");
    EXPECT_EQ(companions(), std::vector<std::string>{});
}

// As the user nobody, in a library directory it cannot write (mode 555,
// the catalog file 666): everything that reads works, every write says
// the library is read-only, and nothing is made there.
TEST_F(StoreEdges, ALibraryTheUserCannotWriteIsRead) {
    ASSERT_EQ(zefcat({"put", "work.a.e.source"}, "one\ntwo\n").status, 0);
    std::filesystem::permissions(directory.path(), std::filesystem::perms(0755));
    std::filesystem::permissions(path("zefdata/a.zcat"), std::filesystem::perms(0666));
    std::filesystem::permissions(path("zefdata"), std::filesystem::perms(0555));
    std::filesystem::create_directories(path("out"));
    std::filesystem::permissions(path("out"), std::filesystem::perms(0777));
    std::string script;
    for (const char *command : {"get work.a.e.source", "ls work.a", "exists work.a.e.source", "info work.a.e.source",
                                "put work.a.new.source /dev/null", "rm work.a.e.source",
                                "put work.b.new.source /dev/null"})
        script += "echo \"== $(" + zefcat_path() + " " + command + " 2>&1 >/dev/null; echo $?)\" >> out/result;";
    script += zefcat_path() + " get work.a.e.source > out/got;";
    pid_t child = fork();
    if (child == 0) {
        if (chdir(directory.path().c_str()) != 0) _exit(30);
        gid_t nobody_group = 65534;
        if (setgroups(0, nullptr) != 0 || setresgid(nobody_group, nobody_group, nobody_group) != 0 ||
            setresuid(65534, 65534, 65534) != 0)
            _exit(31);
        unsetenv("ZEF_WORK");
        unsetenv("ZEF_LIBRARIES");
        // A build with coverage counters writes them where nobody may.
        setenv("GCOV_PREFIX", path("out/gcov").c_str(), 1);
        execl("/bin/sh", "sh", "-c", script.c_str(), static_cast<char *>(nullptr));
        _exit(32);
    }
    int status = 0;
    waitpid(child, &status, 0);
    std::filesystem::permissions(path("zefdata"), std::filesystem::perms(0755));
    ASSERT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, 0) << read_file("out/result");
    EXPECT_EQ(read_file("out/got"), "one\ntwo\n");
    EXPECT_EQ(lines_of(read_file("out/result")),
              (std::vector<std::string>{
                  "== 0", "== 0", "== 0", "== 0",
                  "== zefcat: put work.a.new.source: library WORK is read-only (0x8001C007)", "1",
                  "== zefcat: rm work.a.e.source: library WORK is read-only (0x8001C007)", "1",
                  "== zefcat: put work.b.new.source: library WORK is read-only (0x8001C007)", "1"}));
    EXPECT_EQ(companions(), std::vector<std::string>{});
}

// WORK on a 4 MB file system of its own (a tmpfs in a mount namespace of
// the child), filled up: rm still works and gives room back, making a
// catalog says the disk is full, and a put leaves no log behind.
TEST_F(StoreEdges, OnAFullDiskRmFreesSpace) {
    write_file("a.bin", random_bytes(900 * 1024));
    std::filesystem::create_directories(path("small"));
    const std::string z = "'" + zefcat_path() + "'";
    std::string script =
        z + " put work.p.a.png a.bin; echo put $? >> result; ls small >> result;"
        "head -c 4000000 /dev/zero > small/filler 2>/dev/null;"
        + z + " put work.q.c.source a.bin 2>> result; echo new $? >> result;"
        + z + " rm work.p.a.png 2>> result; echo rm $? >> result;"
        + z + " exists work.p.a.png; echo exists $? >> result; ls small >> result;"
        "rm small/filler;"
        + z + " put work.p.b.png a.bin 2>> result; echo again $? >> result;";
    int code = run_on_small_disk(script, "4m");
    if (code < 0) GTEST_SKIP() << "no mount namespace for a small file system here";
    ASSERT_EQ(code, 0);
    EXPECT_EQ(lines_of(read_file("result")),
              (std::vector<std::string>{
                  "put 0", "p.zcat", "p.zcat-reserve",
                  "zefcat: put work.q.c.source: the disk is full (input/output failure in the catalog store, "
                  "0x8001C004)",
                  // The reserve, given back by the deletion, is kept again
                  // once the deletion's log is folded in.
                  "new 1", "rm 0", "exists 1", "filler", "p.zcat", "p.zcat-reserve", "again 0"}));
}

// A catalog is made under a name of its own and takes its name once made.
// When the disk filled up as SQLite folded the new catalog's log into it on
// closing, the half-folded file took the catalog's name all the same: the
// put said the disk was full, and from then on the catalog read as damaged,
// even once there was room again. Tried with every margin of free space
// from a few KiB to well over what a catalog needs: each put that fails
// leaves nothing behind, and the next one, with room, makes the catalog.
TEST_F(StoreEdges, ACatalogMadeOnAFillingDiskIsWholeOrNotThere) {
    write_file("a.txt", "one\ntwo\n");
    const std::string z = "'" + zefcat_path() + "'";
    std::string script =
        "for free in $(seq 8 8 400); do"
        "  avail=$(df -B1 --output=avail small | tail -n 1);"
        "  head -c $((avail - free * 1024)) /dev/zero > small/filler 2>/dev/null;"
        "  " + z + " put work.q.c.source a.txt 2> err; first=$?;"
        "  rm small/filler;"
        "  " + z + " put work.q.c.source a.txt 2>> err; second=$?;"
        "  got=$(" + z + " get work.q.c.source | tr '\\n' ' ');"
        "  echo \"$first $second $got$(ls -A small | tr '\\n' ' ')\" >> result;"
        "  if [ $first -ne 0 ] && ! grep -q 'the disk is full' err; then cat err >> result; fi;"
        "  rm -f small/* small/.[!.]*;"
        "done";
    int code = run_on_small_disk(script, "2m");
    if (code < 0) GTEST_SKIP() << "no mount namespace for a small file system here";
    ASSERT_EQ(code, 0);
    std::vector<std::string> lines = lines_of(read_file("result"));
    ASSERT_EQ(lines.size(), 50u) << read_file("result");
    size_t full = 0;
    for (const std::string &line : lines) {
        full += line.starts_with("1 ");
        EXPECT_TRUE(line == "0 0 one two q.zcat q.zcat-reserve " || line == "1 0 one two q.zcat q.zcat-reserve ")
            << line;
    }
    EXPECT_GT(full, 10u);
    EXPECT_LT(full, 50u);
}

}  // namespace
}  // namespace zefcat_test
