// A library kept in a PostgreSQL database, used through zefcat as a person
// would: the same commands and answers as a directory library, from two
// "machines" (two spellings of the server's address), and never a password
// in a listing or a message.
#include <libpq-fe.h>
#include <unistd.h>

#include "support/postgres_cluster.h"
#include "zefcat_runner.h"

namespace zefcat_test {
namespace {

class DatabaseLibrary : public ZefcatTest {
protected:
    DatabaseLibrary() : cluster(zeftest::PostgresCluster::shared()) {
        static int made = 0;
        database = "z" + std::to_string(::getpid()) + "_" + std::to_string(++made);
        cluster.sql("CREATE DATABASE " + database);
    }
    ~DatabaseLibrary() override {
        try {
            cluster.sql("DROP DATABASE IF EXISTS " + database + " WITH (FORCE)");
        } catch (...) {
        }
    }
    // The library SITE on the test's database, as a URI or a keyword string.
    std::string uri() const { return "SITE=" + cluster.uri(database); }
    std::string keywords() const { return "SITE=postgresql:" + cluster.keyword_string(database); }

    Outcome as(const std::string &library, std::vector<std::string> arguments, const std::string &input = "") {
        arguments.insert(arguments.begin(), {"-L", library});
        return zefcat(arguments, input);
    }

    zeftest::PostgresCluster &cluster;
    std::string database;
};

TEST_F(DatabaseLibrary, CommandsWorkAsOnADirectoryLibrary) {
    const std::string picture = random_bytes(300000);
    ASSERT_EQ(as(uri(), {"put", "site.notes.readme.source", "-", "DESC='Read me'"}, "one\ntwo\n").status, 0);
    ASSERT_EQ(as(uri(), {"put", "site.notes.logo.png"}, picture).status, 0);
    EXPECT_EQ(as(uri(), {"get", "site.notes.readme.source"}).out, "one\ntwo\n");
    EXPECT_EQ(as(uri(), {"get", "site.notes.logo.png"}).out, picture);

    std::vector<std::string> entries = lines_of(as(uri(), {"ls", "site.notes"}).out);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].rfind("LOGO\tPNG\t300000\t", 0), 0u) << entries[0];
    EXPECT_EQ(entries[1].rfind("README\tSOURCE\t8\t", 0), 0u) << entries[1];
    EXPECT_NE(entries[1].find("Read me"), std::string::npos);
    std::vector<std::string> catalogs = lines_of(as(uri(), {"ls", "site"}).out);
    ASSERT_EQ(catalogs.size(), 1u);
    EXPECT_EQ(catalogs[0].rfind("NOTES\t2\t", 0), 0u) << catalogs[0];

    EXPECT_EQ(as(uri(), {"exists", "site.notes.logo.png"}).status, 0);
    EXPECT_EQ(as(uri(), {"rm", "site.notes.logo.png"}).status, 0);
    EXPECT_EQ(as(uri(), {"exists", "site.notes.logo.png"}).status, 1);
    Outcome refused = as(uri(), {"rm", "site.notes"});
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.err.find("has 1 entry (-r removes it with them)"), std::string::npos) << refused.err;
    EXPECT_EQ(as(uri(), {"rm", "-r", "site.notes"}).status, 0);
    EXPECT_EQ(as(uri(), {"ls", "site"}).out, "");
    Outcome gone = as(uri(), {"get", "site.notes.readme.source"});
    EXPECT_EQ(gone.status, 1);
    EXPECT_NE(gone.err.find("does not exist"), std::string::npos) << gone.err;
}

TEST_F(DatabaseLibrary, TwoMachinesShareItsCatalogs) {
    // One host names the server by URI on the command line, the other by a
    // keyword string in ZEF_LIBRARIES (whose colons do not split it).
    RunOptions other;
    other.environment["ZEF_LIBRARIES"] = "TMP=/tmp:" + keywords() + ":X=/nowhere";
    ASSERT_EQ(as(uri(), {"put", "site.shared.plan.source"}, "first\n").status, 0);
    EXPECT_EQ(zefcat({"get", "site.shared.plan.source"}, other).out, "first\n");
    ASSERT_EQ(zefcat({"put", "site.shared.plan.source", "-"}, RunOptions{"second\n", other.environment}).status, 0);
    EXPECT_EQ(as(uri(), {"get", "site.shared.plan.source"}).out, "second\n");
    std::string libraries = zefcat({"ls"}, other).out;
    EXPECT_NE(libraries.find("SITE\tpostgresql://zef@:" + std::to_string(cluster.port()) + "/" + database +
                             "?host=" + cluster.socket_dir().string() + "\tZEF_LIBRARIES"),
              std::string::npos)
        << libraries;
    EXPECT_NE(libraries.find("TMP\t/tmp\t"), std::string::npos) << libraries;
}

TEST_F(DatabaseLibrary, APasswordIsNeverShown) {
    std::string with_password = "SITE=postgresql://zef:sekrit@/" + database + "?host=" +
                                cluster.socket_dir().string() + "&port=" + std::to_string(cluster.port());
    ASSERT_EQ(as(with_password, {"put", "site.c.e.source"}, "x\n").status, 0);
    for (const auto &arguments : std::vector<std::vector<std::string>>{{"ls"}, {"ls", "site"}, {"info", "site.c"}}) {
        Outcome shown = as(with_password, arguments);
        EXPECT_EQ(shown.out.find("sekrit"), std::string::npos) << shown.out;
        EXPECT_EQ(shown.err.find("sekrit"), std::string::npos) << shown.err;
    }
    // Nor when the server cannot be reached, nor when the text is not one.
    Outcome unreachable = as("SITE=postgresql://zef:sekrit@/db?host=/nonexistent", {"ls", "site.c"});
    EXPECT_EQ(unreachable.status, 1);
    EXPECT_NE(unreachable.err.find("cannot connect"), std::string::npos) << unreachable.err;
    EXPECT_EQ(unreachable.err.find("sekrit"), std::string::npos) << unreachable.err;
    Outcome garbled = as("SITE=postgresql:password=sekrit =oops", {"ls", "site"});
    EXPECT_NE(garbled.status, 0);
    EXPECT_NE(garbled.err.find("not a PostgreSQL connection URI"), std::string::npos) << garbled.err;
    EXPECT_EQ(garbled.err.find("sekrit"), std::string::npos) << garbled.err;
    // The list of libraries, too, names such a library without its text.
    Outcome listed = as("SITE=postgresql:password=sekrit =oops", {"ls"});
    EXPECT_EQ(listed.status, 0) << listed.err;
    EXPECT_NE(listed.out.find("SITE\t(a database that cannot be used"), std::string::npos) << listed.out;
    EXPECT_EQ(listed.out.find("sekrit"), std::string::npos) << listed.out;
}

TEST_F(DatabaseLibrary, ARefusedPutLeavesNoCatalogBehind) {
    Outcome refused = as(uri(), {"put", "site.fresh.x.source", "ENCODING=ascii"}, "caf\xc3\xa9\n");
    EXPECT_EQ(refused.status, 1) << refused.err;
    EXPECT_EQ(as(uri(), {"exists", "site.fresh"}).status, 1);
    // A catalog that was there before stays, with what it held.
    ASSERT_EQ(as(uri(), {"put", "site.kept.x.source"}, "one\n").status, 0);
    EXPECT_EQ(as(uri(), {"put", "site.kept.y.source", "ENCODING=ascii"}, "caf\xc3\xa9\n").status, 1);
    EXPECT_EQ(as(uri(), {"get", "site.kept.x.source"}).out, "one\n");
    EXPECT_EQ(lines_of(as(uri(), {"ls", "site"}).out).size(), 1u);
}

TEST_F(DatabaseLibrary, TablesOfAnotherFormatAreRefusedClearly) {
    ASSERT_EQ(as(uri(), {"put", "site.c.e.source"}, "x\n").status, 0);
    // The library's tables are made newer behind this zefcat's back.
    PGconn *conn = PQconnectdb(cluster.uri(database).c_str());
    PGresult *changed = PQexec(conn, "UPDATE site.zef_format SET version = 99");
    ASSERT_EQ(PQresultStatus(changed), PGRES_COMMAND_OK) << PQerrorMessage(conn);
    PQclear(changed);
    PQfinish(conn);
    Outcome refused = as(uri(), {"get", "site.c.e.source"});
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.err.find("holds tables of format version 99"), std::string::npos) << refused.err;
    Outcome write = as(uri(), {"put", "site.c.f.source"}, "y\n");
    EXPECT_EQ(write.status, 1);
    EXPECT_NE(write.err.find("format version 99"), std::string::npos) << write.err;
}

// libpq is loaded only when a database library is used: where it cannot be
// loaded (here a damaged libpq.so.5 found first), directory libraries work
// as ever, and a database library fails with the loader's reason.
TEST_F(DatabaseLibrary, WithoutAUsableLibpqDirectoryLibrariesStillWork) {
    write_file("libs/libpq.so.5", "not a library");
    RunOptions damaged;
    damaged.environment["LD_LIBRARY_PATH"] = path("libs").string();
    Outcome put = zefcat({"put", "work.notes.a.source", "-"}, RunOptions{"one\n", damaged.environment, false});
    EXPECT_EQ(put.status, 0) << put.err;
    EXPECT_EQ(zefcat({"get", "work.notes.a.source"}, damaged).out, "one\n");

    RunOptions with_site = damaged;
    with_site.environment["ZEF_LIBRARIES"] = uri();
    Outcome refused = zefcat({"get", "site.notes.a.source"}, with_site);
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.err.find("cannot load the PostgreSQL client library"), std::string::npos) << refused.err;
    EXPECT_NE(refused.err.find("libpq.so.5"), std::string::npos) << refused.err;
    EXPECT_EQ(as(uri(), {"ls"}).status, 0) << "the same library, with libpq";
}

}  // namespace
}  // namespace zefcat_test
