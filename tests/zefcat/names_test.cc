// Names as a person types them: every bad name is refused with exit status 2
// and the rule in the message, before any catalog is opened, so nothing is
// left in the library folder; names made before the rule can still be read
// and removed; and catalogs are removed by rm LIB.CAT and the shell.
#include <regex>
#include <set>

#include "zefcat_runner.h"

namespace zefcat_test {
namespace {

class Names : public ZefcatTest {
protected:
    void SetUp() override {
        write_file("a.txt", "alpha\nbeta\n");
        ASSERT_EQ(zefcat({"put", "work.notes.kept.source", "a.txt"}).status, 0);
    }

    // The files of the WORK library folder.
    std::set<std::string> library_files() const {
        std::set<std::string> files;
        std::error_code ignored;
        for (const auto &file : std::filesystem::directory_iterator(path("zefdata"), ignored))
            files.insert(file.path().filename().string());
        return files;
    }
    std::set<std::string> catalog_files() const {
        std::set<std::string> files;
        for (const std::string &file : library_files())
            if (file.size() > 5 && file.substr(file.size() - 5) == ".zcat") files.insert(file);
        return files;
    }
};

struct NameCase {
    std::vector<std::string> arguments;
    const char *says;
};

TEST_F(Names, EveryBadNameIsAUsageErrorThatSaysTheRuleAndMakesNothing) {
    const std::string long_entry(200, 'x');
    const NameCase cases[] = {
        // Characters that could not be typed back from what ls prints.
        {{"put", "work.t.A B.SOURCE", "a.txt"}, "the entry has a blank: a name has letters, digits, _ $ # @ or -"},
        {{"put", "work.t.a\tb.source", "a.txt"}, "put work.t.a\\tb.source: the entry has a control character"},
        {{"put", "work.t.'q'.source", "a.txt"}, "the entry has a quote"},
        {{"put", "work.t.a*.source", "a.txt"}, "the entry has a wildcard"},
        {{"put", "work.t.a/b.source", "a.txt"}, "the entry has the character /"},
        {{"put", "work.t.\xC3\xBC" "ber.source", "a.txt"}, "put work.t.\\xC3\\xBCber.source: the entry has a character outside ASCII"},
        {{"put", "work.t.-x.source", "a.txt"}, "the entry begins with -"},
        {{"put", "work.a b.x.source", "a.txt"}, "the catalog has a blank"},
        {{"put", "wo-rk.t.x.source", "a.txt"}, "the library has a -: a library name has 1 to 8 letters"},
        // Structure: empty parts, five parts, lengths, types.
        {{"put", "work.notes..source", "a.txt"}, "the entry is empty"},
        {{"put", ".notes.x.source", "a.txt"}, "the library is empty"},
        {{"put", "work..x.source", "a.txt"}, "the catalog is empty"},
        {{"put", "a.b.c.d.e", "a.txt"}, "put a.b.c.d.e: too many parts (5): an entry name is library.catalog.entry.type"},
        {{"put", "work.t.x.source.", "a.txt"}, "too many parts (5)"},
        {{"put", "work.t." + long_entry + ".source", "a.txt"}, "the entry has 200 characters"},
        {{"put", "work.t.x.data", "a.txt"}, "entries of type DATA cannot be written; the types that can: SOURCE"},
        {{"put", "work.t.x", "a.txt", "LRECL=abc"}, "LRECL=abc: option syntax or value rejected"},
        // Reading, listing, testing and removing check the structure too.
        {{"get", "work.notes..source"}, "get work.notes..source: the entry is empty"},
        {{"get", "a.b.c.d.e"}, "too many parts (5)"},
        {{"info", ".notes.x.source"}, "the library is empty"},
        {{"exists", "work.notes.x.y.z.w"}, "too many parts (6)"},
        {{"ls", "work.a b"}, "ls work.a b: the catalog has a blank"},
        {{"ls", "wo rk"}, "the library has a blank"},
        {{"put", "work.no*tes.x.source", "a.txt"}, "the catalog has a wildcard"},
        {{"append", "work.t.x.jpg", "a.txt"}, "entries of type JPG cannot be written"},
    };
    std::set<std::string> before = library_files();
    for (const NameCase &c : cases) {
        SCOPED_TRACE(c.arguments[1]);
        Outcome run = zefcat(c.arguments);
        EXPECT_EQ(run.status, 2) << run.err;
        EXPECT_NE(run.err.find(c.says), std::string::npos) << run.err;
        EXPECT_EQ(lines_of(run.err).size(), 1u) << run.err;
        EXPECT_EQ(run.out, "");
        // A long name is echoed cut, never whole.
        EXPECT_EQ(run.err.find(std::string(81, 'x')), std::string::npos) << run.err;
    }
    // No catalog was made by any of them, and the kept entry is untouched.
    EXPECT_EQ(library_files(), before);
    EXPECT_EQ(zefcat({"get", "work.notes.kept.source"}).out, "alpha\nbeta\n");
}

TEST_F(Names, GoodNamesKeepWorkingInAnyCase) {
    for (const char *name : {"work.new.$a#b@c_d-e.source", "WORK.NEW.Mixed_Case1.Html", "work.new.x",
                             "work.new.readme.zef", "work.new.abcdefghijklmnopqrstuvwxyz012345.qav10"}) {
        SCOPED_TRACE(name);
        Outcome put = zefcat({"put", name, "a.txt"});
        EXPECT_EQ(put.status, 0) << put.err;
        EXPECT_EQ(zefcat({"get", name}).out, "alpha\nbeta\n");
    }
    // Each comes back under the name ls prints.
    Outcome ls = zefcat({"ls", "work.new"});
    for (const std::string &line : lines_of(ls.out)) {
        std::string name = line.substr(0, line.find('\t'));
        std::string type = line.substr(line.find('\t') + 1);
        type = type.substr(0, type.find('\t'));
        EXPECT_EQ(zefcat({"exists", "work.new." + name + "." + type}).status, 0) << line;
    }
}

TEST_F(Names, AnEntryNamedBeforeTheRuleCanStillBeReadAndRemoved) {
    // The shell hands names to the module as they are; this is how such an
    // entry comes to exist.
    Outcome made = zefcat({"shell"}, std::string("assign F 'work.notes.a b.source'\nopen F output\n"
                                                 "line F hello\nclose F\n"));
    ASSERT_EQ(made.status, 0) << made.err;
    EXPECT_EQ(zefcat({"get", "work.notes.a b.source"}).out, "hello\n");
    EXPECT_EQ(zefcat({"exists", "work.notes.A B.source"}).status, 0);
    // Writing it again is refused: its name breaks the rule.
    EXPECT_EQ(zefcat({"put", "work.notes.a b.source", "a.txt"}).status, 2);
    Outcome rm = zefcat({"rm", "work.notes.a b.source"});
    EXPECT_EQ(rm.status, 0) << rm.err;
    EXPECT_EQ(zefcat({"exists", "work.notes.a b.source"}).status, 1);
}

TEST_F(Names, RmRemovesAnEmptyCatalogAndWithRItsEntriesTooLeavingNoFiles) {
    // Not empty: refused, and everything stays.
    Outcome refused = zefcat({"rm", "work.notes"});
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(refused.err, "zefcat: rm work.notes: catalog WORK.NOTES has 1 entry (-r removes it with them)\n");
    EXPECT_EQ(zefcat({"get", "work.notes.kept.source"}).out, "alpha\nbeta\n");

    // Emptied, it goes with a plain rm, and nothing of it stays beside it.
    ASSERT_EQ(zefcat({"rm", "work.notes.kept.source"}).status, 0);
    Outcome empty = zefcat({"rm", "WORK.Notes"});
    EXPECT_EQ(empty.status, 0) << empty.err;
    for (const std::string &file : library_files()) EXPECT_EQ(file.rfind("notes", 0), std::string::npos) << file;
    EXPECT_EQ(zefcat({"exists", "work.notes"}).status, 1);

    // -r takes one with entries; other catalogs stay.
    ASSERT_EQ(zefcat({"put", "work.full.a.source", "a.txt"}).status, 0);
    ASSERT_EQ(zefcat({"put", "work.full.b.png", "a.txt"}).status, 0);
    ASSERT_EQ(zefcat({"put", "work.other.a.source", "a.txt"}).status, 0);
    Outcome recursive = zefcat({"rm", "-r", "work.full"});
    EXPECT_EQ(recursive.status, 0) << recursive.err;
    EXPECT_EQ(catalog_files(), std::set<std::string>{"other.zcat"});
    EXPECT_EQ(zefcat({"get", "work.other.a.source"}).out, "alpha\nbeta\n");

    // A catalog that is not there: status 1, or nothing with -f.
    Outcome missing = zefcat({"rm", "work.gone"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err, "zefcat: rm work.gone: no such catalog\n");
    EXPECT_EQ(zefcat({"rm", "-f", "work.gone"}).status, 0);
}

TEST_F(Names, RmLeavesAFileThatIsNotACatalogAlone) {
    write_file("zefdata/junk.zcat", "not a catalog at all");
    Outcome rm = zefcat({"rm", "-r", "work.junk"});
    EXPECT_EQ(rm.status, 1);
    EXPECT_NE(rm.err.find("junk.zcat is not a catalog file"), std::string::npos) << rm.err;
    // -f passes over what is not there, not over what cannot be read.
    for (const char *name : {"work.junk.*", "work.junk.a.source"}) {
        Outcome forced = zefcat({"rm", "-f", name});
        EXPECT_EQ(forced.status, 1) << name;
        EXPECT_NE(forced.err.find("junk.zcat is not a catalog file"), std::string::npos) << forced.err;
    }
    EXPECT_EQ(zefcat({"rm", "-f", "work.missing.*"}).status, 0);
    EXPECT_EQ(read_file("zefdata/junk.zcat"), "not a catalog at all");
}

TEST_F(Names, TheShellDeletesACatalogThroughItsFileref) {
    Outcome refused = zefcat({"shell"}, std::string("assign C work.notes\ndelete C\n"));
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.err.find("delete C: catalog WORK.NOTES has 1 entry (-r removes it with them)"),
              std::string::npos)
        << refused.err;
    EXPECT_EQ(zefcat({"get", "work.notes.kept.source"}).out, "alpha\nbeta\n");

    Outcome removed = zefcat({"shell"}, std::string("assign C work.notes\ndelete C -r\n"));
    EXPECT_EQ(removed.status, 0) << removed.err;
    EXPECT_TRUE(catalog_files().empty());
    EXPECT_EQ(zefcat({"exists", "work.notes"}).status, 1);
}

}  // namespace
}  // namespace zefcat_test
