// An entry remembers the record format, record length and encoding it was
// written with: get and append use them when given none, info and
// ls --json show them. And what a text put keeps of long lines: bounded
// memory whatever the input, cuts at UTF-8 character boundaries.
#include <sqlite3.h>

#include <nlohmann/json.hpp>

#include "support/catalog_sql.h"
#include "zefcat_runner.h"

namespace zefcat_test {
namespace {

class WrittenWith : public ZefcatTest {
protected:
    static std::string sql(const std::string &file, const std::string &statements) {
        return zeftest::file_sql(file, statements);
    }

};

TEST_F(WrittenWith, APlainGetReadsAsTheEntryWasWritten) {
    const std::string text = "café crème\nnaïve\n";
    write_file("fr.txt", text);
    ASSERT_EQ(zefcat({"put", "work.notes.fr.source", "fr.txt", "ENCODING=latin1"}).status, 0);
    // Latin-1 in the store, UTF-8 again on a plain get.
    EXPECT_EQ(zefcat({"get", "work.notes.fr.source", "RECFM=V"}).out, text);
    EXPECT_EQ(zefcat({"get", "work.notes.fr.source"}).out, text);

    // Stream form: the bytes, line ends and all, not one run per line.
    const std::string csv = "a,b\r\nc,d\r\nno end";
    write_file("t.csv", csv);
    ASSERT_EQ(zefcat({"put", "work.notes.t.csv", "t.csv", "RECFM=S"}).status, 0);
    EXPECT_EQ(zefcat({"get", "work.notes.t.csv"}).out, csv);

    // Carriage control is taken off; --carriage shows it.
    ASSERT_EQ(zefcat({"put", "work.notes.p.source", "--carriage"}, "1Title\n body\n").status, 0);
    EXPECT_EQ(zefcat({"get", "work.notes.p.source"}).out, "Title\nbody\n");
    EXPECT_EQ(zefcat({"get", "work.notes.p.source", "--carriage"}).out, "1Title\n body\n");

    // What the person gives wins.
    EXPECT_EQ(zefcat({"get", "work.notes.fr.source", "ENCODING=utf-8"}).status, 1);
}

TEST_F(WrittenWith, AppendGoesOnAsTheEntryWasWritten) {
    ASSERT_EQ(zefcat({"put", "work.notes.f.source", "-", "RECFM=F", "LRECL=9"}, "one\n").status, 0);
    Outcome append = zefcat({"append", "work.notes.f.source", "-"}, "two\nlonger than eight\n");
    EXPECT_EQ(append.status, 3) << append.err;  // cut to the entry's record length
    EXPECT_NE(append.err.find("line 2 cut to 8 bytes (the record length)"), std::string::npos) << append.err;
    const std::string padded = "one     \ntwo     \nlonger t\n";  // a SOURCE record of LRECL=9 holds 8
    EXPECT_EQ(zefcat({"get", "work.notes.f.source", "RECFM=F", "LRECL=9"}).out, padded);

    ASSERT_EQ(zefcat({"put", "work.notes.fr.source", "-", "ENCODING=latin1"}, "été\n").status, 0);
    ASSERT_EQ(zefcat({"append", "work.notes.fr.source", "-"}, "noël\n").status, 0);
    EXPECT_EQ(zefcat({"get", "work.notes.fr.source", "ENCODING=latin1"}).out, "été\nnoël\n");
    // Giving the same is no conflict.
    EXPECT_EQ(zefcat({"append", "work.notes.fr.source", "-", "ENCODING=latin1"}, "x\n").status, 0);

    // An append that contradicts the entry is refused, and changes nothing.
    Outcome other_format = zefcat({"append", "work.notes.f.source", "-", "RECFM=V"}, "three\n");
    EXPECT_EQ(other_format.status, 2);
    EXPECT_NE(other_format.err.find("append work.notes.f.source: the entry was written with RECFM=F, not "
                                    "RECFM=V; append with what it was written with (or give none), or put "
                                    "to replace it"),
              std::string::npos)
        << other_format.err;
    Outcome other_length = zefcat({"append", "work.notes.f.source", "-", "LRECL=20"}, "three\n");
    EXPECT_EQ(other_length.status, 2);
    EXPECT_NE(other_length.err.find("fixed-length records of LRECL=9, not LRECL=20"), std::string::npos)
        << other_length.err;
    Outcome other_encoding = zefcat({"append", "work.notes.fr.source", "-", "ENCODING=wlatin1"}, "y\n");
    EXPECT_EQ(other_encoding.status, 2);
    EXPECT_NE(other_encoding.err.find("written with ENCODING=latin1, not ENCODING=wlatin1"), std::string::npos)
        << other_encoding.err;
    Outcome put_mod = zefcat({"put", "work.notes.fr.source", "-", "MOD"}, "z\n");
    EXPECT_EQ(put_mod.status, 0) << put_mod.err;  // MOD on put appends as the entry was written
    EXPECT_EQ(zefcat({"get", "work.notes.f.source", "RECFM=F", "LRECL=9"}).out, padded);
    EXPECT_EQ(zefcat({"get", "work.notes.fr.source"}).out, "été\nnoël\nx\nz\n");

    // A variable format takes the append's record length; the entry keeps
    // the longer one.
    ASSERT_EQ(zefcat({"put", "work.notes.v.source", "-", "LRECL=9"}, "abcdefgh\n").status, 0);
    ASSERT_EQ(zefcat({"append", "work.notes.v.source", "-", "LRECL=5"}, "abcd\n").status, 0);
    EXPECT_EQ(zefcat({"append", "work.notes.v.source", "-"}, "12345678\n").status, 0);
    EXPECT_EQ(zefcat({"get", "work.notes.v.source"}).out, "abcdefgh\nabcd\n12345678\n");
}

TEST_F(WrittenWith, InfoAndLsShowWhatEachEntryWasWrittenWith) {
    ASSERT_EQ(zefcat({"put", "work.notes.f.source", "-", "RECFM=F", "LRECL=81", "ENCODING=latin1"}, "x\n").status, 0);
    ASSERT_EQ(zefcat({"put", "work.notes.plain.source", "-"}, "x\n").status, 0);
    ASSERT_EQ(zefcat({"put", "work.notes.logo.png", "-"}, "bytes").status, 0);

    Outcome info = zefcat({"info", "work.notes.f.source"});
    EXPECT_NE(info.out.find("Written with   RECFM=F LRECL=81 ENCODING=latin1\n"), std::string::npos) << info.out;
    auto json = nlohmann::json::parse(zefcat({"info", "work.notes.plain.source", "--json"}).out);
    EXPECT_EQ(json["written_with"], nlohmann::json::parse(R"({"recfm": "V", "lrecl": 256, "encoding": ""})"));

    nlohmann::json f = listed("work.notes", "F");
    EXPECT_EQ(f["recfm"], "F");
    EXPECT_EQ(f["lrecl"], 81);
    EXPECT_EQ(f["encoding"], "latin1");
    EXPECT_EQ(listed("work.notes", "LOGO")["recfm"], "S");
    // A put that fails leaves the entry with what it was written with.
    Outcome failed = zefcat({"put", "work.notes.f.source", "-", "ENCODING=ascii"}, "\u00e9\n");
    EXPECT_EQ(failed.status, 1);
    EXPECT_EQ(listed("work.notes", "F")["encoding"], "latin1");
    EXPECT_EQ(listed("work.notes", "F")["lrecl"], 81);

    // Tab-separated lines keep their five fields.
    Outcome tabs = zefcat({"ls", "work.notes", "--tsv"});
    for (const std::string &line : lines_of(tabs.out))
        EXPECT_EQ(std::count(line.begin(), line.end(), '\t'), 4) << line;
}

// A catalog made before entries kept their attributes reads as it did:
// nothing known, today's defaults. Reading leaves its format alone; the
// first write brings it up to date.
TEST_F(WrittenWith, AnOlderCatalogReadsAsBeforeUntilWritten) {
    ASSERT_EQ(zefcat({"put", "work.notes.old.source", "-", "ENCODING=latin1"}, "été\n").status, 0);
    const std::string file = (path("zefdata") / "notes.zcat").string();
    ASSERT_TRUE(std::filesystem::exists(file));
    // The first format: none of the columns added since.
    std::string first_format;
    for (const char *column : {"record_format", "lrecl", "encoding", "checksum", "stored_bytes", "file_time", "file_mode"})
        first_format += std::string("ALTER TABLE entries DROP COLUMN ") + column + "; ";
    first_format += "ALTER TABLE pieces DROP COLUMN checksum; ALTER TABLE pieces DROP COLUMN codec; PRAGMA user_version=1;";
    ASSERT_EQ(sql(file, first_format), "");

    EXPECT_EQ(zefcat({"get", "work.notes.old.source"}).out, "\xe9t\xe9\n");  // no encoding known
    EXPECT_EQ(zefcat({"get", "work.notes.old.source", "ENCODING=latin1"}).out, "été\n");
    EXPECT_TRUE(listed("work.notes", "OLD")["recfm"].is_null());
    EXPECT_NE(zefcat({"info", "work.notes.old.source"}).out.find("Written with   (not known)\n"), std::string::npos);
    EXPECT_EQ(sql(file, "PRAGMA user_version"), "1");

    // An append to an entry of unknown attributes leaves them unknown.
    ASSERT_EQ(zefcat({"append", "work.notes.old.source", "-", "ENCODING=latin1"}, "noël\n").status, 0);
    EXPECT_EQ(sql(file, "PRAGMA user_version"), "3");
    EXPECT_TRUE(listed("work.notes", "OLD")["recfm"].is_null());
    EXPECT_EQ(zefcat({"get", "work.notes.old.source", "ENCODING=latin1"}).out, "été\nnoël\n");
    ASSERT_EQ(zefcat({"put", "work.notes.old.source", "-", "ENCODING=latin1"}, "hiver\n").status, 0);
    EXPECT_EQ(listed("work.notes", "OLD")["encoding"], "latin1");
}

class LongLines : public ZefcatTest {
protected:
    // The peak resident size of a running process's program (VmHWM), in KiB.
    static long peak_resident_kib(pid_t pid) {
        std::ifstream status("/proc/" + std::to_string(pid) + "/status");
        for (std::string line; std::getline(status, line);)
            if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
        return -1;
    }
};

// A line without an end, far longer than memory should hold, is read in
// pieces: zefcat keeps a record's worth of it and counts the rest as cut.
TEST_F(LongLines, AHugeLineIsPutInBoundedMemory) {
    constexpr size_t kInput = size_t{200} << 20;
    int in[2];
    ASSERT_EQ(pipe2(in, O_CLOEXEC), 0);
    pid_t child = fork();
    if (child == 0) {
        dup2(in[0], 0);
        int err = open(path("err.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        dup2(err, 2);
        if (chdir(directory.path().c_str()) != 0) _exit(126);
        unsetenv("ZEF_WORK");
        unsetenv("ZEF_LIBRARIES");
        execl(zefcat_path().c_str(), "zefcat", "put", "work.notes.huge.source", "-", static_cast<char *>(nullptr));
        _exit(127);
    }
    close(in[0]);
    std::string run(1 << 20, 'x');
    run[0] = 'a';  // the record starts "axxx"
    for (size_t sent = 0; sent < kInput; sent += run.size()) {
        ASSERT_EQ(write(in[1], run.data(), run.size()), static_cast<ssize_t>(run.size()));
        run[0] = 'x';
    }
    // zefcat has read all but what the pipe holds, and waits for more: its
    // peak resident size so far. (The child's rusage would count the test
    // process's own pages, shared until the exec.)
    long peak = peak_resident_kib(child);
    EXPECT_GT(peak, 0);
#if !defined(__SANITIZE_ADDRESS__)
    // (Under the sanitizers their shadow of zefcat's libraries alone takes
    // more than this.)
    EXPECT_LT(peak, 64 * 1024) << "peak RSS in KiB";  // far below the 200 MB line
#endif
    close(in[1]);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 3);
    EXPECT_EQ(read_file("err.txt"),
              "zefcat: put work.notes.huge.source: line 1 cut to 255 bytes (the record length)\n");
    EXPECT_EQ(zefcat({"get", "work.notes.huge.source"}).out, "a" + std::string(254, 'x') + "\n");
}

TEST_F(LongLines, AUtf8LineIsCutBetweenCharacters) {
    // LRECL=9 keeps 8 bytes of a SOURCE line: "ab" and two 3-byte characters.
    const std::string euros = "ab\u20ac\u20ac\u20ac\n";  // 11 bytes
    Outcome put = zefcat({"put", "work.notes.e.source", "-", "LRECL=9"}, euros + "ok\n" + "abcde\u00e9\u00e9\n");
    EXPECT_EQ(put.status, 3);
    EXPECT_EQ(put.err,
              "zefcat: put work.notes.e.source: line 1 cut to 8 bytes (the record length)\n"
              "zefcat: put work.notes.e.source: line 3 cut to 7 bytes, a whole character (the record length is 8)\n");
    EXPECT_EQ(zefcat({"get", "work.notes.e.source"}).out, "ab\u20ac\u20ac\nok\nabcde\u00e9\n");

    // Through an encoding of one byte a character, the cut is the record length.
    Outcome latin = zefcat({"put", "work.notes.l.source", "-", "LRECL=5", "ENCODING=latin1"}, "\u00e9t\u00e9s!\n");
    EXPECT_EQ(latin.status, 3) << latin.err;
    EXPECT_EQ(zefcat({"get", "work.notes.l.source"}).out, "\u00e9t\u00e9s\n");

    // Bytes that are not UTF-8 are cut where the record ends.
    Outcome raw = zefcat({"put", "work.notes.r.source", "-", "LRECL=4"}, "ab\xe9\xe9\xe9\n");
    EXPECT_EQ(raw.status, 3);
    EXPECT_EQ(zefcat({"get", "work.notes.r.source", "ENCODING=latin1"}).out, "ab\u00e9\n");
}

}  // namespace
}  // namespace zefcat_test
