// The data path measured end to end, each layer against its plain
// alternative in the same run: the module against the store called
// directly, the store against a flat file, and zefcat against cp, cat and
// sqlite3 -A. Prints one table of ratios with the absolute figures.
//
//     bench_data_path            the full sizes, 5 rounds; always exits 0
//     bench_data_path --guard    a tenth of the sizes, 5 rounds; exits 1
//                                when a ratio falls far below its goal (a third
//                                of it, or a floor well under today's figure
//                                where that is lower: a guard against regressions)
//
// ZEF_BENCH_SCALE multiplies the sizes (1 = 1,000,000 lines, 100 MiB),
// ZEF_BENCH_RUNS sets the rounds, ZEF_BENCH_ZEFCAT the zefcat to run,
// ZEF_BENCH_ONLY a comma-separated list of the layers to run (all when unset),
// and TMPDIR where the files go.
#include <stdlib.h>

#include <cstdio>
#include <vector>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

#include "in_process_pairs.h"
#include "support/postgres_cluster.h"
#include "launcher.h"
#include "pairs.h"
#include "tool_pairs.h"

namespace {

double number_from(const char *name, double fallback) {
    const char *text = std::getenv(name);
    if (text == nullptr || *text == '\0') return fallback;
    char *end = nullptr;
    double value = std::strtod(text, &end);
    if (*end != '\0' || !(value > 0)) {
        std::fprintf(stderr, "bench_data_path: %s=%s is not a positive number\n", name, text);
        std::exit(2);
    }
    return value;
}

// A fresh directory, removed with its files at the end.
struct Scratch {
    std::filesystem::path path;
    Scratch() {
        const char *base = std::getenv("TMPDIR");
        std::string pattern = std::string(base && *base ? base : "/tmp") + "/zefbench-XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr) {
            std::perror("bench_data_path: mkdtemp");
            std::exit(2);
        }
        path = pattern;
    }
    ~Scratch() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
};

int run(bool guard) {
    double scale = number_from("ZEF_BENCH_SCALE", guard ? 0.1 : 1);
    int runs = static_cast<int>(number_from("ZEF_BENCH_RUNS", 5));
    const char *zefcat = std::getenv("ZEF_BENCH_ZEFCAT");
    std::string zefcat_path = zefcat && *zefcat ? zefcat : ZEF_ZEFCAT_PATH;

    auto scaled = [scale](double full) { return std::max<int64_t>(1, static_cast<int64_t>(full * scale)); };
    bench::Sizes sizes{scaled(1'000'000), scaled(100) << 20};
    bench::ToolSizes tool{scaled(100) << 20, scaled(1'000'000)};

    Scratch scratch;
    std::filesystem::create_directories(scratch.path / "layers");
    std::filesystem::create_directories(scratch.path / "tool");
    bench::InProcessPairs in_process(scratch.path / "layers", sizes);
    std::vector<bench::Pair> pairs = in_process.pairs();
    bool sqlite = bench::sqlite_archives_work(scratch.path / "tool");
    if (!sqlite) std::fprintf(stderr, "bench_data_path: sqlite3 -A does not work here; its rows are left out\n");
    for (bench::Pair &pair : bench::tool_pairs(scratch.path / "tool", zefcat_path, tool, sqlite))
        pairs.push_back(std::move(pair));
    for (bench::Pair &pair : bench::compression_pairs(scratch.path / "tool", zefcat_path, tool))
        pairs.push_back(std::move(pair));
    // A throwaway PostgreSQL server of the benchmark's own, for a database
    // library beside the directory library, set as a site keeping entries
    // of 100 MB would set it: a buffer cache larger than the entries read
    // at once, and room in the write-ahead log for several puts between
    // checkpoints (the defaults, 128MB and 1GB, suit a small machine; the
    // server's log asks for more at the first puts). ZEF_BENCH_PG_DEFAULTS=1
    // runs it with the defaults.
    zeftest::PostgresCluster::Settings settings{"1GB", {"max_wal_size=4GB"}};
    if (const char *defaults = std::getenv("ZEF_BENCH_PG_DEFAULTS"); defaults != nullptr && *defaults == '1')
        settings = {"128MB", {}};
    std::unique_ptr<zeftest::PostgresCluster> server;
    try {
        server = std::make_unique<zeftest::PostgresCluster>(settings);
    } catch (const std::exception &failure) {
        std::fprintf(stderr, "bench_data_path: no PostgreSQL server, so no database rows: %s\n", failure.what());
    }
    if (server)
        for (bench::Pair &pair : bench::database_pairs(scratch.path / "tool", zefcat_path, tool, server->uri()))
            pairs.push_back(std::move(pair));

    // Only the layers asked for, when one is being worked on.
    if (const char *only = std::getenv("ZEF_BENCH_ONLY"); only != nullptr && *only != '\0') {
        std::string wanted = std::string(",") + only + ",";
        std::erase_if(pairs, [&](const bench::Pair &pair) { return wanted.find("," + pair.layer + ",") == std::string::npos; });
    }
    bench::run_interleaved(pairs, runs);
    std::printf("scale %g, %d rounds, medians%s\n", scale, runs,
                guard ? "; guard: a row fails below its floor" : "");
    int64_t memory_limit = (guard ? 3 : 1) * int64_t{64} * 1024;
    bool passed = bench::print_table(pairs, guard, memory_limit);
    if (guard && !passed) {
        std::printf("bench_data_path: a ratio fell far below its goal\n");
        return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char **argv) {
    bool guard = argc == 2 && std::strcmp(argv[1], "--guard") == 0;
    if (argc > 2 || (argc == 2 && !guard)) {
        std::fprintf(stderr, "usage: bench_data_path [--guard]\n");
        return 2;
    }
    // Before the benchmark's data exists, so that the children stay small.
    try {
        bench::start_launcher();
        return run(guard);
    } catch (const std::exception &failure) {
        std::fprintf(stderr, "bench_data_path: %s\n", failure.what());
        return 2;
    }
}
