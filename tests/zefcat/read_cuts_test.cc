// Reading never cuts a record silently: records of any length come back
// whole, and a record length the person asks for cuts longer ones with a
// note for each and exit status 3, on the command line and in the shell.
#include <algorithm>

#include "zefcat_runner.h"

namespace zefcat_test {
namespace {

class ReadCuts : public ZefcatTest {
protected:
    // Short lines around one of 1.5 MB, and one of exactly 1 MB.
    static std::string long_lines() {
        return "first\n" + std::string(1536 * 1024, 'a') + "\nmiddle\n" + std::string(1024 * 1024, 'b') +
               "\nlast\n";
    }
};

TEST_F(ReadCuts, RecordsOfAnyLengthComeBackWhole) {
    std::string text = long_lines();
    write_file("long.txt", text);
    // SOURCE through the line routines, HTML through the general ones.
    for (const char *entry : {"work.notes.long.source", "work.notes.long.html"}) {
        SCOPED_TRACE(entry);
        Outcome put = zefcat({"put", entry, "long.txt", "LRECL=2000000"});
        ASSERT_EQ(put.status, 0) << put.err;

        Outcome get = zefcat({"get", entry});
        EXPECT_EQ(get.status, 0);
        EXPECT_EQ(get.err, "");
        EXPECT_TRUE(get.out == text) << get.out.size() << " bytes of " << text.size();

        Outcome to_file = zefcat({"get", entry, "-o", "back.txt"});
        EXPECT_EQ(to_file.status, 0) << to_file.err;
        EXPECT_TRUE(read_file("back.txt") == text);
    }

    // With carriage control: each line's first character is kept apart and shown again.
    write_file("printed.txt", "1" + std::string(1300 * 1024, 'p') + "\n short\n");
    ASSERT_EQ(zefcat({"put", "work.notes.printed.csv", "printed.txt", "--carriage", "LRECL=2000000"}).status, 0);
    Outcome printed = zefcat({"get", "work.notes.printed.csv", "--carriage"});
    EXPECT_EQ(printed.status, 0) << printed.err;
    EXPECT_TRUE(printed.out == read_file("printed.txt"));
}

TEST_F(ReadCuts, AShorterRecordLengthCutsWithANoteForEachAndStatus3) {
    write_file("lines.txt", "123456789\n1234567890\n12345678901\n" + std::string(5000, 'x') + "\nok\nabcdefghijkl\n");
    ASSERT_EQ(zefcat({"put", "work.notes.cut.html", "lines.txt", "LRECL=6000"}).status, 0);
    Outcome get = zefcat({"get", "work.notes.cut.html", "LRECL=10"});
    EXPECT_EQ(get.status, 3);
    EXPECT_EQ(lines_of(get.out),
              (std::vector<std::string>{"123456789", "1234567890", "1234567890", "xxxxxxxxxx", "ok", "abcdefghij"}));
    EXPECT_EQ(get.err,
              "zefcat: get work.notes.cut.html: record 3 cut to 10 bytes (the record length)\n"
              "zefcat: get work.notes.cut.html: record 4 cut to 10 bytes (the record length)\n"
              "zefcat: get work.notes.cut.html: record 6 cut to 10 bytes (the record length)\n");

    // SOURCE keeps a byte of the record length for its control byte, as put does.
    ASSERT_EQ(zefcat({"put", "work.notes.cut.source", "lines.txt", "LRECL=6000"}).status, 0);
    Outcome source = zefcat({"get", "work.notes.cut.source", "LRECL=10", "-o", "cut.txt"});
    EXPECT_EQ(source.status, 3);
    EXPECT_EQ(lines_of(read_file("cut.txt")),
              (std::vector<std::string>{"123456789", "123456789", "123456789", "xxxxxxxxx", "ok", "abcdefghi"}));
    EXPECT_EQ(lines_of(source.err).size(), 4u) << source.err;  // three named, then the count
    EXPECT_NE(source.err.find("4 records in all were cut to 9 bytes"), std::string::npos) << source.err;

    // Records that fit are not cuts.
    Outcome fits = zefcat({"get", "work.notes.cut.html", "LRECL=5000"});
    EXPECT_EQ(fits.status, 0);
    EXPECT_EQ(fits.err, "");
}

TEST_F(ReadCuts, TheShellNotesCutsGoesOnAndEndsWith3) {
    std::string text = long_lines();
    write_file("long.txt", text);
    ASSERT_EQ(zefcat({"put", "work.notes.long.source", "long.txt", "LRECL=2000000"}).status, 0);
    write_file("script.zef", R"(assign F1 work.notes.long.source
read F1 > whole.txt
read F1 2 LRECL=6
assign F2 work.notes.short.log
open F2 output LRECL=5
line F2 far too long for it
line F2 fits
close F2
read F2
assign C work.notes
member C long.source > member.txt
)");
    Outcome run = zefcat({"shell", "script.zef"});
    EXPECT_EQ(run.status, 3) << run.err;
    EXPECT_TRUE(read_file("whole.txt") == text);
    EXPECT_TRUE(read_file("member.txt") == text);
    EXPECT_EQ(run.out, "first\naaaaa\nfar \nfits\n");
    EXPECT_EQ(run.err,
              "zefcat: script.zef:3: read F1: record 2 cut to 5 bytes (the record length)\n"
              "zefcat: script.zef:6: line F2: cut to 4 bytes (the record length)\n");

    // A failure after a cut gives the failure's status.
    write_file("fails.zef", "assign F1 work.notes.long.source\nread F1 1 LRECL=3\nread NOPE\n");
    Outcome fails = zefcat({"shell", "-k", "fails.zef"});
    EXPECT_EQ(fails.status, 1) << fails.err;
}

// The anonymous memory of process `pid` in KB (what it allocated, not the
// catalog file the store maps); -1 once it is gone.
long anonymous_kb(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("RssAnon:", 0) == 0) return std::stol(line.substr(8));
    return -1;
}

TEST_F(ReadCuts, ReadingABinaryEntryStaysWithinBoundedMemory) {
    write_file("big.bin", random_bytes(64 * 1024 * 1024, 9));
    ASSERT_EQ(zefcat({"put", "work.files.big.png", "big.bin"}).status, 0);

    pid_t child = fork();
    if (child == 0) {
        if (chdir(directory.path().c_str()) != 0) _exit(126);
        unsetenv("ZEF_WORK");
        unsetenv("ZEF_LIBRARIES");
        std::string program = zefcat_path();
        execl(program.c_str(), program.c_str(), "get", "work.files.big.png", "-o", "back.bin", nullptr);
        _exit(127);
    }
    long most = 0;
    int status = 0;
    while (waitpid(child, &status, WNOHANG) == 0) {
        most = std::max(most, anonymous_kb(child));
        usleep(2000);
    }
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_TRUE(read_file("back.bin") == read_file("big.bin"));
#if !defined(__SANITIZE_ADDRESS__)
    // Its runs and the output buffer: a few MB, far below the entry's size.
    // (The sanitizers keep freed memory of their own.)
    EXPECT_LT(most, 24 * 1024) << "most anonymous memory seen, in KB";
#endif
}

}  // namespace
}  // namespace zefcat_test
