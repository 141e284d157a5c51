// The catalog store on the path of every record, measured against the
// plainest alternative: 1,000,000 blocks of 80 bytes written through ylmwrit
// (including the commit at ylmclos) and read back through ylmread, both
// called through the host's transfer vector as the module calls them; and
// the same lines written with fwrite (plus fflush and fsync, so that both
// sides end on the disk) and read back with fgets. Prints the two ratios.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "zefhost/catalog/services.h"
#include "zefhost/host.h"

namespace {

constexpr int64_t kBlocks = 1'000'000;
constexpr size_t kWidth = 80;
constexpr size_t kLine = kWidth + 1;  // with its newline in the flat file

template <typename Proto, typename... Args>
int32_t call(zef::RoutineAddress at, Args... args) {
    zef::GlobalControlBlock *gcb = zefhost::Host::current().gcb();
    gcb->mark_bytes[at.vector] = 0;
    return reinterpret_cast<Proto>(gcb->transfer_table[at.vector][at.slot])(args...);
}

void fail(const char *what, int32_t status) {
    std::fprintf(stderr, "bench_store: %s failed with 0x%08X\n", what, static_cast<uint32_t>(status));
    std::exit(1);
}

// The host, a library in a fresh directory and the lines, made once.
struct Workspace {
    Workspace() {
        const char *base = std::getenv("TMPDIR");
        std::string pattern = std::string(base && *base ? base : "/tmp") + "/zefbench-XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr) fail("mkdtemp", 0);
        dir = pattern;
        host.catalogs().assign_library("bench", dir);
        lines.resize(kBlocks * kLine);
        for (int64_t i = 0; i < kBlocks; ++i) {
            char *line = &lines[static_cast<size_t>(i) * kLine];
            std::memset(line, 'a' + static_cast<int>(i % 26), kWidth);
            std::snprintf(line, 16, "%09lld ", static_cast<long long>(i));
            line[std::strlen(line)] = ' ';
            line[kWidth] = '\n';
        }
    }
    ~Workspace() {
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }

    void *open_catalog(int32_t mode) {
        zef::LibraryRequest request{};
        std::memcpy(request.libref, "BENCH   ", 8);
        request.catalog_name_length = 5;
        std::memcpy(request.catalog_name, "STORE", 5);
        request.library_mode = mode;
        void *catalog = nullptr;
        int32_t status = call<zef::proto::ylopen>(zef::routine::ylopen, static_cast<void *>(&request), &catalog);
        if (status != 0) fail("ylopen", status);
        return catalog;
    }
    void *open_entry(void *catalog, int32_t mode) {
        zef::MemberRequest request{};
        request.catalog_handle = catalog;
        request.entry_name_length = 5;
        std::memcpy(request.entry_name, "LINES", 5);
        std::memcpy(request.entry_type, "SOURCE  ", 8);
        request.member_mode = mode;
        void *entry = nullptr;
        int32_t status = call<zef::proto::ylmopen>(zef::routine::ylmopen, static_cast<void *>(&request), &entry);
        if (status != 0) fail("ylmopen", status);
        return entry;
    }

    std::filesystem::path dir;
    zefhost::Host host;
    std::vector<char> lines;
};

Workspace *workspace = nullptr;

void BM_FlatWrite(benchmark::State &state) {
    std::string path = (workspace->dir / "lines.txt").string();
    for (auto _ : state) {
        FILE *file = std::fopen(path.c_str(), "w");
        for (int64_t i = 0; i < kBlocks; ++i)
            std::fwrite(&workspace->lines[static_cast<size_t>(i) * kLine], 1, kLine, file);
        std::fflush(file);
        ::fsync(::fileno(file));
        std::fclose(file);
    }
    state.SetItemsProcessed(state.iterations() * kBlocks);
}

void BM_FlatRead(benchmark::State &state) {
    std::string path = (workspace->dir / "lines.txt").string();
    char buffer[256];
    for (auto _ : state) {
        FILE *file = std::fopen(path.c_str(), "r");
        int64_t lines = 0;
        while (std::fgets(buffer, sizeof buffer, file)) ++lines;
        std::fclose(file);
        if (lines != kBlocks) fail("fgets count", static_cast<int32_t>(lines));
        benchmark::DoNotOptimize(buffer);
    }
    state.SetItemsProcessed(state.iterations() * kBlocks);
}

void BM_StoreWrite(benchmark::State &state) {
    for (auto _ : state) {
        state.PauseTiming();
        void *catalog = workspace->open_catalog(zef::kLibraryWrite);
        state.ResumeTiming();
        void *entry = workspace->open_entry(catalog, zef::kMemberOutput);
        zef::TransferRequest transfer{};
        for (int64_t i = 0; i < kBlocks; ++i) {
            transfer.buffer = &workspace->lines[static_cast<size_t>(i) * kLine];
            transfer.length = kWidth;
            transfer.record_code = 145;
            int32_t status = call<zef::proto::ylmwrit>(zef::routine::ylmwrit, entry, static_cast<void *>(&transfer));
            if (status != 0) fail("ylmwrit", status);
        }
        int32_t status = call<zef::proto::ylmclos>(zef::routine::ylmclos, entry, 0);
        if (status != 0) fail("ylmclos", status);
        state.PauseTiming();
        call<zef::proto::ylclose>(zef::routine::ylclose, catalog, 0);
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * kBlocks);
}

void BM_StoreRead(benchmark::State &state) {
    char buffer[256];
    for (auto _ : state) {
        state.PauseTiming();
        void *catalog = workspace->open_catalog(zef::kLibraryInput);
        state.ResumeTiming();
        void *entry = workspace->open_entry(catalog, zef::kMemberInput);
        zef::TransferRequest transfer{};
        int64_t blocks = 0;
        for (;;) {
            transfer.buffer = buffer;
            int32_t status = call<zef::proto::ylmread>(zef::routine::ylmread, entry, static_cast<void *>(&transfer));
            if (status != 0) {
                if (status != zef::kCatalogEndOfMember) fail("ylmread", status);
                break;
            }
            ++blocks;
        }
        benchmark::DoNotOptimize(buffer);
        call<zef::proto::ylmclos>(zef::routine::ylmclos, entry, 0);
        if (blocks != kBlocks) fail("ylmread count", static_cast<int32_t>(blocks));
        state.PauseTiming();
        call<zef::proto::ylclose>(zef::routine::ylclose, catalog, 0);
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * kBlocks);
}

BENCHMARK(BM_FlatWrite)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FlatRead)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_StoreWrite)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_StoreRead)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();

// Shows the usual table and keeps each benchmark's time per iteration.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run> &runs) override {
        for (const Run &run : runs)
            if (run.run_type == Run::RT_Iteration) milliseconds[run.run_name.function_name] = run.GetAdjustedRealTime();
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> milliseconds;
};

}  // namespace

int main(int argc, char **argv) {
    benchmark::Initialize(&argc, argv);
    Workspace space;
    workspace = &space;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    auto &ms = reporter.milliseconds;
    if (ms.count("BM_FlatRead") && ms.count("BM_StoreRead"))
        std::printf("read:  ylmread %.0f ms, fgets %.0f ms: %.2f of the fgets rate (goal 0.50 or more)\n",
                    ms["BM_StoreRead"], ms["BM_FlatRead"], ms["BM_FlatRead"] / ms["BM_StoreRead"]);
    if (ms.count("BM_FlatWrite") && ms.count("BM_StoreWrite"))
        std::printf("write: ylmwrit+ylmclos %.0f ms, fwrite+fsync %.0f ms: %.2f of the fwrite rate (goal 0.25 or more)\n",
                    ms["BM_StoreWrite"], ms["BM_FlatWrite"], ms["BM_FlatWrite"] / ms["BM_StoreWrite"]);
    benchmark::Shutdown();
    workspace = nullptr;
    return 0;
}
