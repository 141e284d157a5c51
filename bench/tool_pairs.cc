#include "tool_pairs.h"

#include <sys/wait.h>

#include <sqlite3.h>

#include <fstream>
#include <iterator>

#include "launcher.h"

namespace bench {
namespace {

namespace fs = std::filesystem;

[[noreturn]] void fail(const std::string &what) { throw Failure(what); }

// Runs a child to the end; its wall time and peak resident set. A run that
// fails stops the benchmark: a figure of a failed command means nothing.
Timing run(const ChildRun &what) {
    ChildResult result = launch(what);
    if (!WIFEXITED(result.status) || WEXITSTATUS(result.status) != 0) {
        if (what.quiet) return Timing{-1, 0};
        std::string words;
        for (const std::string &word : what.argv) words += " " + word;
        fail("this failed (status " + std::to_string(result.status) + "):" + words);
    }
    return Timing{result.seconds, result.peak_kib};
}

// Several children one after the other, timed as one.
Timing run_all(const std::vector<ChildRun> &runs) {
    Timing total;
    for (const ChildRun &one : runs) total.seconds += run(one).seconds;
    return total;
}

void write_file(const fs::path &path, const std::vector<char> &bytes) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!file.flush()) fail("cannot write " + path.string());
}

void expect_size(const fs::path &path, uint64_t size) {
    std::error_code ec;
    if (fs::file_size(path, ec) != size || ec) fail(path.string() + " does not have the size of what was put");
}

}  // namespace

bool sqlite_archives_work(const fs::path &directory) {
    fs::path probe = directory / "probe.txt";
    write_file(probe, {'x', '\n'});
    ChildRun create{{"sqlite3", "probe.db", "-Ac", "probe.txt"}, directory, "/dev/null", true};
    bool works = run(create).seconds >= 0;
    fs::remove(directory / "probe.db");
    fs::remove(probe);
    return works;
}

std::vector<Pair> tool_pairs(const fs::path &directory, const std::string &zefcat, const ToolSizes &sizes,
                             bool sqlite) {
    fs::path library = directory / "library";
    fs::path extract = directory / "extract";
    fs::create_directories(library);
    fs::create_directories(extract);

    // Bytes that do not compress, as a picture's; lines as a program's.
    std::vector<char> bytes(static_cast<size_t>(sizes.binary_bytes));
    uint64_t x = 0x2545F4914F6CDD1Du;
    for (char &c : bytes) {
        x ^= x << 13, x ^= x >> 7, x ^= x << 17;
        c = static_cast<char>(x >> 24);
    }
    write_file(directory / "data.bin", bytes);
    std::vector<char> text;
    text.reserve(static_cast<size_t>(sizes.text_lines) * 81);
    for (int64_t i = 0; i < sizes.text_lines; ++i) {
        std::string line = std::to_string(i);
        line.resize(80, static_cast<char>('a' + i % 26));
        text.insert(text.end(), line.begin(), line.end());
        text.push_back('\n');
    }
    write_file(directory / "lines.txt", text);
    bytes = {};
    text = {};

    std::string dir = directory.string();
    std::vector<std::string> zef = {zefcat, "-L", "bench=" + library.string()};
    auto with = [&zef](std::vector<std::string> words) {
        std::vector<std::string> all = zef;
        all.insert(all.end(), words.begin(), words.end());
        return all;
    };

    struct File {
        std::string label, name, entry;
        uint64_t size;
        double put_goal, get_goal;
        std::string put_goal_text, get_goal_text;
        // Guard floors against cp+sync and cat: at a tenth of the sizes the
        // start of a process weighs more, and today's figures (0.1 to 0.4,
        // moving with the load) lie below a third of the goals; these floors
        // catch a tool grown several times slower.
        double put_guard, get_guard;
    };
    std::vector<File> files = {
        {"binary " + std::to_string(sizes.binary_bytes >> 20) + " MiB", "data.bin", "bench.tool.data.png",
         static_cast<uint64_t>(sizes.binary_bytes), 1 / 1.3, 1 / 1.3, ">= 0.77 (1.3x)", ">= 0.77 (1.3x)", 0.08, 0.08},
        {"text " + std::to_string(sizes.text_lines) + " lines", "lines.txt", "bench.tool.lines.source",
         static_cast<uint64_t>(sizes.text_lines) * 81, 0, 1 / 1.5, "", ">= 0.67 (1.5x)", 0.06, 0.06},
    };

    std::vector<Pair> pairs;
    for (const File &f : files) {
        ChildRun put{with({"put", f.entry, f.name}), directory};
        ChildRun get{with({"get", f.entry}), directory};
        ChildRun get_file{with({"get", f.entry, "-o", (extract / ("zef-" + f.name)).string()}), directory};
        fs::path db = directory / "archive.db";
        ChildRun archive{{"sqlite3", db.string(), "-Ac", f.name}, directory};
        ChildRun unarchive{{"sqlite3", db.string(), "-Ax", f.name}, extract};

        Pair p;
        p.layer = "tool";
        p.child = true;
        p.what = "put " + f.label;
        p.plain_name = "cp + sync";
        p.ours = [put] { return run(put); };
        p.plain = [dir, f] {
            return run_all({{{"cp", f.name, "copy-" + f.name}, dir}, {{"sync", "copy-" + f.name}, dir}});
        };
        p.goal = f.put_goal;
        p.goal_text = f.put_goal_text;
        p.guard = f.put_guard;
        pairs.push_back(p);

        p.what = "get " + f.label;
        p.plain_name = "cat";
        p.ours = [get] { return run(get); };
        p.plain = [dir, f] { return run({{"cat", f.name}, dir}); };
        p.goal = f.get_goal;
        p.goal_text = f.get_goal_text;
        p.guard = f.get_guard;
        pairs.push_back(p);
        if (!sqlite) continue;

        p.what = "put " + f.label;
        p.plain_name = "sqlite3 -Ac";
        p.ours = [put] { return run(put); };
        p.plain = [archive, db] {
            fs::remove(db);
            return run(archive);
        };
        p.goal = 1;
        p.goal_text = ">= 1";
        p.guard = 0;
        pairs.push_back(p);

        p.what = "get -o " + f.label;
        p.plain_name = "sqlite3 -Ax";
        // Both sides write a new file: over an existing one, ext4 starts
        // writing the new file's pages out at the rename (its guard for
        // files replaced without fsync), which would time the disk instead.
        p.ours = [get_file, extract, f] {
            fs::remove(extract / ("zef-" + f.name));
            Timing t = run(get_file);
            expect_size(extract / ("zef-" + f.name), f.size);
            return t;
        };
        p.plain = [unarchive, extract, f] {
            fs::remove(extract / f.name);
            Timing t = run(unarchive);
            expect_size(extract / f.name, f.size);
            return t;
        };
        pairs.push_back(p);
    }
    return pairs;
}

std::vector<Pair> database_pairs(const fs::path &directory, const std::string &zefcat, const ToolSizes &sizes,
                                 const std::string &database_uri) {
    fs::path library = directory / "library";
    std::string dir = directory.string();
    std::string label = "binary " + std::to_string(sizes.binary_bytes >> 20) + " MiB";
    auto zef = [&](const std::string &where, std::vector<std::string> words) {
        std::vector<std::string> all = {zefcat, "-L", "bench=" + where};
        all.insert(all.end(), words.begin(), words.end());
        return ChildRun{all, dir};
    };
    ChildRun db_put = zef(database_uri, {"put", "bench.db.data.png", "data.bin"});
    ChildRun dir_put = zef(library.string(), {"put", "bench.db.data.png", "data.bin"});
    // The gets read an entry put once, here, rather than the one each round
    // replaces: on the server a replaced version's rows stay until a vacuum
    // collects them, and a read that meets them measures the collection's
    // schedule, not the store.
    run(zef(database_uri, {"put", "bench.db.read.png", "data.bin"}));
    run(zef(library.string(), {"put", "bench.db.read.png", "data.bin"}));
    ChildRun db_get = zef(database_uri, {"get", "bench.db.read.png"});
    ChildRun dir_get = zef(library.string(), {"get", "bench.db.read.png"});

    Pair p;
    p.layer = "database";
    p.child = true;
    p.plain_name = "directory lib";
    // At most three times a directory library's time; the guard's floor
    // catches a store grown several times slower than today.
    p.goal = 1.0 / 3;
    p.goal_text = ">= 0.33 (3x)";
    p.guard = 0.1;
    p.what = "put " + label;
    p.ours = [db_put] { return run(db_put); };
    p.plain = [dir_put] { return run(dir_put); };
    std::vector<Pair> pairs{p};
    p.what = "get " + label;
    p.ours = [db_get] { return run(db_get); };
    p.plain = [dir_get] { return run(dir_get); };
    pairs.push_back(p);
    return pairs;
}

namespace {

// The bytes the entry takes in the catalog's store, and its blocks' bytes.
std::pair<int64_t, int64_t> stored_and_size(const fs::path &catalog, const std::string &name) {
    sqlite3 *db = nullptr;
    std::pair<int64_t, int64_t> out{0, 0};
    if (sqlite3_open_v2(catalog.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt *s = nullptr;
        if (sqlite3_prepare_v2(db, "SELECT stored_bytes, bytes FROM entries WHERE name = ?1", -1, &s, nullptr) ==
            SQLITE_OK) {
            sqlite3_bind_text(s, 1, name.c_str(), -1, SQLITE_TRANSIENT);
            if (sqlite3_step(s) == SQLITE_ROW) out = {sqlite3_column_int64(s, 0), sqlite3_column_int64(s, 1)};
        }
        sqlite3_finalize(s);
    }
    sqlite3_close(db);
    if (out.second <= 0) fail(catalog.string() + ": no entry " + name + " to measure");
    return out;
}

std::string percent(int64_t part, int64_t whole) {
    return std::to_string(static_cast<int>(100.0 * static_cast<double>(part) / static_cast<double>(whole) + 0.5)) + "%";
}

}  // namespace

std::vector<Pair> compression_pairs(const fs::path &directory, const std::string &zefcat, const ToolSizes &sizes) {
    fs::path library = directory / "library";
    std::string dir = directory.string();
    // Lines of words as prose or a program's comments have them: about a
    // third of their size once compressed, as most text is.
    static const char *const words[] = {"the", "catalog", "entry", "record", "of", "and", "a", "to", "in", "is",
                                        "that", "for", "it", "with", "as", "was", "on", "be", "at", "by", "this",
                                        "from", "or", "an", "which", "are", "not", "but", "all", "were", "when",
                                        "we", "there", "can", "been", "has", "more", "if", "no", "out", "so",
                                        "said", "what", "up", "its", "about", "into", "than", "them", "only"};
    std::vector<char> text;
    text.reserve(static_cast<size_t>(sizes.text_lines) * 81);
    uint64_t x = 0x9E3779B97F4A7C15u;
    for (int64_t i = 0; i < sizes.text_lines; ++i) {
        std::string line = std::to_string(i) + ":";
        while (line.size() < 72) {
            x ^= x << 13, x ^= x >> 7, x ^= x << 17;
            line += ' ';
            line += words[x % std::size(words)];
        }
        text.insert(text.end(), line.begin(), line.end());
        text.push_back('\n');
    }
    write_file(directory / "prose.txt", text);
    text = {};

    auto zef = [&](std::vector<std::string> words_) {
        std::vector<std::string> all = {zefcat, "-L", "bench=" + library.string()};
        all.insert(all.end(), words_.begin(), words_.end());
        return ChildRun{all, dir};
    };
    struct File {
        std::string label, name, entry, type;
    };
    std::vector<File> files = {
        {"text " + std::to_string(sizes.text_lines) + " lines", "prose.txt", "PROSE", "source"},
        {"binary " + std::to_string(sizes.binary_bytes >> 20) + " MiB", "data.bin", "NOISE", "png"},
    };
    std::vector<Pair> pairs;
    for (const File &f : files) {
        std::string packed = "bench.packed." + f.entry + "." + f.type, plain = "bench.plain." + f.entry + "." + f.type;
        ChildRun put_packed = zef({"put", "--compress", packed, f.name});
        ChildRun put_plain = zef({"put", "--no-compress", plain, f.name});
        ChildRun get_packed = zef({"get", packed});
        ChildRun get_plain = zef({"get", plain});
        // Put once here, to read what each takes in the store.
        run(put_packed);
        run(put_plain);
        int64_t stored = stored_and_size(library / "packed.zcat", f.entry).first;
        int64_t plain_stored = stored_and_size(library / "plain.zcat", f.entry).first;
        std::string kept = " (stored " + percent(stored, plain_stored) + ")";

        Pair p;
        p.layer = "compress";
        p.child = true;
        p.plain_name = "uncompressed";
        p.what = "put " + f.label + kept;
        p.ours = [put_packed] { return run(put_packed); };
        p.plain = [put_plain] { return run(put_plain); };
        pairs.push_back(p);
        p.what = "get " + f.label + kept;
        p.ours = [get_packed] { return run(get_packed); };
        p.plain = [get_plain] { return run(get_plain); };
        pairs.push_back(p);
    }
    return pairs;
}

}  // namespace bench
