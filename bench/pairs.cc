#include "pairs.h"

#include <algorithm>
#include <cstdio>

namespace bench {

double median_seconds(const std::vector<Timing> &runs) {
    if (runs.empty()) return 0;
    std::vector<double> seconds;
    for (const Timing &run : runs) seconds.push_back(run.seconds);
    std::sort(seconds.begin(), seconds.end());
    size_t middle = seconds.size() / 2;
    return seconds.size() % 2 ? seconds[middle] : (seconds[middle - 1] + seconds[middle]) / 2;
}

int64_t most_kib(const std::vector<Timing> &runs) {
    int64_t most = 0;
    for (const Timing &run : runs) most = std::max(most, run.peak_kib);
    return most;
}

void run_interleaved(std::vector<Pair> &pairs, int runs) {
    for (int round = 0; round < runs; ++round) {
        std::fprintf(stderr, "round %d of %d\n", round + 1, runs);
        for (Pair &pair : pairs) {
            if (round % 2 == 0) {
                pair.our_runs.push_back(pair.ours());
                pair.plain_runs.push_back(pair.plain());
            } else {
                pair.plain_runs.push_back(pair.plain());
                pair.our_runs.push_back(pair.ours());
            }
        }
    }
}

bool print_table(const std::vector<Pair> &pairs, bool guard, int64_t memory_limit_kib) {
    bool all_passed = true;
    std::printf("%-8s %-33s %10s  %-18s %10s %7s  %-14s %-4s %9s\n", "layer", "what", "ours s", "plain",
                "plain s", "ratio", guard ? "guard" : "goal", "pass", "peak MiB");
    int64_t peak = 0;
    for (const Pair &pair : pairs) {
        double r = ratio(pair);
        const char *verdict = "-";
        double floor = guard ? (pair.guard > 0 ? pair.guard : pair.goal / 3) : pair.goal;
        std::string goal = pair.goal_text;
        if (guard) goal = floor > 0 ? ">= " + std::to_string(floor).substr(0, 4) : "";
        if (floor > 0) {
            bool passed = r >= floor;
            all_passed = all_passed && passed;
            verdict = passed ? "yes" : "NO";
        }
        char memory[32] = "";
        if (pair.child) {
            int64_t kib = most_kib(pair.our_runs);
            peak = std::max(peak, kib);
            std::snprintf(memory, sizeof memory, "%.1f", static_cast<double>(kib) / 1024);
        }
        std::printf("%-8s %-33s %10.3f  %-18s %10.3f %7.2f  %-14s %-4s %9s\n", pair.layer.c_str(),
                    pair.what.c_str(), median_seconds(pair.our_runs), pair.plain_name.c_str(),
                    median_seconds(pair.plain_runs), r, goal.c_str(), verdict, memory);
    }
    if (peak > 0) {
        bool passed = peak <= memory_limit_kib;
        all_passed = all_passed && passed;
        std::printf("%-8s %-33s %10s  %-18s %10s %7s  %-14s %-4s %9.1f\n", "memory",
                    "highest peak RSS of a zefcat run", "", "", "", "",
                    ("<= " + std::to_string(memory_limit_kib / 1024) + " MiB").c_str(), passed ? "yes" : "NO",
                    static_cast<double>(peak) / 1024);
    }
    std::printf("ratio = plain time / our time (medians): 1.00 is as fast as the plain way, higher is faster.\n");
    return all_passed;
}

}  // namespace bench
