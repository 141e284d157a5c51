// zefcat shell: a session whose filerefs, options, open streams and
// directories last from one command to the next.
#include "zefcat_runner.h"

namespace zefcat_test {
namespace {

class Shell : public ZefcatTest {
protected:
    Outcome script(const std::string &text, std::vector<std::string> extra = {}) {
        write_file("script.zef", text);
        std::vector<std::string> arguments{"shell", "script.zef"};
        arguments.insert(arguments.end(), extra.begin(), extra.end());
        return zefcat(arguments);
    }
};

TEST_F(Shell, FilerefsStreamsAndDirectoriesLastAcrossCommands) {
    write_file("lines.txt", "alpha\nbeta\ngamma\n");
    Outcome run = script(R"(# filerefs, and one assigned like another
assign NOTES work.notes
assign f1 work.notes.readme.source DESC='The read me'
assignlike F2 NOTES second.log
filerefs
pathname F2
write F1 < lines.txt

# a stream stays open across commands, and its fileref may go meanwhile
open F1 input
read F1 1
note F1
deassign F1
assigned F1
read F1
close F1

# records one at a time, then the catalog as a directory
open F2 output
line F2 first record
line F2 second record
close F2
dir NOTES
member NOTES second.log
member NOTES third.html < lines.txt
memberexists NOTES third.html
memberexists NOTES fourth LOG
opendir NOTES
member NOTES readme SOURCE
closedir NOTES
exists F2
delete F2
exists F2
)");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out,
              // filerefs: newest first, with the module's full names
              "F2        work.notes.second.log\n"
              "F1        work.notes.readme.source\n"
              "NOTES     ..work.notes\n"
              "WORK.NOTES.SECOND.LOG\n"
              // read one record, note, and the rest after the fileref went
              "alpha\n"
              "1\n"
              "F1 is not assigned\n"
              "beta\n"
              "gamma\n"
              // dir and members
              "README.SOURCE\n"
              "SECOND.LOG\n"
              "first record\n"
              "second record\n"
              "third.html: exists\n"
              "fourth: does not exist\n"
              "alpha\n"
              "beta\n"
              "gamma\n"
              "F2: exists\n"
              "F2: does not exist\n");
    EXPECT_EQ(run.err,
              "zefcat: script.zef:13: deassign F1: deassigned while still open: its open streams stay usable "
              "until they are closed\n");
    EXPECT_EQ(zefcat({"get", "work.notes.third.html"}).out, "alpha\nbeta\ngamma\n");
}

TEST_F(Shell, AScriptStopsAtItsFirstFailureAndWritesNothingHalfWay) {
    ASSERT_EQ(zefcat({"put", "work.notes.kept.source"}, std::string("before\n")).status, 0);
    Outcome run = script(R"(assign F1 work.notes.kept.source
open F1 output
line F1 half of a new version
read NOFREF
echo not reached
)");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    std::vector<std::string> lines = lines_of(run.err);
    ASSERT_EQ(lines.size(), 2u) << run.err;
    EXPECT_EQ(lines[0].rfind("zefcat: script.zef:4: read NOFREF: ", 0), 0u) << lines[0];
    EXPECT_EQ(lines[1], "zefcat: script.zef: the stream open on F1 was not closed: its entry keeps what it had");
    EXPECT_EQ(zefcat({"get", "work.notes.kept.source"}).out, "before\n");

    // --keep-going carries on, and a script that ends closes what is open.
    Outcome going = script("assign F1 work.notes.kept.source\nopen F1 output\nbogus\nline F1 after\n",
                           {"--keep-going"});
    EXPECT_EQ(going.status, 2);
    EXPECT_EQ(going.err, "zefcat: script.zef:3: bogus: no such command (help lists them)\n");
    EXPECT_EQ(zefcat({"get", "work.notes.kept.source"}).out, "after\n");
}

// Fileref names are folded as the module folds them (the host's table, which
// maps Latin-1 letters too), so a name with bytes above 0x7F, Latin-1 or the
// lead byte of a UTF-8 sequence, is found again by every later command.
TEST_F(Shell, FilerefNamesWithLatin1AndUtf8BytesAreFoundAgain) {
    Outcome run = script("assign ab\xE2 work.notes.one.log\n"
                         "assign \xC3\xA9t\xE9 work.notes.two.log\n"
                         "assign x\xE2\x82\xAC work.notes.three.log\n"
                         "filerefs\n"
                         "assigned AB\xE2\n"
                         "deassign ab\xC2\n"
                         "deassign X\xE2\x82\xAC\n"
                         "assigned ab\xE2\n"
                         "deassign \xC3\xA9T\xE9\n"
                         "filerefs\n");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out,
              "X\xC2\x82\xAC      work.notes.three.log\n"
              "\xC3\xA9T\xC9      work.notes.two.log\n"
              "AB\xC2       work.notes.one.log\n"
              "AB\xC2 is assigned\n"
              "AB\xC2 is not assigned\n");
}

TEST_F(Shell, OptionsDefaultsAndEncodingsGoThroughTheOptionSlot) {
    write_file("fr.txt", "café\nau lait\n");
    Outcome run = script(R"(options LRECL=80 RECFM=F MOD DESC='It''s'
defaults LRECL=8
assign F1 work.notes.short.source
open F1 output
line F1 longer than eight
close F1
read F1
assign L1 work.notes.latin.source
open L1 output ENCODING=latin1
line L1 café
close L1
read L1 ENCODING=latin1
read L1
assign H work.notes.page.html ENCODING=latin1
write H < fr.txt
read H
)");
    // The script goes on after the cut line and ends with the status of a cut.
    EXPECT_EQ(run.status, 3) << run.err;
    EXPECT_EQ(run.out, "LRECL=80 RECFM=F MOD DESC='It''s'\nlonger \ncafé\ncaf\xe9\ncafé\nau lait\n");
    // An ENCODING given at assignment puts the stream in stream form: the
    // entry holds the file's Latin-1 bytes, line ends and all.
    EXPECT_EQ(zefcat({"get", "work.notes.page.html", "RECFM=S"}).out, "caf\xe9\nau lait\n");
    EXPECT_EQ(run.err, "zefcat: script.zef:5: line F1: cut to 7 bytes (the record length)\n");
}

TEST_F(Shell, UpdateNotePointAndWritesIntoAnOpenStream) {
    write_file("lines.txt", "alpha\nbeta\ngamma\n");
    write_file("more.txt", "delta\nepsilon\n");
    write_file("bytes.bin", "0123456789abcdef");
    Outcome run = script(R"(assign F1 work.notes.u.source
write F1 < lines.txt
open F1 update
read F1 1
note F1
read F1 1
point F1 1
line F1 BETA
close F1
read F1
open F1 append
write F1 < more.txt
close F1
read F1 2
assign P1 work.notes.digits.png
write P1 < bytes.bin
read P1 10
open P1 input
read P1 4
read P1 4
close P1
)");
    EXPECT_EQ(run.status, 0) << run.err;
    // Records for text; for a binary type, COUNT bytes from where the stream stands.
    EXPECT_EQ(run.out, "alpha\n1\nbeta\nalpha\nBETA\ngamma\nalpha\nBETA\n" "0123456789" "0123" "4567");
    EXPECT_EQ(zefcat({"get", "work.notes.u.source"}).out, "alpha\nBETA\ngamma\ndelta\nepsilon\n");
}

TEST_F(Shell, AFailedWriteIntoAnOpenStreamGivesItUp) {
    ASSERT_EQ(zefcat({"put", "work.notes.kept.source"}, std::string("before\n")).status, 0);
    write_file("bad.txt", "fine\nnot \xff fine\n");
    Outcome run = script(R"(assign F1 work.notes.kept.source
open F1 output ENCODING=latin1
write F1 < bad.txt
close F1
)",
                         {"--keep-going"});
    EXPECT_EQ(run.status, 2);  // the close of a stream given up is a usage error
    std::vector<std::string> lines = lines_of(run.err);
    ASSERT_EQ(lines.size(), 2u) << run.err;
    EXPECT_EQ(lines[0].rfind("zefcat: script.zef:3: write F1: line 2: the byte sequence", 0), 0u) << lines[0];
    EXPECT_NE(lines[0].find("; the stream is given up, its entry keeps what it had"), std::string::npos);
    EXPECT_EQ(lines[1], "zefcat: script.zef:4: close F1: F1 has no open stream (open F1 MODE first)");
    EXPECT_EQ(zefcat({"get", "work.notes.kept.source"}).out, "before\n");
}

TEST_F(Shell, StandardInputIsAScriptToo) {
    Outcome run = zefcat({"shell"}, std::string("echo hello there\nassign - work.x.y.source\n"));
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "hello there\n#LN00001\n");
}

}  // namespace
}  // namespace zefcat_test
