// zefcat export and import through the binary: a catalog's entries out to a
// folder, a tar, a gzip tar and a zip and back, byte for byte with every
// attribute; what is in the way of an export; archives made to harm an
// import; and get -p.
#include <archive.h>
#include <archive_entry.h>
#include <sys/stat.h>

#include <nlohmann/json.hpp>

#include "support/postgres_cluster.h"
#include "zefcat_runner.h"

namespace zefcat_test {
namespace {

using Json = nlohmann::ordered_json;

// What an export wrote of one file.
struct Member {
    std::string bytes;
    int64_t time = 0;  // nanoseconds since the epoch
    uint32_t mode = 0;
    int type = AE_IFREG;
    bool operator==(const Member &) const = default;
};
using Members = std::map<std::string, Member>;

std::ostream &operator<<(std::ostream &out, const Member &m) {
    return out << "{" << m.bytes.size() << " bytes, time " << m.time << ", mode " << std::oct << m.mode << std::dec
               << ", type " << m.type << "}";
}

Members archive_members(const std::filesystem::path &file) {
    Members members;
    struct archive *reader = archive_read_new();
    archive_read_support_format_all(reader);
    archive_read_support_filter_all(reader);
    if (archive_read_open_filename(reader, file.c_str(), 65536) != ARCHIVE_OK) {
        ADD_FAILURE() << file << ": " << archive_error_string(reader);
        archive_read_free(reader);
        return members;
    }
    struct archive_entry *entry = nullptr;
    while (archive_read_next_header(reader, &entry) == ARCHIVE_OK) {
        Member m;
        m.time = int64_t{archive_entry_mtime(entry)} * 1000000000 + archive_entry_mtime_nsec(entry);
        m.mode = archive_entry_perm(entry);
        m.type = static_cast<int>(archive_entry_filetype(entry));
        char buffer[65536];
        for (la_ssize_t got; (got = archive_read_data(reader, buffer, sizeof buffer)) > 0;)
            m.bytes.append(buffer, static_cast<size_t>(got));
        members[archive_entry_pathname(entry)] = m;
    }
    archive_read_free(reader);
    return members;
}

Members folder_members(const std::filesystem::path &folder) {
    Members members;
    for (const auto &file : std::filesystem::directory_iterator(folder)) {
        struct stat status {};
        lstat(file.path().c_str(), &status);
        Member m;
        m.time = int64_t{status.st_mtim.tv_sec} * 1000000000 + status.st_mtim.tv_nsec;
        m.mode = status.st_mode & 0777;
        m.type = S_ISREG(status.st_mode) ? AE_IFREG : S_ISLNK(status.st_mode) ? AE_IFLNK : AE_IFDIR;
        std::ifstream in(file.path(), std::ios::binary);
        std::ostringstream bytes;
        bytes << in.rdbuf();
        m.bytes = bytes.str();
        members[file.path().filename().string()] = m;
    }
    return members;
}

Members members_of(const std::filesystem::path &destination) {
    return std::filesystem::is_directory(destination) ? folder_members(destination) : archive_members(destination);
}

// A member of an archive made by hand.
struct Planted {
    Planted(std::string name, std::string bytes, int type = AE_IFREG, std::string link = "", bool hard_link = false)
        : name(std::move(name)), bytes(std::move(bytes)), type(type), link(std::move(link)), hard_link(hard_link) {}
    std::string name;
    std::string bytes;
    int type;
    std::string link;  // a symbolic link's target, or a hard link's member
    bool hard_link;
};

void plant_archive(const std::filesystem::path &file, const std::vector<Planted> &members, bool zip = false) {
    struct archive *writer = archive_write_new();
    if (zip)
        archive_write_set_format_zip(writer);
    else
        archive_write_set_format_pax(writer);
    ASSERT_EQ(archive_write_open_filename(writer, file.c_str()), ARCHIVE_OK);
    for (const Planted &p : members) {
        struct archive_entry *entry = archive_entry_new();
        archive_entry_set_pathname(entry, p.name.c_str());
        archive_entry_set_filetype(entry, static_cast<unsigned>(p.type));
        archive_entry_set_perm(entry, 0644);
        if (p.type == AE_IFLNK) archive_entry_set_symlink(entry, p.link.c_str());
        if (p.hard_link) archive_entry_set_hardlink(entry, p.link.c_str());
        archive_entry_set_size(entry, p.type == AE_IFREG && !p.hard_link ? static_cast<la_int64_t>(p.bytes.size()) : 0);
        archive_write_header(writer, entry);
        if (p.type == AE_IFREG && !p.hard_link) archive_write_data(writer, p.bytes.data(), p.bytes.size());
        archive_entry_free(entry);
    }
    archive_write_close(writer);
    archive_write_free(writer);
}

void set_file_time(const std::filesystem::path &file, int64_t nanoseconds, mode_t mode) {
    struct timespec times[2] = {{0, UTIME_OMIT}, {nanoseconds / 1000000000, nanoseconds % 1000000000}};
    ASSERT_EQ(utimensat(AT_FDCWD, file.c_str(), times, 0), 0);
    ASSERT_EQ(chmod(file.c_str(), mode), 0);
}

constexpr int64_t kTodoTime = 1767323045123456789;  // 2026-01-02T03:04:05.123456789Z
constexpr int64_t kLogoTime = 1600000000000000001;

class ExportImport : public ZefcatTest {
protected:
    // WORK.NOTES with an entry of each kind export must keep exactly.
    void put_catalog(const std::string &catalog = "work.notes", const std::vector<std::string> &library = {}) {
        auto run = [&](std::vector<std::string> arguments, const std::string &input = "") {
            arguments.insert(arguments.begin(), library.begin(), library.end());
            Outcome outcome = zefcat(arguments, input);
            ASSERT_EQ(outcome.status, 0) << outcome.err;
        };
        write_file("todo.txt", "Buy milk\r\nCall the garage\nno newline at the end");
        set_file_time(path("todo.txt"), kTodoTime, 0751);
        write_file("logo.png", picture);
        set_file_time(path("logo.png"), kLogoTime, 0600);
        write_file("greet.txt", "Gr\xC3\xBC\xC3\x9F" "e aus K\xC3\xB6ln\n");
        write_file("sales.csv", "a,b\r\n1,2\r\n");
        run({"put", catalog + ".todo.source", "todo.txt", "DESC='Things to do, it''s long'"});
        run({"put", catalog + ".logo.png", "logo.png", "DESC='The logo'"});
        run({"put", catalog + ".greet.source", "greet.txt", "ENCODING=latin1"});
        run({"put", catalog + ".fixed.source", "-", "LRECL=11", "RECFM=F"}, "short\nten chars!\n");
        run({"put", catalog + ".report.output", "--carriage"}, "1Title\n second line\n1third\n");
        run({"put", catalog + ".sales.csv", "sales.csv", "RECFM=S"});
    }

    // What the catalog holds, as a person sees it: every entry's bytes and
    // the long listing (descriptions, written-with, times).
    std::string catalog_view(const std::string &catalog, const std::vector<std::string> &library = {}) {
        auto run = [&](std::vector<std::string> arguments) {
            arguments.insert(arguments.begin(), library.begin(), library.end());
            return zefcat(arguments);
        };
        std::string view = run({"ls", catalog, "--long", "--json"}).out;
        for (const char *entry : {"todo.source", "logo.png", "greet.source", "fixed.source", "report.output",
                                  "sales.csv"})
        {
            std::vector<std::string> get{"get", catalog + "." + entry};
            if (std::string_view(entry) == "report.output") get.push_back("--carriage");
            view += std::string("\n") + entry + ":" + run(get).out;
        }
        return view;
    }

    Json manifest_of(const std::string &folder) { return Json::parse(read_file(folder + "/zefcat-manifest.json")); }

    const std::string picture = random_bytes(300000);
};

TEST_F(ExportImport, RoundTripsThroughFolderTarGzipTarAndZip) {
    put_catalog();
    std::string original = catalog_view("work.notes");
    int round = 0;
    for (std::string destination : {"out", "out.tar", "out.tgz", "out.zip"}) {
        SCOPED_TRACE(destination);
        std::string copy = "work.copy" + std::to_string(++round);
        Outcome exported = zefcat({"export", "work.notes", destination});
        ASSERT_EQ(exported.status, 0) << exported.err;
        EXPECT_NE(exported.out.find("6 entries exported to " + destination), std::string::npos) << exported.out;
        Members first = members_of(path(destination));
        ASSERT_EQ(first.size(), 7u);
        // Text as get writes it, binary byte for byte.
        EXPECT_EQ(first["todo.source"].bytes, "Buy milk\nCall the garage\nno newline at the end\n");
        EXPECT_EQ(first["logo.png"].bytes, picture);
        EXPECT_EQ(first["greet.source"].bytes, "Gr\xC3\xBC\xC3\x9F" "e aus K\xC3\xB6ln\n");
        EXPECT_EQ(first["fixed.source"].bytes, "short     \nten chars!\n");
        EXPECT_EQ(first["report.output"].bytes, "1Title\n second line\n1third\n");
        EXPECT_EQ(first["sales.csv"].bytes, "a,b\r\n1,2\r\n");
        EXPECT_EQ(first["todo.source"].mode, 0751u);
        EXPECT_EQ(first["logo.png"].mode, 0600u);
        // Zip keeps seconds; the manifest keeps the nanoseconds.
        bool whole_seconds = destination.ends_with(".zip");
        EXPECT_EQ(first["todo.source"].time, whole_seconds ? kTodoTime / 1000000000 * 1000000000 : kTodoTime);
        EXPECT_EQ(first["logo.png"].time, whole_seconds ? kLogoTime / 1000000000 * 1000000000 : kLogoTime);

        Outcome imported = zefcat({"import", destination, copy});
        ASSERT_EQ(imported.status, 0) << imported.err;
        EXPECT_NE(imported.out.find("6 entries imported"), std::string::npos) << imported.out;
        EXPECT_EQ(catalog_view(copy), original);

        // Export, import, export: the same files, manifest and times.
        std::string again = "again" + std::to_string(round) + destination.substr(3);
        ASSERT_EQ(zefcat({"export", copy, again}).status, 0);
        EXPECT_EQ(members_of(path(again)), first);
    }
    Json line = manifest_of("out")["entries"][5];
    EXPECT_EQ(line["file"], "todo.source");
    EXPECT_EQ(line["description"], "Things to do, it's long");
    EXPECT_EQ(line["written_with"], Json({{"recfm", ""}, {"lrecl", 256}, {"encoding", ""}}));
    EXPECT_EQ(line["file_time"], "2026-01-02T03:04:05.123456789Z");
    EXPECT_EQ(line["file_mode"], "0751");
}

// libarchive is loaded only for an archive: where it cannot be loaded
// (here a damaged libarchive.so.13 found first), put, get and exports to a
// folder work as ever, and an archive is refused with the loader's reason,
// leaving nothing behind.
TEST_F(ExportImport, WithoutAUsableLibarchiveOnlyArchivesAreRefused) {
    put_catalog();
    write_file("libs/libarchive.so.13", "not a library");
    RunOptions damaged;
    damaged.environment["LD_LIBRARY_PATH"] = path("libs").string();
    EXPECT_EQ(zefcat({"put", "work.more.a.source", "-"}, RunOptions{"one\n", damaged.environment, false}).status, 0);
    EXPECT_EQ(zefcat({"get", "work.more.a.source"}, damaged).out, "one\n");
    Outcome folder = zefcat({"export", "work.notes", "out"}, damaged);
    EXPECT_EQ(folder.status, 0) << folder.err;
    EXPECT_EQ(members_of(path("out")).size(), 7u);
    EXPECT_EQ(zefcat({"import", "out", "work.copy"}, damaged).status, 0);
    EXPECT_EQ(catalog_view("work.copy"), catalog_view("work.notes"));

    ASSERT_EQ(zefcat({"export", "work.notes", "out.tar"}).status, 0);
    for (const std::vector<std::string> &words :
         {std::vector<std::string>{"export", "work.notes", "out.tgz"}, {"import", "out.tar", "work.other"}}) {
        Outcome refused = zefcat(words, damaged);
        EXPECT_EQ(refused.status, 1) << words[0];
        EXPECT_NE(refused.err.find("cannot load libarchive"), std::string::npos) << refused.err;
        EXPECT_NE(refused.err.find("libarchive.so.13"), std::string::npos) << refused.err;
    }
    EXPECT_FALSE(exists("out.tgz"));
    EXPECT_EQ(zefcat({"exists", "work.other"}).status, 1);
    for (const auto &file : std::filesystem::directory_iterator(directory.path()))
        EXPECT_EQ(file.path().filename().string().find(".zefcat-"), std::string::npos) << file.path();
}

TEST_F(ExportImport, EntriesTheCatalogKnewNothingAboutStayThatWay) {
    // A manifest line without written-with, file time or mode, as an entry
    // written before catalogs kept them exports.
    write_file("in/long.source", std::string(600, 'x') + "\n");
    write_file("in/zefcat-manifest.json", R"({"format": "zefcat-export", "version": 1, "entries": [
        {"file": "long.source", "name": "LONG", "type": "SOURCE", "form": "text", "size": 601,
         "description": "", "written_with": null, "created": "2020-01-01T00:00:00Z",
         "modified": "2021-06-07T08:09:10.5Z", "file_time": null, "file_mode": null}]})");
    Outcome imported = zefcat({"import", "in", "work.old"});
    ASSERT_EQ(imported.status, 0) << imported.err;
    EXPECT_EQ(zefcat({"get", "work.old.long.source"}).out, std::string(600, 'x') + "\n");
    ASSERT_EQ(zefcat({"export", "work.old", "out"}).status, 0);
    Json line = manifest_of("out")["entries"][0];
    EXPECT_TRUE(line["written_with"].is_null()) << line;
    EXPECT_TRUE(line["file_time"].is_null());
    EXPECT_EQ(line["created"], "2020-01-01T00:00:00.000000Z");
    EXPECT_EQ(line["modified"], "2021-06-07T08:09:10.500000Z");
    EXPECT_EQ(folder_members(path("out"))["long.source"].time, 1623053350500000000);
}

TEST_F(ExportImport, AnEntryThatWouldNotImportAsItIsIsLeftOut) {
    // "abc\r" as a record: as a line it would be read back as "abc".
    ASSERT_EQ(zefcat({"put", "work.odd.cr.source"}, "abc\r\r\nline 2\n").status, 0);
    ASSERT_EQ(zefcat({"put", "work.odd.fine.source"}, "fine\n").status, 0);
    for (std::string destination : {"odd", "odd.tar"}) {
        Outcome outcome = zefcat({"export", "work.odd", destination});
        EXPECT_EQ(outcome.status, 1);
        EXPECT_NE(outcome.err.find("WORK.ODD.CR.SOURCE: record 1 ends in a carriage return: as a file it would not "
                                   "import as it is (not exported)"),
                  std::string::npos)
            << outcome.err;
        EXPECT_NE(outcome.out.find("1 entry exported to " + destination + ", 1 refused"), std::string::npos)
            << outcome.out;
        Members members = members_of(path(destination));
        EXPECT_EQ(members.size(), 2u);
        EXPECT_TRUE(members.contains("fine.source"));
    }
}

TEST_F(ExportImport, ExportDoesNotWriteOverWhatIsThereWithoutForce) {
    put_catalog();
    write_file("out/todo.source", "mine\n");
    write_file("out/zefcat-manifest.json", "{}");
    Outcome refused = zefcat({"export", "work.notes", "out"});
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.err.find("out/todo.source exists (--force replaces it)"), std::string::npos) << refused.err;
    EXPECT_NE(refused.err.find("out/zefcat-manifest.json exists"), std::string::npos) << refused.err;
    EXPECT_NE(refused.err.find("2 files are in the way; nothing exported"), std::string::npos) << refused.err;
    EXPECT_EQ(read_file("out/todo.source"), "mine\n");
    EXPECT_FALSE(exists("out/logo.png"));

    // --force replaces files, and a link in the folder is replaced, not followed.
    write_file("victim", "untouched\n");
    std::filesystem::create_symlink("../victim", path("out/logo.png"));
    Outcome forced = zefcat({"export", "work.notes", "out", "--force"});
    ASSERT_EQ(forced.status, 0) << forced.err;
    EXPECT_EQ(read_file("victim"), "untouched\n");
    EXPECT_FALSE(std::filesystem::is_symlink(path("out/logo.png")));
    EXPECT_EQ(read_file("out/logo.png"), picture);
    EXPECT_EQ(read_file("out/todo.source"), "Buy milk\nCall the garage\nno newline at the end\n");

    // A folder where a file would go stays, and is named.
    std::filesystem::remove(path("out/greet.source"));
    std::filesystem::create_directory(path("out/greet.source"));
    Outcome folder = zefcat({"export", "work.notes", "out", "--force"});
    EXPECT_EQ(folder.status, 1);
    EXPECT_NE(folder.err.find("out/greet.source is not a file, and is not replaced"), std::string::npos) << folder.err;

    // An archive is refused whole, and replaced whole.
    write_file("notes.tar", "old archive");
    Outcome archive = zefcat({"export", "work.notes", "notes.tar"});
    EXPECT_EQ(archive.status, 1);
    EXPECT_NE(archive.err.find("notes.tar exists (--force replaces it); nothing exported"), std::string::npos)
        << archive.err;
    EXPECT_EQ(read_file("notes.tar"), "old archive");
    ASSERT_EQ(zefcat({"export", "work.notes", "notes.tar", "-f"}).status, 0);
    EXPECT_EQ(archive_members(path("notes.tar")).size(), 7u);
    // A file where a folder is asked for.
    Outcome not_folder = zefcat({"export", "work.notes", "victim"});
    EXPECT_EQ(not_folder.status, 1);
    EXPECT_NE(not_folder.err.find("exists and is not a folder"), std::string::npos) << not_folder.err;
    // A catalog that is not there makes nothing.
    Outcome missing = zefcat({"export", "work.nothing", "nothing.zip"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_FALSE(exists("nothing.zip"));
}

TEST_F(ExportImport, AnArchiveOnAFullDiskLeavesNothing) {
    // The entry fits, and then 2 MB are left: its spool (1.5 MB) fits, the
    // archive beside it does not.
    std::string script = "head -c 1500000 /dev/urandom > small/big.bin; " + zefcat_path() +
                         " put work.notes.big.jar small/big.bin || exit 9; rm small/big.bin;"
                         " cat /dev/zero > small/filler 2>/dev/null; truncate -s -2M small/filler || exit 8; " +
                         zefcat_path() + " export work.notes small/notes.tar 2> err; echo $? > status";
    int status = run_on_small_disk(script, "8m");
    if (status == -1) GTEST_SKIP() << "no user namespaces here";
    ASSERT_EQ(status, 0);
    EXPECT_EQ(read_file("status"), "1\n");
    std::string err = read_file("err");
    EXPECT_NE(err.find("No space left on device"), std::string::npos) << err;
    EXPECT_NE(err.find("nothing exported"), std::string::npos) << err;
    EXPECT_FALSE(exists("small/notes.tar"));
    for (const auto &file : std::filesystem::directory_iterator(path("small")))
        EXPECT_TRUE(file.path().extension() == ".zcat" || file.path().filename() == "filler" ||
                    file.path().filename().string().find(".zcat-") != std::string::npos)
            << file.path();
}

TEST_F(ExportImport, ImportReplacesEntriesOnlyWithForce) {
    put_catalog();
    ASSERT_EQ(zefcat({"export", "work.notes", "out.tgz"}).status, 0);
    ASSERT_EQ(zefcat({"put", "work.notes.todo.source", "-"}, "changed\n").status, 0);
    Outcome refused = zefcat({"import", "out.tgz", "work.notes"});
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.err.find("todo.source: WORK.NOTES.TODO.SOURCE exists (--force replaces it) (not imported)"),
              std::string::npos)
        << refused.err;
    EXPECT_NE(refused.out.find("0 entries imported, 6 refused"), std::string::npos) << refused.out;
    EXPECT_EQ(zefcat({"get", "work.notes.todo.source"}).out, "changed\n");
    Outcome forced = zefcat({"import", "out.tgz", "work.notes", "--force", "--json"});
    ASSERT_EQ(forced.status, 0) << forced.err;
    Json summary = Json::parse(forced.out);
    EXPECT_EQ(summary["imported"].size(), 6u);
    EXPECT_EQ(summary["imported"][0], Json({{"file", "fixed.source"}, {"entry", "WORK.NOTES.FIXED.SOURCE"}}));
    EXPECT_EQ(zefcat({"get", "work.notes.todo.source"}).out, "Buy milk\nCall the garage\nno newline at the end\n");
}

// Each archive made to harm an import is refused in words, the import
// writes nothing outside the catalog, and what is sound still goes in.
class HostileImport : public ExportImport {
protected:
    void SetUp() override {
        put_catalog();
        ASSERT_EQ(zefcat({"export", "work.notes", "good"}).status, 0);
        manifest = read_file("good/zefcat-manifest.json");
        for (const auto &[name, member] : folder_members(path("good")))
            if (name != "zefcat-manifest.json") sound.push_back({name, member.bytes});
    }
    // The sound members with `extra` added (and those named in `without` left out).
    std::vector<Planted> with(std::vector<Planted> extra, const std::set<std::string> &without = {},
                              const std::string &manifest_text = "") {
        std::vector<Planted> members{{"zefcat-manifest.json", manifest_text.empty() ? manifest : manifest_text}};
        for (const Planted &p : sound)
            if (!without.contains(p.name)) members.push_back(p);
        members.insert(members.end(), extra.begin(), extra.end());
        return members;
    }
    Outcome import(const std::vector<Planted> &members, bool zip = false) {
        std::string name = std::string("hostile") + (zip ? ".zip" : ".tar");
        std::filesystem::remove(path(name));
        plant_archive(path(name), members, zip);
        Outcome outcome = zefcat({"import", name, "work.in" + std::to_string(++imports)});
        return outcome;
    }
    std::string entries_of(int import_number) {
        return zefcat({"ls", "work.in" + std::to_string(import_number)}).out;
    }

    std::string manifest;
    std::vector<Planted> sound;
    int imports = 0;
};

TEST_F(HostileImport, PathsLinksAndStrangersAreRefusedAndTheRestGoesIn) {
    std::string outside = directory.path().parent_path() / ("zefcat-escape-" + std::to_string(getpid()));
    for (bool zip : {false, true}) {
        SCOPED_TRACE(zip ? "zip" : "tar");
        Outcome outcome = import(with({{"../escape.source", "x\n"},
                                       {outside, "x\n"},
                                       {"sub/inner.source", "x\n"},
                                       {"extra.source", "not in the manifest\n"},
                                       {"todo.source", "", AE_IFLNK, "/etc/passwd"},
                                       {"logo.png", "", AE_IFREG, "greet.source", true}},
                                      {"todo.source", "logo.png"}),
                                 zip);
        EXPECT_EQ(outcome.status, 1);
        for (const std::string &said : std::vector<std::string>{
                 "../escape.source: a path, not a file name", outside + ": a path, not a file name",
                 "sub/inner.source: a path, not a file name", "extra.source: the manifest does not name it",
                 "todo.source: it is a symbolic link: only plain files are imported",
                 // A zip holds no hard links: its writer made the member an empty file.
                 zip ? "logo.png: it has 0 bytes; the manifest says 300000"
                     : "logo.png: it is a hard link: only plain files are imported"})
            EXPECT_NE(outcome.err.find(said), std::string::npos) << said << "\n" << outcome.err;
        EXPECT_NE(outcome.out.find("4 entries imported, 6 refused"), std::string::npos) << outcome.out;
        EXPECT_FALSE(std::filesystem::exists(outside));
        EXPECT_FALSE(std::filesystem::exists(directory.path().parent_path() / "escape.source"));
        EXPECT_FALSE(exists("sub"));
        std::string listed = entries_of(imports);
        EXPECT_EQ(listed.find("TODO"), std::string::npos) << listed;
        EXPECT_EQ(listed.find("EXTRA"), std::string::npos) << listed;
        EXPECT_NE(listed.find("GREET"), std::string::npos) << listed;
    }
}

TEST_F(HostileImport, FilesThatDoNotMatchTheManifestAreRefused) {
    Outcome outcome = import(with({{"todo.source", "a different length\n"}, {"greet.source", "twice\n"}},
                                  {"todo.source", "fixed.source"}));
    EXPECT_EQ(outcome.status, 1);
    for (const char *said : {"todo.source: it has 19 bytes; the manifest says 47",
                             "fixed.source: the manifest names it, but there is no such file",
                             "greet.source: the archive holds it 2 times"})
        EXPECT_NE(outcome.err.find(said), std::string::npos) << said << "\n" << outcome.err;
    EXPECT_NE(outcome.out.find("3 entries imported, 3 refused"), std::string::npos) << outcome.out;
}

TEST_F(HostileImport, ManifestLinesThatDoNotHoldTogetherAreRefused) {
    Json document = Json::parse(manifest);
    Json &entries = document["entries"];
    auto line = [&](const std::string &file) -> Json & {
        for (Json &l : entries)
            if (l["file"] == file) return l;
        throw std::runtime_error(file);
    };
    line("todo.source")["name"] = "TO DO";
    line("logo.png")["file"] = "../logo.png";
    line("greet.source")["written_with"]["encoding"] = "klingon";
    line("fixed.source")["modified"] = "2026-02-30T00:00:00Z";
    line("report.output")["file_mode"] = "4755";
    entries.push_back(line("sales.csv"));
    Outcome outcome = import(with({}, {}, document.dump()));
    EXPECT_EQ(outcome.status, 1);
    for (const char *said : {"the entry has a blank", "\"file\" ../logo.png is not the file of LOGO.PNG (logo.png)",
                             "\"encoding\" klingon is not an encoding zefcat knows",
                             "\"modified\" is not a time", "\"file_mode\" is not permission bits",
                             "the manifest names sales.csv more than once", "logo.png: the manifest does not name it"})
        EXPECT_NE(outcome.err.find(said), std::string::npos) << said << "\n" << outcome.err;
    // Only sales.csv (its first line) holds together.
    EXPECT_NE(outcome.out.find("1 entry imported, 7 refused"), std::string::npos) << outcome.out;
}

// ZEF is written as SOURCE: a line of type ZEF names the SOURCE entry of
// its name, which it must neither replace without --force nor write twice
// beside a SOURCE line of the same name.
TEST_F(HostileImport, ALineWhoseTypeIsWrittenAsAnotherNamesThatEntry) {
    Json document = Json::parse(manifest);
    Json alias;
    for (const Json &l : document["entries"])
        if (l["file"] == "todo.source") alias = l;
    ASSERT_FALSE(alias.is_null());
    alias["type"] = "ZEF";
    alias["file"] = "todo.zef";
    std::string todo;
    for (const Planted &p : sound)
        if (p.name == "todo.source") todo = p.bytes;
    document["entries"].push_back(alias);
    const std::string planted = std::string(46, 'z') + "\n";  // as long as todo.source

    Outcome both = import(with({{"todo.zef", planted}}, {}, document.dump()));
    EXPECT_EQ(both.status, 1);
    EXPECT_NE(both.err.find("todo.zef: WORK.IN1.TODO.ZEF (WORK.IN1.TODO.SOURCE) is the entry of todo.source too"),
              std::string::npos)
        << both.err;
    EXPECT_NE(both.out.find("6 entries imported, 1 refused"), std::string::npos) << both.out;
    EXPECT_EQ(zefcat({"get", "work.in1.todo.source"}).out, todo);

    Json alone = document;
    alone["entries"] = Json::array({alias});
    plant_archive(path("alias.tar"), {{"zefcat-manifest.json", alone.dump()}, {"todo.zef", planted}});
    Outcome refused = zefcat({"import", "alias.tar", "work.in1"});
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.err.find("todo.zef: WORK.IN1.TODO.ZEF (WORK.IN1.TODO.SOURCE) exists (--force replaces it)"),
              std::string::npos)
        << refused.err;
    EXPECT_EQ(zefcat({"get", "work.in1.todo.source"}).out, todo);
    EXPECT_EQ(zefcat({"import", "alias.tar", "work.in1", "--force"}).status, 0);
    EXPECT_EQ(zefcat({"get", "work.in1.todo.source"}).out, planted);
}

// An entry dated past what a file's time holds in nanoseconds (the year
// 2262) exports dated the last time it does, not wrapped round to the past.
TEST_F(HostileImport, AnEntryDatedPastWhatAFileTimeHoldsExportsAtItsLast) {
    Json document = Json::parse(manifest);
    for (Json &l : document["entries"]) {
        l["modified"] = "9999-12-31T00:00:00Z";
        l["file_time"] = nullptr;
    }
    ASSERT_EQ(import(with({}, {}, document.dump())).status, 0);
    ASSERT_EQ(zefcat({"export", "work.in1", "late"}).status, 0);
    struct stat status {};
    ASSERT_EQ(::stat(path("late/todo.source").c_str(), &status), 0);
    EXPECT_GE(status.st_mtime, int64_t{9'000'000'000}) << "dated before the year 2255";
}

TEST_F(HostileImport, ASourceThatIsNoExportImportsNothing) {
    struct Case {
        std::vector<Planted> members;
        std::string said;
    };
    std::vector<Case> cases = {
        {with({}, {}, "{\"format\": \"zefcat-export\", \"version\": 1, \"entries\": ["), "zefcat-manifest.json is not JSON"},
        {with({}, {}, "{\"format\": \"zefcat-export\", \"version\": 2, \"entries\": []}"), "is of another version"},
        {with({}, {}, "[1, 2]"), "is not a JSON object"},
        {with({}, {}, "{\"format\": \"zefcat-export\", \"version\": 1, \"entries\": {}}"), "has no \"entries\" array"},
        {{{"todo.source", "x\n"}}, "has no zefcat-manifest.json: it is not what zefcat export writes"},
        {{{"zefcat-manifest.json", "", AE_IFLNK, "/etc/passwd"}}, "has no zefcat-manifest.json"},
    };
    for (const Case &c : cases) {
        Outcome outcome = import(c.members);
        EXPECT_EQ(outcome.status, 1) << c.said;
        EXPECT_NE(outcome.err.find(c.said), std::string::npos) << c.said << "\n" << outcome.err;
        EXPECT_EQ(outcome.out, "");
        EXPECT_EQ(entries_of(imports), "");
        EXPECT_FALSE(exists("zefdata/in" + std::to_string(imports) + ".zcat"));
    }
    // Not an archive at all, and an archive cut short.
    write_file("noise.tar", random_bytes(5000));
    Outcome noise = zefcat({"import", "noise.tar", "work.noise"});
    EXPECT_EQ(noise.status, 1);
    EXPECT_NE(noise.err.find("noise.tar: opening: "), std::string::npos) << noise.err;
    ASSERT_EQ(zefcat({"export", "work.notes", "whole.tgz"}).status, 0);
    std::string whole = read_file("whole.tgz");
    write_file("cut.tgz", whole.substr(0, whole.size() / 2));
    Outcome cut = zefcat({"import", "cut.tgz", "work.cut"});
    EXPECT_EQ(cut.status, 1);
    EXPECT_NE(cut.err.find("cut.tgz: reading: "), std::string::npos) << cut.err;
    EXPECT_EQ(zefcat({"ls", "work.cut"}).status, 1);
    // A manifest too long to be one is not read.
    write_file("huge/zefcat-manifest.json", std::string((64 << 20) + 1, ' '));
    Outcome huge = zefcat({"import", "huge", "work.huge"});
    EXPECT_EQ(huge.status, 1);
    EXPECT_NE(huge.err.find("zefcat-manifest.json is longer than 64 MB; nothing imported"), std::string::npos)
        << huge.err;
}

TEST_F(HostileImport, AMemberLargerThanTheFreeSpaceIsNotUnpacked) {
    plant_archive(path("big.tar"), with({}));
    // The catalog elsewhere, the temporary files on the small disk.
    std::string script = "ZEF_WORK=$PWD/work TMPDIR=$PWD/small " + zefcat_path() + " import big.tar work.big > out 2> err";
    int status = run_on_small_disk(script, "256k");
    if (status == -1) GTEST_SKIP() << "no user namespaces here";
    EXPECT_EQ(status, 1);
    std::string err = read_file("err");
    EXPECT_NE(err.find("logo.png: it unpacks to 300000 bytes, more than "), std::string::npos) << err;
    EXPECT_NE(read_file("out").find("5 entries imported, 1 refused"), std::string::npos) << read_file("out");
    for (const auto &file : std::filesystem::directory_iterator(path("small")))
        EXPECT_EQ(file.path().filename().string().find(".zefcat-"), std::string::npos) << "left: " << file.path();
    // No temporary folder at all: said, and nothing imported.
    RunOptions nowhere;
    nowhere.environment["TMPDIR"] = path("nowhere").string();
    Outcome outcome = zefcat({"import", "big.tar", "work.nowhere"}, nowhere);
    EXPECT_EQ(outcome.status, 1);
    EXPECT_NE(outcome.err.find("no folder for temporary files"), std::string::npos) << outcome.err;
    EXPECT_EQ(zefcat({"ls", "work.nowhere"}).status, 1);
}

TEST_F(HostileImport, ATarMadeByHandFromAnExportedFolderImports) {
    // tar -C good . names its members ./todo.source and the folder ./
    ASSERT_EQ(system(("tar czf " + path("hand.tgz").string() + " -C " + path("good").string() + " .").c_str()), 0);
    Outcome outcome = zefcat({"import", "hand.tgz", "work.hand"});
    ASSERT_EQ(outcome.status, 0) << outcome.err;
    EXPECT_EQ(catalog_view("work.hand"), catalog_view("work.notes"));
}

TEST_F(HostileImport, AFolderIsReadWithoutFollowingItsLinks) {
    write_file("secret", "not for the catalog\n");
    std::filesystem::remove(path("good/todo.source"));
    std::filesystem::create_symlink(path("secret"), path("good/todo.source"));
    std::filesystem::create_directory(path("good/sub"));
    Outcome outcome = zefcat({"import", "good", "work.folder"});
    EXPECT_EQ(outcome.status, 1);
    EXPECT_NE(outcome.err.find("todo.source: it is a symbolic link"), std::string::npos) << outcome.err;
    EXPECT_NE(outcome.err.find("sub: the manifest does not name it"), std::string::npos) << outcome.err;
    EXPECT_NE(outcome.out.find("5 entries imported, 2 refused"), std::string::npos) << outcome.out;
    EXPECT_EQ(zefcat({"exists", "work.folder.todo.source"}).status, 1);
}

TEST_F(ExportImport, GetKeepsTheTimeAndModeOfThePutFileWithP) {
    put_catalog();
    ASSERT_EQ(zefcat({"get", "-p", "work.notes.todo.source", "-o", "kept.txt"}).status, 0);
    struct stat status {};
    ASSERT_EQ(stat(path("kept.txt").c_str(), &status), 0);
    EXPECT_EQ(int64_t{status.st_mtim.tv_sec} * 1000000000 + status.st_mtim.tv_nsec, kTodoTime);
    EXPECT_EQ(status.st_mode & 07777, 0751u);
    // Over a file that exists, its mode gives way to the entry's.
    write_file("logo-copy.png", "old");
    chmod(path("logo-copy.png").c_str(), 0644);
    ASSERT_EQ(zefcat({"get", "--preserve", "work.notes.logo.png", "-o", "logo-copy.png"}).status, 0);
    ASSERT_EQ(stat(path("logo-copy.png").c_str(), &status), 0);
    EXPECT_EQ(int64_t{status.st_mtim.tv_sec} * 1000000000 + status.st_mtim.tv_nsec, kLogoTime);
    EXPECT_EQ(status.st_mode & 07777, 0600u);
    // Without -p the file is written now, with the usual mode.
    ASSERT_EQ(zefcat({"get", "work.notes.todo.source", "-o", "plain.txt"}).status, 0);
    ASSERT_EQ(stat(path("plain.txt").c_str(), &status), 0);
    EXPECT_GT(int64_t{status.st_mtim.tv_sec}, kTodoTime / 1000000000 + 1000000);
    EXPECT_NE(status.st_mode & 07777, 0751u);
    // An entry put from standard input has neither: -p leaves the defaults.
    ASSERT_EQ(zefcat({"get", "-p", "work.notes.fixed.source", "-o", "fixed.txt"}).status, 0);
    ASSERT_EQ(stat(path("fixed.txt").c_str(), &status), 0);
    EXPECT_GT(int64_t{status.st_mtim.tv_sec}, kTodoTime / 1000000000 + 1000000);
    // Standard output has no time to keep.
    Outcome stdout_p = zefcat({"get", "-p", "work.notes.todo.source"});
    EXPECT_EQ(stdout_p.status, 2);
    EXPECT_NE(stdout_p.err.find("-p gives the file -o names"), std::string::npos) << stdout_p.err;
    // An append is no one file's: the time and mode go.
    ASSERT_EQ(zefcat({"append", "work.notes.todo.source", "-"}, "more\n").status, 0);
    ASSERT_EQ(zefcat({"export", "work.notes", "out"}).status, 0);
    Json todo = manifest_of("out")["entries"][5];
    EXPECT_TRUE(todo["file_time"].is_null()) << todo;
    EXPECT_TRUE(todo["file_mode"].is_null()) << todo;
}

TEST_F(ExportImport, ADatabaseLibraryExportsAndImportsAsADirectoryLibraryDoes) {
    zeftest::PostgresCluster &cluster = zeftest::PostgresCluster::shared();
    std::string database = "x" + std::to_string(getpid());
    cluster.sql("CREATE DATABASE " + database);
    std::vector<std::string> site{"-L", "SITE=" + cluster.uri(database)};
    put_catalog("site.notes", site);
    auto run = [&](std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), site.begin(), site.end());
        return zefcat(arguments);
    };
    ASSERT_EQ(run({"export", "site.notes", "site.tar"}).status, 0);
    // Into a directory library and back into the database.
    ASSERT_EQ(run({"import", "site.tar", "work.notes"}).status, 0);
    ASSERT_EQ(run({"export", "work.notes", "work.zip"}).status, 0);
    Outcome back = run({"import", "work.zip", "site.back"});
    ASSERT_EQ(back.status, 0) << back.err;
    EXPECT_EQ(catalog_view("site.back", site), catalog_view("site.notes", site));
    EXPECT_EQ(catalog_view("work.notes"), catalog_view("site.notes", site));
    ASSERT_EQ(run({"export", "site.back", "back.tar"}).status, 0);
    EXPECT_EQ(archive_members(path("back.tar")), archive_members(path("site.tar")));
    cluster.sql("DROP DATABASE IF EXISTS " + database + " WITH (FORCE)");
}

}  // namespace
}  // namespace zefcat_test
