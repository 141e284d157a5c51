// Checksums and compression through the binary: a chunk damaged behind the
// store's back is caught by get (which leaves its -o target untouched) and
// by verify; compressed entries read back byte for byte; a library's
// setting and put's flags decide what is compressed.
#include <nlohmann/json.hpp>

#include <sys/stat.h>

#include "support/catalog_sql.h"
#include "zefcat_runner.h"

namespace zefcat_test {
namespace {

class Integrity : public ZefcatTest {
protected:
    std::string catalog_file(const std::string &catalog) const { return path("zefdata/" + catalog + ".zcat"); }

    static std::string sql(const std::string &file, const std::string &statements) {
        return zeftest::file_sql(file, statements);
    }

    // Changes one byte inside the chunks of entry NAME of the catalog.
    void damage(const std::string &catalog, const std::string &name, int at = 30) const {
        ASSERT_EQ(sql(catalog_file(catalog),
                      "UPDATE chunks SET data = CAST(substr(data, 1, " + std::to_string(at) + ") || x'00' || substr(data, " +
                          std::to_string(at + 2) + ") AS BLOB) WHERE id IN (SELECT chunk FROM pieces WHERE content = "
                          "(SELECT content FROM entries WHERE name = '" + name + "'))"),
                  "");
    }


    static std::string lines(int count) {
        std::string text;
        for (int i = 0; i < count; ++i) text += "line " + std::to_string(i) + " of a text that repeats itself\n";
        return text;
    }
};

TEST_F(Integrity, ADamagedChunkIsCaughtByGetAndByVerify) {
    for (bool compress : {false, true}) {
        SCOPED_TRACE(compress ? "compressed" : "plain");
        std::vector<std::string> flag = compress ? std::vector<std::string>{"--compress"} : std::vector<std::string>{};
        auto put = [&](const std::string &name, const std::string &bytes) {
            std::vector<std::string> arguments{"put"};
            arguments.insert(arguments.end(), flag.begin(), flag.end());
            arguments.insert(arguments.end(), {name, "-"});
            ASSERT_EQ(zefcat(arguments, bytes).status, 0);
        };
        put("work.notes.bad.source", lines(5000));
        put("work.notes.good.source", lines(5000));
        put("work.pics.bad.png", random_bytes(200000));
        EXPECT_EQ(zefcat({"verify"}).status, 0);
        damage("notes", "BAD");
        damage("pics", "BAD");

        // get fails as an I/O failure and hands out nothing of the damaged chunk.
        Outcome got = zefcat({"get", "work.notes.bad.source"});
        EXPECT_EQ(got.status, 1);
        EXPECT_NE(got.err.find("input/output failure"), std::string::npos) << got.err;
        EXPECT_EQ(got.out.find("line 0 "), std::string::npos) << "damaged bytes went out";
        write_file("kept.txt", "what was here\n");
        EXPECT_EQ(zefcat({"get", "work.notes.bad.source", "-o", "kept.txt"}).status, 1);
        EXPECT_EQ(read_file("kept.txt"), "what was here\n");
        write_file("kept.png", "old picture");
        EXPECT_EQ(zefcat({"get", "work.pics.bad.png", "-o", "kept.png"}).status, 1);
        EXPECT_EQ(read_file("kept.png"), "old picture");
        EXPECT_EQ(zefcat({"get", "work.notes.good.source"}).out, lines(5000));

        // verify: one line per damaged entry, a summary, exit status 1.
        Outcome verify = zefcat({"verify"});
        EXPECT_EQ(verify.status, 1) << verify.err;
        EXPECT_NE(verify.out.find("WORK.NOTES.BAD.SOURCE: damaged: "), std::string::npos) << verify.out;
        EXPECT_NE(verify.out.find("WORK.PICS.BAD.PNG: damaged: "), std::string::npos) << verify.out;
        EXPECT_EQ(verify.out.find("GOOD"), std::string::npos) << verify.out;
        EXPECT_NE(verify.out.find("verified 2 catalogs, 3 entries: 1 sound, 2 damaged\n"), std::string::npos)
            << verify.out;
        // Narrowed to what is sound, it is sound.
        EXPECT_EQ(zefcat({"verify", "work.notes.good.source"}).status, 0);
        Outcome json = zefcat({"verify", "work.*.bad", "--json"});
        EXPECT_EQ(json.status, 1);
        auto object = nlohmann::json::parse(json.out);
        EXPECT_EQ(object["entries"], 2);
        EXPECT_EQ(object["damaged"].size(), 2u);
        ASSERT_EQ(zefcat({"rm", "-r", "work.notes"}).status, 0);
        ASSERT_EQ(zefcat({"rm", "-r", "work.pics"}).status, 0);
    }
}

TEST_F(Integrity, VerifySaysWhatItCouldNotCheckAndWhatIsNotThere) {
    ASSERT_EQ(zefcat({"put", "work.notes.old.source", "-"}, lines(10)).status, 0);
    ASSERT_EQ(zefcat({"put", "work.notes.new.source", "-"}, lines(10)).status, 0);
    ASSERT_EQ(sql(catalog_file("notes"), "UPDATE entries SET checksum = NULL WHERE name = 'OLD'; "
                                         "UPDATE pieces SET checksum = NULL WHERE content = "
                                         "(SELECT content FROM entries WHERE name = 'OLD')"),
              "");
    Outcome verify = zefcat({"verify", "work.notes", "-v"});
    EXPECT_EQ(verify.status, 0) << verify.err;
    EXPECT_NE(verify.out.find("WORK.NOTES.OLD.SOURCE: no checksum\n"), std::string::npos) << verify.out;
    EXPECT_NE(verify.out.find("WORK.NOTES.NEW.SOURCE: sound\n"), std::string::npos) << verify.out;
    EXPECT_NE(verify.out.find("1 sound, 0 damaged, 1 without a checksum"), std::string::npos) << verify.out;
    EXPECT_TRUE(listed("work.notes", "OLD")["checksum"].is_null());
    EXPECT_EQ(listed("work.notes", "NEW")["checksum"].get<std::string>().size(), 32u);

    Outcome missing = zefcat({"verify", "work.notes.none.source"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("no such entry"), std::string::npos) << missing.err;
    EXPECT_NE(zefcat({"verify", "work.nothere"}).err.find("no such catalog"), std::string::npos);
    EXPECT_NE(zefcat({"verify", "work.*.zz*"}).err.find("nothing matches"), std::string::npos);
    EXPECT_EQ(zefcat({"verify", "work.a.b.c.d"}).status, 2);
    EXPECT_NE(zefcat({"verify", "--help"}).out.find("Exit status"), std::string::npos);
}

TEST_F(Integrity, CompressedEntriesReadBackIdenticallyAndTakeLessRoom) {
    std::string text = lines(20000), picture = random_bytes(300000);
    ASSERT_EQ(zefcat({"put", "--compress", "work.c.text.source", "-"}, text).status, 0);
    ASSERT_EQ(zefcat({"put", "--compress", "work.c.pic.png", "-"}, picture).status, 0);
    ASSERT_EQ(zefcat({"append", "--compress", "work.c.text.source", "-"}, "one more\n").status, 0);
    EXPECT_EQ(zefcat({"get", "work.c.text.source"}).out, text + "one more\n");
    EXPECT_EQ(zefcat({"get", "work.c.pic.png"}).out, picture);
    nlohmann::json t = listed("work.c", "TEXT");
    EXPECT_LT(t["stored"].get<int64_t>() * 4, t["size"].get<int64_t>()) << t;
    nlohmann::json p = listed("work.c", "PIC");
    EXPECT_GE(p["stored"].get<int64_t>(), p["size"].get<int64_t>()) << "noise is kept as it is";
    EXPECT_NE(zefcat({"info", "work.c.text.source"}).out.find("(compressed)"), std::string::npos);
    EXPECT_EQ(zefcat({"verify", "work.c"}).status, 0);
    EXPECT_EQ(zefcat({"put", "--compress", "--no-compress", "work.c.x.source", "-"}, "x\n").status, 2);
}

TEST_F(Integrity, ALibrarysSettingDecidesUntilPutSaysOtherwise) {
    EXPECT_EQ(zefcat({"config"}).out, "WORK  compress=none\n");
    ASSERT_EQ(zefcat({"config", "work", "compress=zstd"}).status, 0);
    EXPECT_EQ(zefcat({"config", "work"}).out, "WORK  compress=zstd\n");
    std::string text = lines(5000);
    ASSERT_EQ(zefcat({"put", "work.c.by_default.source", "-"}, text).status, 0);
    ASSERT_EQ(zefcat({"put", "--no-compress", "work.c.plain.source", "-"}, text).status, 0);
    nlohmann::json compressed = listed("work.c", "BY_DEFAULT"), plain = listed("work.c", "PLAIN");
    EXPECT_LT(compressed["stored"].get<int64_t>() * 4, compressed["size"].get<int64_t>());
    EXPECT_GT(plain["stored"].get<int64_t>(), plain["size"].get<int64_t>());
    EXPECT_EQ(zefcat({"get", "work.c.by_default.source"}).out, text);

    Outcome bad = zefcat({"config", "work", "compress=lz4"});
    EXPECT_EQ(bad.status, 2);
    EXPECT_NE(bad.err.find("zstd or none"), std::string::npos) << bad.err;
    EXPECT_EQ(zefcat({"config", "work", "colour=red"}).status, 2);
    EXPECT_EQ(zefcat({"config", "work.c", "compress=none"}).status, 2);
    // A settings file that does not read stops writes, not reads, and says where.
    write_file("zefdata/zef-library.conf", "compress = maybe\n");
    Outcome refused = zefcat({"put", "work.c.other.source", "-"}, "x\n");
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.err.find("zef-library.conf"), std::string::npos) << refused.err;
    EXPECT_EQ(zefcat({"get", "work.c.plain.source"}).out, text);
    ASSERT_EQ(zefcat({"config", "work", "compress=none"}).status, 0);
    EXPECT_EQ(zefcat({"put", "work.c.other.source", "-"}, "x\n").status, 0);
}

// info says what the store keeps beside the records: the file a version
// was put from, the bytes it takes and its checksum.
TEST_F(Integrity, InfoShowsTheFileAVersionWasPutFromAndWhatItTakes) {
    write_file("plan.txt", "step one\n");
    ASSERT_EQ(chmod(path("plan.txt").c_str(), 0640), 0);
    timespec times[2] = {{1733650000, 0}, {1733650000, 0}};  // 2024-12-08T09:26:40Z
    ASSERT_EQ(utimensat(AT_FDCWD, path("plan.txt").c_str(), times, 0), 0);
    ASSERT_EQ(zefcat({"put", "work.notes.plan.source", "plan.txt"}).status, 0);
    auto info = nlohmann::json::parse(zefcat({"info", "work.notes.plan.source", "--json"}).out);
    EXPECT_EQ(info["file"]["modified"], "2024-12-08T09:26:40Z");
    EXPECT_EQ(info["file"]["mode"], "0640");
    EXPECT_EQ(info["stored"], 8 + 1 + 6) << "the line, its control byte and a record header";
    EXPECT_EQ(info["checksum"].get<std::string>().size(), 32u);
    // From standard input there is no file to say.
    ASSERT_EQ(zefcat({"put", "work.notes.piped.source", "-"}, "x\n").status, 0);
    EXPECT_TRUE(nlohmann::json::parse(zefcat({"info", "work.notes.piped.source", "--json"}).out)["file"].is_null());
    EXPECT_NE(zefcat({"info", "work.notes.plan.source"}).out.find("mode 0640"), std::string::npos);
}

}  // namespace
}  // namespace zefcat_test
