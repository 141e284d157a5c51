// ls, info and rm: what a catalog holds, what the module says of an entry,
// and taking entries away; and where the libraries are.
#include <nlohmann/json.hpp>
#include <regex>

#include "zefcat_runner.h"

namespace zefcat_test {
namespace {

class CatalogCommands : public ZefcatTest {
protected:
    void SetUp() override {
        ASSERT_EQ(zefcat({"put", "work.notes.readme.source", "-", "DESC='The read me'"}, std::string("one\ntwo\n")).status, 0);
        ASSERT_EQ(zefcat({"put", "work.notes.logo.png"}, random_bytes(5000)).status, 0);
        ASSERT_EQ(zefcat({"put", "work.notes.build.log"}, std::string("started\n")).status, 0);
    }
};

TEST_F(CatalogCommands, ListingPipedIsOneTabSeparatedLinePerEntry) {
    Outcome ls = zefcat({"ls", "work.notes"});
    ASSERT_EQ(ls.status, 0) << ls.err;
    std::vector<std::string> lines = lines_of(ls.out);
    ASSERT_EQ(lines.size(), 3u) << ls.out;
    // Name then type order, as the directory delivers them.
    EXPECT_EQ(lines[0].substr(0, 10), "BUILD\tLOG\t");
    EXPECT_EQ(lines[1].substr(0, 9), "LOGO\tPNG\t");
    EXPECT_EQ(lines[2].substr(0, 14), "README\tSOURCE\t");
    // name, type, size, modified (UTC), description
    EXPECT_TRUE(std::regex_match(lines[1], std::regex("LOGO\tPNG\t5000\t\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\dZ\t")))
        << lines[1];
    EXPECT_NE(lines[2].find("\tThe read me"), std::string::npos);
}

TEST_F(CatalogCommands, ListingAsJsonIsAnArrayOfObjects) {
    Outcome ls = zefcat({"ls", "work.notes", "--json"});
    ASSERT_EQ(ls.status, 0) << ls.err;
    nlohmann::json entries = nlohmann::json::parse(ls.out);
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[1]["name"], "LOGO");
    EXPECT_EQ(entries[1]["type"], "PNG");
    EXPECT_EQ(entries[1]["size"], 5000);
    EXPECT_EQ(entries[2]["description"], "The read me");
    EXPECT_TRUE(entries[0]["modified"].is_string());
}

TEST_F(CatalogCommands, ListingAsATableIsAligned) {
    Outcome ls = zefcat({"ls", "work.notes", "--table"});
    ASSERT_EQ(ls.status, 0) << ls.err;
    std::vector<std::string> lines = lines_of(ls.out);
    ASSERT_EQ(lines.size(), 4u) << ls.out;
    EXPECT_EQ(lines[0].rfind("NAME    TYPE    SIZE  MODIFIED", 0), 0u) << ls.out;
    // Every column starts where its heading does.
    size_t type = lines[0].find("TYPE"), modified = lines[0].find("MODIFIED");
    for (size_t i = 1; i < lines.size(); ++i) {
        EXPECT_NE(lines[i][type], ' ') << lines[i];
        EXPECT_NE(lines[i][modified], ' ') << lines[i];
    }
}

TEST_F(CatalogCommands, LibrariesAndCatalogsAreListedToo) {
    ASSERT_EQ(zefcat({"put", "work.other.x.source"}, std::string("x\n")).status, 0);
    Outcome catalogs = zefcat({"ls", "work"});
    ASSERT_EQ(catalogs.status, 0) << catalogs.err;
    std::vector<std::string> lines = lines_of(catalogs.out);
    ASSERT_EQ(lines.size(), 2u) << catalogs.out;
    EXPECT_EQ(lines[0].rfind("NOTES\t3\t", 0), 0u);
    EXPECT_EQ(lines[1].rfind("OTHER\t1\t", 0), 0u);

    std::filesystem::create_directories(path("mine"));
    Outcome libraries = zefcat({"-L", "mylib=mine", "ls"});
    // name, directory, set by, then its catalogs, their entries and the bytes those hold
    EXPECT_NE(libraries.out.find("MYLIB\t" + path("mine").string() + "\t-L\t0\t0\t0\n"), std::string::npos)
        << libraries.out;
    EXPECT_NE(libraries.out.find("WORK\t" + path("zefdata").string() + "\tdefault\t2\t4\t"), std::string::npos);
}

TEST_F(CatalogCommands, InfoShowsTheFileInformationAndTheCatalogNameItem) {
    Outcome info = zefcat({"info", "work.notes.readme.source"});
    ASSERT_EQ(info.status, 0) << info.err;
    for (const char *line : {"Name           WORK.NOTES.README.SOURCE\n", "Type           SOURCE\n",
                             "Device         CATALOG\n", "Kind           entry\n",
                             "Catalog Name   WORK.NOTES.README.SOURCE\n", "Description    The read me\n",
                             "Records        2\n"})
        EXPECT_NE(info.out.find(line), std::string::npos) << line << info.out;

    nlohmann::json json = nlohmann::json::parse(zefcat({"info", "work.notes.logo.png", "--json"}).out);
    EXPECT_EQ(json["catalog_name"], "WORK.NOTES.LOGO.PNG");
    EXPECT_EQ(json["size"], 5000);
    nlohmann::json catalog = nlohmann::json::parse(zefcat({"info", "work.notes", "--json"}).out);
    EXPECT_EQ(catalog["kind"], "catalog");
    EXPECT_EQ(catalog["entries"], 3);

    Outcome missing = zefcat({"info", "work.notes.nothing.source"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err, "zefcat: info work.notes.nothing.source: no such entry (0x80001006)\n");
}

TEST_F(CatalogCommands, RmDeletesEntriesAndSaysWhichWereNotThere) {
    Outcome rm = zefcat({"rm", "work.notes.readme.source", "work.notes.gone.source", "work.notes.logo.png"});
    EXPECT_EQ(rm.status, 1);
    EXPECT_EQ(rm.err, "zefcat: rm work.notes.gone.source: no such entry (0x80001006)\n");
    EXPECT_EQ(lines_of(zefcat({"ls", "work.notes"}).out).size(), 1u);
    EXPECT_EQ(zefcat({"exists", "work.notes.readme.source"}).status, 1);

    Outcome forced = zefcat({"rm", "-f", "work.notes.gone.source", "work.missing.gone.source"});
    EXPECT_EQ(forced.status, 0) << forced.err;
    EXPECT_FALSE(exists("zefdata/missing.zcat"));
}

TEST_F(CatalogCommands, WorkIsMadeOnTheFirstWriteOnly) {
    TempDirectory fresh;
    auto in_fresh = [&](std::vector<std::string> arguments, std::string input = {}) {
        RunOptions how{std::move(input), {{"ZEF_WORK", (fresh.path() / "data").string()}}, false};
        return zefcat(arguments, how);
    };
    EXPECT_EQ(in_fresh({"ls", "work.notes"}).status, 1);
    EXPECT_EQ(in_fresh({"get", "work.notes.a.source"}).status, 1);
    EXPECT_FALSE(std::filesystem::exists(fresh.path() / "data"));
    EXPECT_EQ(in_fresh({"put", "work.notes.a.source"}, "here\n").status, 0);
    EXPECT_TRUE(std::filesystem::exists(fresh.path() / "data" / "notes.zcat"));

    // Other libraries: the environment's, then -L, which wins.
    std::filesystem::create_directories(path("one"));
    std::filesystem::create_directories(path("two"));
    RunOptions how{"kept\n", {{"ZEF_LIBRARIES", "mine=one:yours=two"}}, false};
    EXPECT_EQ(zefcat({"put", "mine.cat.e.source"}, how).status, 0);
    EXPECT_TRUE(exists("one/cat.zcat"));
    EXPECT_EQ(zefcat({"-L", "mine=two", "put", "mine.cat.e.source"}, how).status, 0);
    EXPECT_TRUE(exists("two/cat.zcat"));
    Outcome stale = zefcat({"-L", "gone=nowhere", "get", "gone.cat.e.source"});
    EXPECT_EQ(stale.status, 1);
    EXPECT_NE(stale.err.find("library GONE (-L) names nowhere, which is not a directory"), std::string::npos) << stale.err;
}

}  // namespace
}  // namespace zefcat_test
