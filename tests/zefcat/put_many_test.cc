// zefcat put LIB.CAT FILE...: each file its own entry, named after it and
// typed by its extension; a file that cannot be put is refused and the
// others still go in.
#include <nlohmann/json.hpp>

#include "zefcat_runner.h"

namespace zefcat_test {
namespace {

class PutMany : public ZefcatTest {
protected:
    // NAME\tTYPE of each entry of a catalog.
    std::vector<std::string> entries(const std::string &catalog) const {
        std::vector<std::string> found;
        for (const std::string &line : lines_of(zefcat({"ls", catalog}).out)) {
            size_t second = line.find('\t', line.find('\t') + 1);
            found.push_back(line.substr(0, second));
        }
        return found;
    }
};

TEST_F(PutMany, EachFileBecomesAnEntryNamedAndTypedAfterIt) {
    const std::string logo = random_bytes(70000, 3), blob = random_bytes(5000, 4) + "\r\n\r\n";
    write_file("notes.txt", "one\r\ntwo\n");
    write_file("sub/build.log", "started\n");
    write_file("Logo.PNG", logo);
    write_file("conf.json", "{\"a\": 1}\n");
    write_file("Makefile", blob);
    Outcome put = zefcat({"put", "work.docs", "notes.txt", "sub/build.log", "Logo.PNG", "conf.json", "Makefile"});
    ASSERT_EQ(put.status, 0) << put.err;
    EXPECT_EQ(put.err, "");
    EXPECT_EQ(put.out,
              "put notes.txt as WORK.DOCS.NOTES.SOURCE\n"
              "put sub/build.log as WORK.DOCS.BUILD.LOG\n"
              "put Logo.PNG as WORK.DOCS.LOGO.PNG\n"
              "put conf.json as WORK.DOCS.CONF.JS\n"
              "put Makefile as WORK.DOCS.MAKEFILE.JAR\n"
              "5 files put\n");
    EXPECT_EQ(entries("work.docs"), (std::vector<std::string>{"BUILD\tLOG", "CONF\tJS", "LOGO\tPNG", "MAKEFILE\tJAR",
                                                                 "NOTES\tSOURCE"}));
    // Text a line to a record (the CR dropped), binary and unknown byte for byte.
    EXPECT_EQ(zefcat({"get", "work.docs.notes.source"}).out, "one\ntwo\n");
    EXPECT_EQ(zefcat({"get", "work.docs.logo.png"}).out, logo);
    EXPECT_EQ(zefcat({"get", "work.docs.makefile.jar"}).out, blob);
}

TEST_F(PutMany, ARefusedFileLeavesTheOthersIn) {
    write_file("a.txt", "alpha\n");
    write_file("my notes.txt", "blank\n");
    write_file("jan.2024.csv", "1,2\n");
    write_file(std::string(33, 'x') + ".txt", "long\n");
    write_file("A.text", "same entry as a.txt\n");
    write_file("z.log", "zed\n");
    ASSERT_EQ(zefcat({"put", "work.docs.z.log", "-"}, std::string("before\n")).status, 0);
    Outcome put = zefcat({"put", "work.docs", "a.txt", "my notes.txt", "jan.2024.csv", std::string(33, 'x') + ".txt",
                          "A.text", "missing.txt", "z.log", "-"});
    EXPECT_EQ(put.status, 1);
    EXPECT_EQ(put.out, "put a.txt as WORK.DOCS.A.SOURCE\nput z.log as WORK.DOCS.Z.LOG\n2 files put, 6 refused\n");
    std::vector<std::string> said = lines_of(put.err);
    ASSERT_EQ(said.size(), 6u) << put.err;
    const char *reasons[] = {
        "zefcat: put work.docs: my notes.txt: the entry has a blank",
        "zefcat: put work.docs: jan.2024.csv: the entry has the character .",
        "zefcat: put work.docs: xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx.txt: the entry has 33 characters",
        "zefcat: put work.docs: A.text: a.txt was put into WORK.DOCS.A.SOURCE already; rename one of them",
        "zefcat: put WORK.DOCS.MISSING.SOURCE: missing.txt: No such file or directory",
        "zefcat: put work.docs: -: standard input needs an entry name",
    };
    for (size_t i = 0; i < said.size(); ++i) {
        EXPECT_EQ(said[i].rfind(reasons[i], 0), 0u) << said[i];
        EXPECT_EQ(said[i].substr(said[i].size() - 10), " (not put)") << said[i];
    }
    // Only what was put is there, and the one put over was replaced whole.
    EXPECT_EQ(entries("work.docs"), (std::vector<std::string>{"A\tSOURCE", "Z\tLOG"}));
    EXPECT_EQ(zefcat({"get", "work.docs.a.source"}).out, "alpha\n");
    EXPECT_EQ(zefcat({"get", "work.docs.z.log"}).out, "zed\n");
}

TEST_F(PutMany, TypeAndOptionsGoWithEveryFile) {
    write_file("jan.dat", "1,2\n");
    write_file("feb.dat", "3,4\n");
    Outcome put = zefcat({"put", "work.data", "--type", "csv", "jan.dat", "feb.dat", "DESC='Monthly'", "LRECL=20"});
    ASSERT_EQ(put.status, 0) << put.err;
    nlohmann::json listed = nlohmann::json::parse(zefcat({"ls", "work.data", "--json"}).out);
    ASSERT_EQ(listed.size(), 2u);
    for (const auto &entry : listed) {
        EXPECT_EQ(entry["type"], "CSV");
        EXPECT_EQ(entry["description"], "Monthly");
        EXPECT_EQ(entry["lrecl"], 20);
    }
    // One file into a catalog is a many-file put of one.
    Outcome one = zefcat({"put", "work.data", "jan.dat"});
    EXPECT_EQ(one.status, 0) << one.err;
    EXPECT_EQ(one.out, "put jan.dat as WORK.DATA.JAN.JAR\n1 file put\n");
    // A line longer than the record length: put, noted, exit status 3.
    write_file("long.txt", std::string(30, 'y') + "\n");
    Outcome cut = zefcat({"put", "work.data", "long.txt", "LRECL=20"});
    EXPECT_EQ(cut.status, 3) << cut.err;
    EXPECT_NE(cut.err.find("line 1 cut to 19 bytes"), std::string::npos) << cut.err;
}

TEST_F(PutMany, WhatEveryFileWouldMeetIsRefusedBeforeAnythingIsWritten) {
    write_file("a.txt", "alpha\n");
    write_file("b.txt", "beta\n");
    const struct {
        std::vector<std::string> arguments;
        int status;
        const char *says;
    } cases[] = {
        {{"put", "work.docs", "--type", "data", "a.txt"}, 2, "put work.docs: --type: entries of type DATA cannot be written"},
        {{"put", "work.docs", "a.txt", "LRECL=abc"}, 2, "LRECL=abc: option syntax or value rejected"},
        {{"put", "work.docs"}, 2, "put work.docs: name the files to put into the catalog"},
        {{"put", "work.docs.a.source", "--type", "csv", "a.txt"}, 2, "--type is for files put into a catalog"},
        {{"put", "work.docs.a.source", "a.txt", "b.txt"}, 2, "several files go into a catalog"},
        {{"put", "nolib.docs", "a.txt", "b.txt"}, 1, "put nolib.docs: library NOLIB is not assigned"},
        {{"put", "work.d s", "a.txt"}, 2, "the catalog has a blank"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.says);
        Outcome run = zefcat(c.arguments);
        EXPECT_EQ(run.status, c.status);
        EXPECT_NE(run.err.find(c.says), std::string::npos) << run.err;
        EXPECT_EQ(lines_of(run.err).size(), 1u) << run.err;
        EXPECT_EQ(run.out, "");
    }
    EXPECT_FALSE(exists("zefdata"));
}

}  // namespace
}  // namespace zefcat_test
