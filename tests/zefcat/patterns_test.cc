// ls and rm with shell-style patterns in any part of a name: what they
// match, in any case; a pattern that matches nothing is a failure; rm
// --dry-run says what would go and removes nothing; ls --long, --sort, and
// what each library holds.
#include <nlohmann/json.hpp>
#include <regex>
#include <set>
#include <thread>

#include "zefcat_runner.h"

namespace zefcat_test {
namespace {

class Patterns : public ZefcatTest {
protected:
    void SetUp() override {
        std::filesystem::create_directories(path("arch"));
        for (const auto &[name, text] : std::vector<std::pair<std::string, std::string>>{
                 {"work.notes.todo.source", "a\n"},
                 {"work.notes.tail.log", "bb\n"},
                 {"work.notes.Task1.csv", "ccc\n"},
                 {"work.notes.readme.source", "dddd\n"},
                 {"work.logs.build.log", "eeeee\n"},
                 {"work.logs.test.log", "ffffff\n"},
                 {"arch.old.todo.source", "ggggggg\n"}})
            ASSERT_EQ(zefcat({"-L", "arch=arch", "put", name, "-"}, text).status, 0) << name;
    }

    // The first column (or the first two) of each line of a listing.
    std::vector<std::string> names(const std::vector<std::string> &arguments, size_t columns = 2) const {
        std::vector<std::string> all{"-L", "arch=arch"};
        all.insert(all.end(), arguments.begin(), arguments.end());
        Outcome ls = zefcat(all);
        EXPECT_EQ(ls.status, 0) << ls.err;
        std::vector<std::string> found;
        for (const std::string &line : lines_of(ls.out)) {
            size_t end = 0;
            for (size_t i = 0; i < columns && end != std::string::npos; ++i) end = line.find('\t', end + (i > 0));
            found.push_back(line.substr(0, end));
        }
        return found;
    }
    Outcome with_arch(std::vector<std::string> arguments) const {
        arguments.insert(arguments.begin(), {"-L", "arch=arch"});
        return zefcat(arguments);
    }
};

TEST_F(Patterns, EachPartMatchesOnItsOwnInAnyCase) {
    using Lines = std::vector<std::string>;
    EXPECT_EQ(names({"ls", "work.notes.t*"}), (Lines{"TAIL\tLOG", "TASK1\tCSV", "TODO\tSOURCE"}));
    EXPECT_EQ(names({"ls", "WORK.NOTES.T*.S*"}), (Lines{"TODO\tSOURCE"}));
    EXPECT_EQ(names({"ls", "work.notes.t[ao]?[k1]*"}), (Lines{"TASK1\tCSV"}));
    EXPECT_EQ(names({"ls", "work.notes.[!t]*"}), (Lines{"README\tSOURCE"}));
    // A pattern in the catalog or the library: the catalog leads each line.
    EXPECT_EQ(names({"ls", "work.*.*.log"}, 3),
              (Lines{"WORK.LOGS\tBUILD\tLOG", "WORK.LOGS\tTEST\tLOG", "WORK.NOTES\tTAIL\tLOG"}));
    EXPECT_EQ(names({"ls", "*.*.todo"}, 3), (Lines{"ARCH.OLD\tTODO\tSOURCE", "WORK.NOTES\tTODO\tSOURCE"}));
    EXPECT_EQ(names({"ls", "w*.l*"}, 2), (Lines{"WORK.LOGS\tBUILD", "WORK.LOGS\tTEST"}));
    EXPECT_EQ(names({"ls", "*"}, 2), (Lines{"ARCH\tOLD", "WORK\tLOGS", "WORK\tNOTES"}));
    // A single entry, and a name of three parts: that entry of any type.
    EXPECT_EQ(names({"ls", "work.notes.todo.source"}), (Lines{"TODO\tSOURCE"}));
    EXPECT_EQ(names({"ls", "work.notes.task1"}), (Lines{"TASK1\tCSV"}));
    // A catalog without patterns lists as it always did.
    EXPECT_EQ(names({"ls", "work.logs"}), (Lines{"BUILD\tLOG", "TEST\tLOG"}));
}

TEST_F(Patterns, WhatMatchesNothingIsAFailure) {
    struct Case {
        std::vector<std::string> arguments;
        std::string says;
    } cases[] = {
        {{"ls", "work.notes.z*"}, "zefcat: ls work.notes.z*: nothing matches\n"},
        {{"ls", "work.*.z*.log"}, "zefcat: ls work.*.z*.log: nothing matches\n"},
        {{"ls", "work.nothing*"}, "zefcat: ls work.nothing*: nothing matches\n"},
        {{"ls", "x*"}, "zefcat: ls x*: nothing matches\n"},
        {{"ls", "work.notes.todo.log"}, "zefcat: ls work.notes.todo.log: no such entry\n"},
        {{"rm", "work.notes.z*"}, "zefcat: rm work.notes.z*: nothing matches\n"},
        {{"rm", "-r", "work.z*"}, "zefcat: rm work.z*: nothing matches\n"},
        {{"rm", "--dry-run", "*.*.*.pdf"}, "zefcat: rm *.*.*.pdf: nothing matches\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.arguments.back());
        Outcome run = with_arch(c.arguments);
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.err, c.says);
        EXPECT_EQ(run.out, "");
    }
    // -f: nothing to say, as for an entry that is not there.
    Outcome forced = zefcat({"rm", "-f", "work.notes.z*", "work.q*"});
    EXPECT_EQ(forced.status, 0) << forced.err;
    EXPECT_EQ(forced.err, "");
    // Characters no name has are refused as usage, before anything is opened.
    Outcome blank = zefcat({"ls", "work.no tes*"});
    EXPECT_EQ(blank.status, 2);
    EXPECT_NE(blank.err.find("has a character no name has"), std::string::npos) << blank.err;
    Outcome nothing_left = zefcat({"ls", "work.*"});
    EXPECT_EQ(lines_of(nothing_left.out).size(), 6u) << nothing_left.out;
}

TEST_F(Patterns, RmRemovesWhatMatchesAndADryRunRemovesNothing) {
    std::set<std::string> files_before;
    for (const auto &file : std::filesystem::recursive_directory_iterator(directory.path()))
        files_before.insert(file.path().string());
    Outcome dry = zefcat({"rm", "--dry-run", "work.*.t*", "work.notes.readme.source", "work.logs"});
    // The catalog is not empty: the dry run fails there, as rm would.
    EXPECT_EQ(dry.status, 1);
    EXPECT_EQ(dry.out,
              "would remove WORK.LOGS.TEST.LOG\n"
              "would remove WORK.NOTES.TAIL.LOG\n"
              "would remove WORK.NOTES.TASK1.CSV\n"
              "would remove WORK.NOTES.TODO.SOURCE\n"
              "would remove WORK.NOTES.README.SOURCE\n");
    EXPECT_EQ(dry.err, "zefcat: rm work.logs: catalog WORK.LOGS has 2 entries (-r removes it with them)\n");
    Outcome dry_r = zefcat({"rm", "-n", "-r", "work.l*"});
    EXPECT_EQ(dry_r.status, 0) << dry_r.err;
    EXPECT_EQ(dry_r.out, "would remove catalog WORK.LOGS (2 entries)\n");
    Outcome dry_missing = zefcat({"rm", "-n", "work.notes.gone.source"});
    EXPECT_EQ(dry_missing.status, 1);
    EXPECT_EQ(dry_missing.err, "zefcat: rm work.notes.gone.source: no such entry (0x80001006)\n");
    // Nothing went: every entry is still there, and no file came or went.
    EXPECT_EQ(lines_of(zefcat({"ls", "work.*"}).out).size(), 6u);
    std::set<std::string> files_after;
    for (const auto &file : std::filesystem::recursive_directory_iterator(directory.path()))
        files_after.insert(file.path().string());
    EXPECT_EQ(files_after, files_before);

    Outcome rm = zefcat({"rm", "WORK.*.T*"});
    EXPECT_EQ(rm.status, 0) << rm.err;
    EXPECT_EQ(rm.out, "");
    EXPECT_EQ(names({"ls", "work.*"}, 3), (std::vector<std::string>{"WORK.LOGS\tBUILD\tLOG", "WORK.NOTES\tREADME\tSOURCE"}));
    // Four parts: the type must match too.
    EXPECT_EQ(zefcat({"rm", "work.*.*.source"}).status, 0);
    EXPECT_EQ(names({"ls", "work.*"}, 3), (std::vector<std::string>{"WORK.LOGS\tBUILD\tLOG"}));
    // Catalogs by pattern: an empty one goes, one with entries needs -r.
    Outcome not_empty = zefcat({"rm", "work.*"});
    EXPECT_EQ(not_empty.status, 1);
    EXPECT_NE(not_empty.err.find("catalog WORK.LOGS has 1 entry"), std::string::npos) << not_empty.err;
    EXPECT_FALSE(exists("zefdata/notes.zcat"));
    EXPECT_EQ(zefcat({"rm", "-r", "work.*"}).status, 0);
    EXPECT_FALSE(exists("zefdata/logs.zcat"));
    // The other library was never touched.
    EXPECT_EQ(with_arch({"get", "arch.old.todo.source"}).out, "ggggggg\n");
}

TEST_F(Patterns, LongListingSaysHowEachEntryWasWrittenAndWhen) {
    ASSERT_EQ(zefcat({"put", "work.notes.fixed.source", "-", "RECFM=F", "LRECL=40", "ENCODING=latin1"}, std::string("x\n")).status, 0);
    Outcome tabs = zefcat({"ls", "work.notes.f*", "--long"});
    ASSERT_EQ(tabs.status, 0) << tabs.err;
    const std::string iso = "\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\dZ";
    EXPECT_TRUE(std::regex_match(tabs.out, std::regex("FIXED\tSOURCE\tF\t40\tlatin1\t\\d+\t\\d+\t" + iso + "\t" + iso +
                                                      "\t[0-9a-f]{32}\t\n")))
        << tabs.out;
    Outcome table = zefcat({"ls", "work.notes", "--long", "--table"});
    EXPECT_EQ(lines_of(table.out)[0], "NAME    TYPE    RECFM  LRECL  ENCODING  SIZE  STORED  CREATED               "
                                      "MODIFIED              CHECKSUM                          DESCRIPTION");
    nlohmann::json json = nlohmann::json::parse(zefcat({"ls", "work.notes.fixed.source", "--long", "--json"}).out);
    ASSERT_EQ(json.size(), 1u);
    EXPECT_EQ(json[0]["recfm"], "F");
    EXPECT_EQ(json[0]["lrecl"], 40);
    EXPECT_EQ(json[0]["encoding"], "latin1");
    EXPECT_TRUE(std::regex_match(json[0]["created"].get<std::string>(), std::regex(iso)));
    // Without --long the piped fields stay as they were: name, type, size, modified, description.
    EXPECT_TRUE(std::regex_match(zefcat({"ls", "work.notes.fixed.source"}).out,
                                 std::regex("FIXED\tSOURCE\t\\d+\t" + iso + "\t\n")));
}

TEST_F(Patterns, SortBySizeOrTime) {
    using Lines = std::vector<std::string>;
    EXPECT_EQ(names({"ls", "work.notes", "--sort", "size"}, 1), (Lines{"README", "TAIL", "TASK1", "TODO"}));
    EXPECT_EQ(names({"ls", "*.*.*", "--sort", "size"}, 2),
              (Lines{"ARCH.OLD\tTODO", "WORK.LOGS\tTEST", "WORK.LOGS\tBUILD", "WORK.NOTES\tREADME",
                     "WORK.NOTES\tTAIL", "WORK.NOTES\tTASK1", "WORK.NOTES\tTODO"}));
    // The newest first: TODO written again now.
    std::this_thread::sleep_for(std::chrono::milliseconds(1100));
    ASSERT_EQ(zefcat({"put", "work.notes.todo.source", "-"}, std::string("again\n")).status, 0);
    EXPECT_EQ(names({"ls", "work.notes", "--sort", "time"}, 1).front(), "TODO");
    Outcome bad = zefcat({"ls", "work.notes", "--sort", "colour"});
    EXPECT_EQ(bad.status, 2);
    EXPECT_NE(bad.err.find("colour not in {name,size,time}"), std::string::npos) << bad.err;
}

TEST_F(Patterns, TheLibrariesSayWhatTheyHold) {
    std::filesystem::create_directories(path("empty"));
    Outcome ls = zefcat({"-L", "arch=arch", "-L", "empty=empty", "-L", "gone=nowhere", "ls"});
    ASSERT_EQ(ls.status, 0) << ls.err;
    EXPECT_EQ(lines_of(ls.out),
              (std::vector<std::string>{"ARCH\t" + path("arch").string() + "\t-L\t1\t1\t8",
                                        "EMPTY\t" + path("empty").string() + "\t-L\t0\t0\t0",
                                        "GONE\tnowhere (not a directory)\t-L\t?\t?\t?",
                                        "WORK\t" + path("zefdata").string() + "\tdefault\t2\t6\t26"}));
    nlohmann::json json = nlohmann::json::parse(zefcat({"-L", "gone=nowhere", "ls", "--json"}).out);
    EXPECT_TRUE(json[0]["bytes"].is_null());
    EXPECT_EQ(json[1]["entries"], 6);
}

}  // namespace
}  // namespace zefcat_test
