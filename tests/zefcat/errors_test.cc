// Failures as a person meets them: one line on standard error that says
// what went wrong in words (the status may follow), exit status 2 for usage
// and option errors and 1 for failures, and nothing left half-written.
#include <sched.h>
#include <sys/mount.h>

#include <regex>

#include "zefcat_runner.h"

namespace zefcat_test {
namespace {

class Errors : public ZefcatTest {
protected:
    void SetUp() override {
        write_file("a.txt", "alpha\nbeta\n");
        ASSERT_EQ(zefcat({"put", "work.notes.kept.source", "a.txt"}).status, 0);
    }
};

struct ErrorCase {
    std::vector<std::string> arguments;
    int status;
    const char *says;  // what the one line on standard error must contain
};

TEST_F(Errors, EachFailureIsOneClearLineAndItsExitStatus) {
    const ErrorCase cases[] = {
        // Options the module rejects, named, with the module's words.
        {{"put", "work.notes.x.source", "a.txt", "LRECL=abc"}, 2,
         "put work.notes.x.source: LRECL=abc: option syntax or value rejected (0x80001018)"},
        {{"put", "work.notes.x.source", "a.txt", "RECFM=X"}, 2, "RECFM=X: option syntax or value rejected: X (0x80001018)"},
        {{"get", "work.notes.kept.source", "COLOUR=red"}, 2, "COLOUR=red: unknown option keyword: COLOUR (0x80001017)"},
        {{"put", "work.notes.x.source", "a.txt", "ENCODING=klingon"}, 2, "option syntax or value rejected: KLINGON"},
        // Names: refused with the rule before the module sees them.
        {{"put", "work.notes.x.data", "a.txt"}, 2, "entries of type DATA cannot be written"},
        {{"put", "work.notes.x.longertype", "a.txt"}, 2, "the type has 10 characters"},
        {{"append", "work.notes", "a.txt"}, 2, "append work.notes: not an entry name"},
        // What is not there.
        {{"get", "work.notes.missing.source"}, 1, "get work.notes.missing.source: entry does not exist (0x8001C006)"},
        {{"get", "work.nocat.missing.source"}, 1, "catalog does not exist (0x8001C002)"},
        {{"rm", "work.notes.missing.source"}, 1, "rm work.notes.missing.source: no such entry"},
        {{"ls", "work.nocat"}, 1, "ls work.nocat: catalog does not exist"},
        {{"get", "nolib.notes.kept.source"}, 1,
         "library not assigned: library \"NOLIB\" is not assigned; assign it with -L NAME=DIR"},
        {{"put", "work.notes.x.source", "no-such-file.txt"}, 1, "no-such-file.txt: No such file or directory"},
        // The command line itself.
        {{"-L", "lib", "ls"}, 2, "-L lib: a library is given as NAME=DIR"},
        {{"-L", "waytoolong=.", "ls"}, 2, "a library name has 1 to 8 letters"},
        {{"put", "work.notes.x.source", "a.txt", "LRECL=80", "extra"}, 2,
         "put work.notes.x.source: several files go into a catalog: zefcat put LIB.CAT FILE..."},
        {{"get", "work.notes.kept.source", "extra.txt"}, 2, "extra.txt is not an option"},
        {{"frobnicate"}, 2, "zefcat: frobnicate is not a command (zefcat --help lists them)"},
        {{"get"}, 2, "zefcat: get: NAME is required (zefcat get --help)"},
    };
    for (const ErrorCase &c : cases) {
        std::string command;
        for (const std::string &a : c.arguments) command += a + " ";
        SCOPED_TRACE(command);
        Outcome run = zefcat(c.arguments);
        EXPECT_EQ(run.status, c.status) << run.err;
        EXPECT_NE(run.err.find(c.says), std::string::npos) << run.err;
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(lines_of(run.err).size(), 1u) << run.err;
        EXPECT_EQ(run.err.rfind("zefcat: ", 0), 0u) << run.err;
        // Words first: a status never stands alone.
        EXPECT_FALSE(std::regex_search(run.err, std::regex(": \\(?0x[0-9A-F]{8}\\)?\n"))) << run.err;
    }
    // None of them touched the entry that was there, or left a catalog behind.
    EXPECT_EQ(zefcat({"get", "work.notes.kept.source"}).out, "alpha\nbeta\n");
    EXPECT_FALSE(exists("zefdata/nocat.zcat"));
}

TEST_F(Errors, AFailedPutLeavesThePreviousVersion) {
    // Line 3 has a byte that is not UTF-8: the transcoding fails after two
    // records went to the host, and the entry keeps what it had.
    write_file("bad.txt", "new one\nnew two\nbad \xff byte\n");
    Outcome put = zefcat({"put", "work.notes.kept.source", "bad.txt", "ENCODING=latin1"});
    EXPECT_EQ(put.status, 1);
    EXPECT_EQ(put.err,
              "zefcat: put work.notes.kept.source: line 3: the byte sequence at offset 4 is not valid "
              "UTF-8 or has no equivalent in ISO-8859-1\n");
    EXPECT_EQ(zefcat({"get", "work.notes.kept.source"}).out, "alpha\nbeta\n");
    // And it can be written again at once.
    EXPECT_EQ(zefcat({"put", "work.notes.kept.source"}, std::string("again\n")).status, 0);
    EXPECT_EQ(zefcat({"get", "work.notes.kept.source"}).out, "again\n");
}

TEST_F(Errors, AFailedGetLeavesNoOutputFile) {
    Outcome get = zefcat({"get", "work.notes.missing.source", "-o", "out.txt"});
    EXPECT_EQ(get.status, 1);
    EXPECT_FALSE(exists("out.txt"));
    for (const auto &file : std::filesystem::directory_iterator(directory.path()))
        EXPECT_EQ(file.path().filename().string().find("out.txt"), std::string::npos) << file.path();
    // An existing file is replaced only by a whole entry.
    write_file("out.txt", "before");
    EXPECT_EQ(zefcat({"get", "work.notes.missing.source", "-o", "out.txt"}).status, 1);
    EXPECT_EQ(read_file("out.txt"), "before");
    EXPECT_EQ(zefcat({"get", "work.notes.kept.source", "-o", "out.txt"}).status, 0);
    EXPECT_EQ(read_file("out.txt"), "alpha\nbeta\n");
}

// A put that fills the disk: WORK on a 1 MB file system of its own (a
// tmpfs in a mount namespace of the child), then a 3 MB put into it.
TEST_F(Errors, AFullDiskIsSaidPlainlyAndTheEntryKeepsItsVersion) {
    write_file("big.bin", random_bytes(3 * 1024 * 1024));
    std::filesystem::create_directories(path("small"));
    std::string script =
        "'" + zefcat_path() + "' put work.pics.logo.png a.txt 2>/dev/null;"
        "'" + zefcat_path() + "' put work.pics.logo.png big.bin 2>err.txt; echo $? > status.txt;"
        "'" + zefcat_path() + "' get work.pics.logo.png > after.txt";
    int code = run_on_small_disk(script, "1m");
    if (code < 0) GTEST_SKIP() << "no mount namespace for a small file system here";
    ASSERT_EQ(code, 0);
    EXPECT_EQ(read_file("status.txt"), "1\n");
    EXPECT_EQ(read_file("err.txt"),
              "zefcat: put work.pics.logo.png: the disk is full (input/output failure in the catalog store, "
              "0x8001C004)\n");
    EXPECT_EQ(read_file("after.txt"), "alpha\nbeta\n");
}

TEST_F(Errors, ExistsAnswersByItsExitStatus) {
    EXPECT_EQ(zefcat({"exists", "work.notes.kept.source"}).status, 0);
    EXPECT_EQ(zefcat({"exists", "work.notes"}).status, 0);
    Outcome missing = zefcat({"exists", "work.notes.missing.source"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err, "");
    EXPECT_EQ(zefcat({"exists", "work.nocat.missing.source"}).status, 1);
    EXPECT_FALSE(exists("zefdata/nocat.zcat"));
    EXPECT_EQ(zefcat({"exists", "-v", "work.notes.kept.source"}).out, "work.notes.kept.source exists\n");
    // A question that cannot be asked is neither yes nor no.
    Outcome unassigned = zefcat({"exists", "nolib.notes.kept.source"});
    EXPECT_EQ(unassigned.status, 2);
    EXPECT_NE(unassigned.err.find("library not assigned"), std::string::npos);
}

}  // namespace
}  // namespace zefcat_test
