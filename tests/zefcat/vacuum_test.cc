// zefcat vacuum through the binary and real processes: large entries come
// and go and the catalog comes back to its size without them, a put killed
// with SIGKILL gives its staged space back, a get in progress elsewhere
// keeps its bytes while vacuum says it must wait, a full disk changes
// nothing, and a database library compacts its shared tables.
#include <nlohmann/json.hpp>

#include <algorithm>
#include <regex>

#include "support/postgres_cluster.h"
#include "zefcat_runner.h"

namespace zefcat_test {
namespace {

constexpr int64_t kSmallBound = 64 * 1024;

class Vacuum : public ZefcatTest {
protected:
    // Starts zefcat with `arguments`, standard input from `input` and
    // standard output into `output` (descriptors, closed here); the process id.
    pid_t start(const std::vector<std::string> &arguments, int input, int output) const {
        pid_t child = fork();
        if (child == 0) {
            if (chdir(directory.path().c_str()) != 0) _exit(126);
            dup2(input, 0);
            dup2(output, 1);
            unsetenv("ZEF_WORK");
            unsetenv("ZEF_LIBRARIES");
            exec_zefcat(arguments);
        }
        close(input);
        close(output);
        return child;
    }
    static int finish(pid_t child) {
        int status = 0;
        waitpid(child, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    // The one catalog of `vacuum NAME --json`: its before and after.
    std::pair<int64_t, int64_t> compacted(const std::string &name) const {
        Outcome run = zefcat({"vacuum", name, "--json"});
        EXPECT_EQ(run.status, 0) << run.err;
        auto json = nlohmann::json::parse(run.out, nullptr, false);
        if (json.is_discarded() || json["catalogs"].size() != 1) {
            ADD_FAILURE() << run.out;
            return {0, 0};
        }
        return {json["catalogs"][0]["before"].get<int64_t>(), json["catalogs"][0]["after"].get<int64_t>()};
    }
    int64_t on_disk(const std::string &catalog_file) const {
        std::error_code ignored;
        int64_t wal = static_cast<int64_t>(std::filesystem::file_size(path(catalog_file + "-wal"), ignored));
        return static_cast<int64_t>(std::filesystem::file_size(path(catalog_file))) + (wal > 0 ? wal : 0);
    }
};

TEST_F(Vacuum, HelpSaysWhatIsCountedAndWhenItMustWait) {
    Outcome help = zefcat({"vacuum", "--help"});
    EXPECT_EQ(help.status, 0);
    for (const char *said : {"NAME.zcat and", "NAME.zcat-reserve", "VACUUM FULL", "must wait", "--json"})
        EXPECT_NE(help.out.find(said), std::string::npos) << said;
    EXPECT_EQ(zefcat({"vacuum"}).status, 2);
}

TEST_F(Vacuum, DeletedEntriesComeBackToTheSizeOfTheCatalogWithoutThem) {
    ASSERT_EQ(zefcat({"put", "work.big.note.source"}, "keep me\n").status, 0);
    int64_t baseline = compacted("work.big").second;
    write_file("a.png", random_bytes(3000000, 1));
    write_file("b.png", random_bytes(3000000, 2));
    ASSERT_EQ(zefcat({"put", "work.big.a.png", "a.png"}).status, 0);
    ASSERT_EQ(zefcat({"put", "work.big.a.png", "b.png"}).status, 0);  // replaced
    ASSERT_EQ(zefcat({"put", "work.big.b.png", "b.png"}).status, 0);
    ASSERT_EQ(zefcat({"rm", "work.big.a.png", "work.big.b.png"}).status, 0);
    int64_t before = on_disk("zefdata/big.zcat");
    ASSERT_GE(before, baseline + 5000000);

    Outcome run = zefcat({"vacuum", "work.big"});
    EXPECT_EQ(run.status, 0) << run.err;
    std::vector<std::string> lines = lines_of(run.out);
    ASSERT_EQ(lines.size(), 2u) << run.out;
    std::smatch m;
    ASSERT_TRUE(std::regex_match(lines[0], m, std::regex(R"(WORK\.BIG: \S+ MiB -> \S+ KiB \((\d+) -> (\d+) bytes\), )"
                                                         R"(\S+ MiB given back)")))
        << lines[0];
    EXPECT_EQ(std::stoll(m[1]), before);
    int64_t after = std::stoll(m[2]);
    EXPECT_EQ(after, on_disk("zefdata/big.zcat"));
    EXPECT_LE(after, baseline + kSmallBound);
    EXPECT_EQ(lines[1], "total" + lines[0].substr(8));
    EXPECT_EQ(zefcat({"get", "work.big.note.source"}).out, "keep me\n");
    // Nothing is left beside the catalog but its reserve.
    std::vector<std::string> files;
    for (const auto &file : std::filesystem::directory_iterator(path("zefdata"))) files.push_back(file.path().filename());
    std::sort(files.begin(), files.end());
    EXPECT_EQ(files, (std::vector<std::string>{"big.zcat", "big.zcat-reserve"}));
}

TEST_F(Vacuum, APutKilledMidwayGivesItsStagedSpaceBack) {
    ASSERT_EQ(zefcat({"put", "work.a.e.png"}, "before").status, 0);
    int64_t baseline = compacted("work.a").second;
    int feed[2];
    ASSERT_EQ(pipe2(feed, O_CLOEXEC), 0);
    pid_t put = start({"put", "work.a.e.png"}, feed[0], open("/dev/null", O_WRONLY | O_CLOEXEC));
    // Once all is written, the put has taken all but a pipe's worth: the
    // writer has staged megabytes of it.
    const std::string data = random_bytes(4000000);
    ASSERT_EQ(write(feed[1], data.data(), data.size()), static_cast<ssize_t>(data.size()));
    kill(put, SIGKILL);
    EXPECT_EQ(finish(put), 128 + SIGKILL);
    close(feed[1]);

    Outcome run = zefcat({"vacuum", "work"});
    EXPECT_EQ(run.status, 0) << run.err;
    std::vector<std::string> lines = lines_of(run.out);
    ASSERT_EQ(lines.size(), 2u) << run.out;
    EXPECT_NE(lines[0].find("; collected the staged pieces of 1 dead writer"), std::string::npos) << lines[0];
    EXPECT_LE(on_disk("zefdata/a.zcat"), baseline + kSmallBound);
    EXPECT_EQ(zefcat({"get", "work.a.e.png"}).out, "before");
    EXPECT_EQ(compacted("work.a").first, on_disk("zefdata/a.zcat"));
}

// A get that has read part of an entry holds the state it opened: vacuum
// waits for it (the busy timeout), says it must wait, and the get still
// delivers every byte of the version it opened.
TEST_F(Vacuum, AGetInProgressKeepsItsBytesAndVacuumSaysItMustWait) {
    const std::string picture = random_bytes(2000000);
    write_file("p.png", picture);
    ASSERT_EQ(zefcat({"put", "work.a.p.png", "p.png"}).status, 0);
    ASSERT_EQ(zefcat({"put", "work.a.old.png", "p.png"}).status, 0);
    ASSERT_EQ(zefcat({"rm", "work.a.old.png"}).status, 0);
    int out[2];
    ASSERT_EQ(pipe2(out, O_CLOEXEC), 0);
    pid_t get = start({"get", "work.a.p.png"}, open("/dev/null", O_RDONLY | O_CLOEXEC), out[1]);
    // The first bytes arrive: the get has the entry open, and stops when
    // the pipe is full.
    std::string got(65536, '\0');
    ssize_t first = read(out[0], got.data(), got.size());
    ASSERT_GT(first, 0);
    got.resize(static_cast<size_t>(first));

    // --wait 0: the shortest wait, the busy timeout of 10 s.
    Outcome refused = zefcat({"--wait", "0", "vacuum", "work.a"});
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.err.find("zefcat: vacuum work.a: catalog WORK.A "), std::string::npos) << refused.err;
    EXPECT_NE(refused.err.find("vacuum must wait: try again when that process is done (waited 10 s)"),
              std::string::npos)
        << refused.err;
    EXPECT_EQ(refused.out, "");

    pump(-1, "", {{out[0], &got}});
    EXPECT_EQ(finish(get), 0);
    EXPECT_TRUE(got == picture) << "the get delivered " << got.size() << " bytes";
    Outcome again = zefcat({"vacuum", "work.a"});
    EXPECT_EQ(again.status, 0) << again.err;
    EXPECT_EQ(zefcat({"get", "work.a.p.png"}).out, picture);
}

TEST_F(Vacuum, WhatIsNotThereOrNotACatalogNameIsRefused) {
    ASSERT_EQ(zefcat({"put", "work.a.e.source"}, "one\n").status, 0);
    Outcome missing = zefcat({"vacuum", "work.nothere", "work.a"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err, "zefcat: vacuum work.nothere: no such catalog\n");
    // The catalog named after it is compacted all the same.
    EXPECT_EQ(lines_of(missing.out).size(), 2u) << missing.out;
    EXPECT_EQ(missing.out.rfind("WORK.A: ", 0), 0u) << missing.out;
    EXPECT_FALSE(exists("zefdata/nothere.zcat"));

    Outcome library = zefcat({"vacuum", "nolib.x"});
    EXPECT_EQ(library.status, 1);
    EXPECT_EQ(library.err, "zefcat: vacuum nolib.x: library NOLIB is not assigned; assign it with -L NOLIB=DIR\n");
    EXPECT_EQ(library.out, "");
    EXPECT_EQ(zefcat({"vacuum", "work.a.e"}).status, 2);

    Outcome json = zefcat({"vacuum", "work.nothere", "--json"});
    EXPECT_EQ(json.status, 1);
    auto parsed = nlohmann::json::parse(json.out, nullptr, false);
    ASSERT_FALSE(parsed.is_discarded()) << json.out;
    EXPECT_EQ(parsed["catalogs"][0]["catalog"], "WORK.NOTHERE");
    EXPECT_EQ(parsed["catalogs"][0]["error"], "vacuum work.nothere: no such catalog");
}

// WORK on a 4 MB file system of its own: a catalog of 1.5 MB has no room
// for its copy, and neither has a temporary directory filled up. Vacuum
// says so and changes nothing.
TEST_F(Vacuum, WithoutRoomForTheCopyNothingChanges) {
    write_file("a.png", random_bytes(1500000));
    std::filesystem::create_directories(path("big"));
    const std::string z = "'" + zefcat_path() + "'";
    std::string script =
        z + " put work.p.a.png a.png; echo put $? >> result;"
        + z + " vacuum work.p 2>> result; echo vacuum $? >> result; ls small >> result;"
        + z + " get work.p.a.png | cmp -s - a.png; echo same $? >> result;"
        // A catalog on a roomy disk, with SQLite's temporary files on the full one.
        + z + " -L big=big put big.q.a.png a.png; rm small/p.zcat*; head -c 4000000 /dev/zero > small/filler;"
        "SQLITE_TMPDIR=small " + z + " -L big=big vacuum big.q 2>> result; echo temporary $? >> result;"
        + z + " -L big=big get big.q.a.png | cmp -s - a.png; echo same $? >> result;";
    int code = run_on_small_disk(script, "4m");
    if (code < 0) GTEST_SKIP() << "no mount namespace for a small file system here";
    ASSERT_EQ(code, 0);
    std::vector<std::string> result = lines_of(read_file("result"));
    ASSERT_EQ(result.size(), 9u) << read_file("result");
    EXPECT_EQ(result[0], "put 0");
    std::string small_dir = path("small").string();
    EXPECT_EQ(result[1].rfind("zefcat: vacuum work.p: not enough free space to compact WORK.P: it needs about ", 0), 0u)
        << result[1];
    EXPECT_NE(result[1].find(" MiB free in " + path("small").string() + ", which has "), std::string::npos) << result[1];
    EXPECT_TRUE(result[1].ends_with(" MiB; nothing was changed")) << result[1];
    EXPECT_EQ(result[2], "vacuum 1");
    EXPECT_EQ(result[3], "p.zcat");  // no log left beside it
    EXPECT_EQ(result[4], "p.zcat-reserve");
    EXPECT_EQ(result[5], "same 0");
    EXPECT_NE(result[6].find("not enough free space to compact BIG.Q"), std::string::npos) << result[6];
    EXPECT_NE(result[6].find(" free in small, "), std::string::npos) << result[6];
    EXPECT_EQ(result[7], "temporary 1");
    EXPECT_EQ(result[8], "same 0");
}

TEST_F(Vacuum, ADatabaseLibraryCompactsTheTablesItsCatalogsShare) {
    zeftest::PostgresCluster &cluster = zeftest::PostgresCluster::shared();
    std::string database = "v" + std::to_string(::getpid());
    cluster.sql("CREATE DATABASE " + database);
    std::string site = "SITE=" + cluster.uri(database);
    auto as = [&](std::vector<std::string> arguments, const std::string &input = "") {
        arguments.insert(arguments.begin(), {"-L", site});
        return zefcat(arguments, input);
    };
    ASSERT_EQ(as({"put", "site.notes.keep.source"}, "kept\n").status, 0);
    ASSERT_EQ(as({"put", "site.other.keep.source"}, "kept too\n").status, 0);
    Outcome first = as({"vacuum", "site", "--json"});
    ASSERT_EQ(first.status, 0) << first.err;
    auto baseline = nlohmann::json::parse(first.out, nullptr, false);
    ASSERT_FALSE(baseline.is_discarded()) << first.out;
    ASSERT_EQ(as({"put", "site.notes.big.png"}, random_bytes(3000000)).status, 0);
    ASSERT_EQ(as({"rm", "site.notes.big.png"}).status, 0);

    Outcome run = as({"vacuum", "site.notes"});
    EXPECT_EQ(run.status, 0) << run.err;
    std::vector<std::string> lines = lines_of(run.out);
    ASSERT_EQ(lines.size(), 2u) << run.out;
    std::smatch m;
    ASSERT_TRUE(std::regex_match(lines[0], m, std::regex(R"(SITE\.NOTES \(the tables of library SITE, which its )"
                                                         R"(catalogs share\): .* \((\d+) -> (\d+) bytes\), .*)")))
        << lines[0];
    EXPECT_GE(std::stoll(m[1]), std::stoll(m[2]));
    EXPECT_LE(std::stoll(m[2]), baseline["catalogs"][0]["after"].get<int64_t>() + kSmallBound);
    Outcome json = as({"vacuum", "site", "--json"});
    auto parsed = nlohmann::json::parse(json.out, nullptr, false);
    ASSERT_FALSE(parsed.is_discarded()) << json.out;
    EXPECT_EQ(parsed["catalogs"][0]["catalog"], "SITE");
    EXPECT_EQ(parsed["catalogs"][0]["measured"], "library tables");
    EXPECT_EQ(as({"get", "site.notes.keep.source"}).out, "kept\n");
    EXPECT_EQ(as({"get", "site.other.keep.source"}).out, "kept too\n");
    EXPECT_EQ(as({"vacuum", "site.nothere"}).err, "zefcat: vacuum site.nothere: no such catalog\n");
    cluster.sql("DROP DATABASE IF EXISTS " + database + " WITH (FORCE)");
}

}  // namespace
}  // namespace zefcat_test
