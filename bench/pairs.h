// A pair of measurements, ours and the plain alternative, run in turns so
// that a change in the machine's load falls on both sides alike; the table
// compares their medians.
#pragma once

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace bench {

// A step of the benchmark failed; its figures would mean nothing.
struct Failure : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// One timed run: wall seconds, and the peak resident set of the child
// process in KiB when the run was one (0 otherwise).
struct Timing {
    double seconds = 0;
    int64_t peak_kib = 0;
};

struct Pair {
    std::string layer;
    std::string what;
    std::string plain_name;
    // Times one run of each side; setup done inside is not counted.
    std::function<Timing()> ours;
    std::function<Timing()> plain;
    // The goal, as plain time / our time at least this (0: none).
    double goal = 0;
    std::string goal_text;
    // The guard's floor when not a third of the goal: lower, where today's
    // figure at the guard's sizes already lies below that, so that the
    // guard catches regressions rather than the goals not yet met.
    double guard = 0;
    // Our side is a zefcat process, whose peak memory the table shows.
    bool child = false;

    std::vector<Timing> our_runs;
    std::vector<Timing> plain_runs;
};

double median_seconds(const std::vector<Timing> &runs);
int64_t most_kib(const std::vector<Timing> &runs);
inline double ratio(const Pair &pair) {
    double ours = median_seconds(pair.our_runs);
    return ours > 0 ? median_seconds(pair.plain_runs) / ours : 0;
}

// Runs every pair `runs` times, round by round, our side first in even
// rounds and second in odd ones.
void run_interleaved(std::vector<Pair> &pairs, int runs);

// Prints the table; a row passes when its ratio reaches its goal, or with
// `guard` its guard floor, and the memory row when the highest peak stays
// within `memory_limit_kib`. Returns whether every row passed.
bool print_table(const std::vector<Pair> &pairs, bool guard, int64_t memory_limit_kib);

}  // namespace bench
