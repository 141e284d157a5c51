// put, append and get as a person uses them: binary entries come back byte
// for byte, text entries line by line, with the record length's cuts noted.
#include "zefcat_runner.h"

namespace zefcat_test {
namespace {

class RoundTrip : public ZefcatTest {};

struct BinaryCase {
    const char *entry;
    size_t size;
};

TEST_F(RoundTrip, BinaryEntriesComeBackByteForByte) {
    const BinaryCase cases[] = {
        {"work.files.picture.png", 3 * 1024 * 1024 + 17},  // several runs, the last one short
        {"work.files.empty.pdf", 0},
        {"work.files.one.gif", 1},
        {"work.files.page.jpeg", 1024 * 1024},  // exactly one run
    };
    for (const BinaryCase &c : cases) {
        SCOPED_TRACE(c.entry);
        std::string bytes = random_bytes(c.size, static_cast<unsigned>(c.size));
        write_file("in.bin", bytes);
        Outcome put = zefcat({"put", c.entry, "in.bin"});
        ASSERT_EQ(put.status, 0) << put.err;
        EXPECT_EQ(put.err, "");

        Outcome to_stdout = zefcat({"get", c.entry});
        EXPECT_EQ(to_stdout.status, 0) << to_stdout.err;
        EXPECT_TRUE(to_stdout.out == bytes) << "standard output differs (" << to_stdout.out.size() << " bytes)";

        Outcome to_file = zefcat({"get", c.entry, "-o", "out.bin"});
        EXPECT_EQ(to_file.status, 0) << to_file.err;
        EXPECT_TRUE(read_file("out.bin") == bytes);
    }
}

TEST_F(RoundTrip, StandardInputIsReadWhenNoFileIsNamed) {
    std::string bytes = random_bytes(70000, 3);
    Outcome put = zefcat({"put", "work.files.piped.jar", "-"}, bytes);
    ASSERT_EQ(put.status, 0) << put.err;
    EXPECT_TRUE(zefcat({"get", "work.files.piped.jar"}).out == bytes);

    ASSERT_EQ(zefcat({"put", "work.notes.piped.source"}, std::string("from a pipe\n")).status, 0);
    EXPECT_EQ(zefcat({"get", "work.notes.piped.source"}).out, "from a pipe\n");
}

TEST_F(RoundTrip, TextIsStoredOneLinePerRecord) {
    // CRLF line ends store the same records as LF; a last line without its
    // line end is a record too and comes back with one.
    write_file("in.txt", "first\r\n\nthird has  blanks  \r\nno end");
    Outcome put = zefcat({"put", "work.notes.mixed.source", "in.txt"});
    ASSERT_EQ(put.status, 0) << put.err;
    EXPECT_EQ(zefcat({"get", "work.notes.mixed.source"}).out, "first\n\nthird has  blanks  \nno end\n");

    // The same through the general record routines of a non-line text type.
    ASSERT_EQ(zefcat({"put", "work.notes.mixed.html", "in.txt"}).status, 0);
    EXPECT_EQ(zefcat({"get", "work.notes.mixed.html"}).out, "first\n\nthird has  blanks  \nno end\n");
    // An empty CATAMS record (a three-part name) survives.
    ASSERT_EQ(zefcat({"put", "work.notes.plain", "in.txt"}).status, 0);
    EXPECT_EQ(zefcat({"get", "work.notes.plain"}).out, "first\n\nthird has  blanks  \nno end\n");
}

TEST_F(RoundTrip, LinesLongerThanTheRecordLengthAreCutAndNoted) {
    std::string text = "short\n" + std::string(100, 'x') + "\nfits\n" + std::string(81, 'y') + "\n";
    write_file("in.txt", text);
    // A SOURCE line keeps one byte of LRECL for its control byte.
    Outcome put = zefcat({"put", "work.notes.cut.source", "in.txt", "LRECL=81"});
    EXPECT_EQ(put.status, 3);
    EXPECT_EQ(put.err,
              "zefcat: put work.notes.cut.source: line 2 cut to 80 bytes (the record length)\n"
              "zefcat: put work.notes.cut.source: line 4 cut to 80 bytes (the record length)\n");
    EXPECT_EQ(zefcat({"get", "work.notes.cut.source"}).out,
              "short\n" + std::string(80, 'x') + "\nfits\n" + std::string(80, 'y') + "\n");

    // Past the first three, the cuts are counted.
    write_file("many.txt", std::string(5, 'a') + "\n" + std::string(5, 'b') + "\n" + std::string(5, 'c') +
                               "\n" + std::string(5, 'd') + "\n" + std::string(5, 'e') + "\n");
    Outcome many = zefcat({"put", "work.notes.many.html", "many.txt", "LRECL=2"});
    EXPECT_EQ(many.status, 3);
    EXPECT_EQ(lines_of(many.err).size(), 4u) << many.err;
    EXPECT_NE(many.err.find("5 lines in all were cut to 2 bytes"), std::string::npos) << many.err;
}

TEST_F(RoundTrip, AppendAddsToTheEnd) {
    ASSERT_EQ(zefcat({"put", "work.logs.run.log"}, std::string("one\n")).status, 0);
    ASSERT_EQ(zefcat({"append", "work.logs.run.log"}, std::string("two\nthree\n")).status, 0);
    EXPECT_EQ(zefcat({"get", "work.logs.run.log"}).out, "one\ntwo\nthree\n");
    // Appending to an entry that is not there makes it.
    ASSERT_EQ(zefcat({"append", "work.logs.new.log"}, std::string("first\n")).status, 0);
    EXPECT_EQ(zefcat({"get", "work.logs.new.log"}).out, "first\n");

    std::string head = random_bytes(5000, 1), tail = random_bytes(7000, 2);
    ASSERT_EQ(zefcat({"put", "work.files.joined.png"}, head).status, 0);
    ASSERT_EQ(zefcat({"append", "work.files.joined.png"}, tail).status, 0);
    EXPECT_TRUE(zefcat({"get", "work.files.joined.png"}).out == head + tail);
}

TEST_F(RoundTrip, CarriageControlIsStoredAndShownOnRequest) {
    write_file("report.txt", "1Title\n heading\n0after a gap\n");
    ASSERT_EQ(zefcat({"put", "work.reports.jan.output", "report.txt", "--carriage"}).status, 0);
    EXPECT_EQ(zefcat({"get", "work.reports.jan.output", "RECFM=P"}).out, "Title\nheading\nafter a gap\n");
    // The line routine keeps '1', '2' and blank; other controls become blank.
    EXPECT_EQ(zefcat({"get", "work.reports.jan.output", "--carriage"}).out, "1Title\n heading\n after a gap\n");
    // The general routine keeps any control character.
    ASSERT_EQ(zefcat({"put", "work.reports.jan.html", "report.txt", "--carriage"}).status, 0);
    EXPECT_EQ(zefcat({"get", "work.reports.jan.html", "--carriage"}).out, "1Title\n heading\n0after a gap\n");
}

TEST_F(RoundTrip, DescriptionsQuotedForTheShellReachTheHostWhole) {
    ASSERT_EQ(zefcat({"put", "work.notes.jan.source", "-", "LRECL=80", "RECFM=F", "DESC=January report"},
                     std::string("a\n"))
                  .status,
              0);
    Outcome info = zefcat({"info", "work.notes.jan.source"});
    EXPECT_NE(info.out.find("January report"), std::string::npos) << info.out;
    // F format pads every record to the record length (79: one byte is the control byte).
    EXPECT_EQ(zefcat({"get", "work.notes.jan.source", "LRECL=80", "RECFM=F"}).out, "a" + std::string(78, ' ') + "\n");
}

}  // namespace
}  // namespace zefcat_test
