// Starts the children of the tool runs from a small process forked before
// the benchmark fills its memory. A child's peak resident set counts the
// memory of the process it was forked from until its exec, so children
// forked from the full benchmark would all show the benchmark's size.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace bench {

struct ChildRun {
    std::vector<std::string> argv;
    std::string directory;             // the child's working directory
    std::string output = "/dev/null";  // its standard output
    bool quiet = false;                // standard error to /dev/null
};

struct ChildResult {
    int status = -1;  // as wait4 gives it
    double seconds = 0;
    int64_t peak_kib = 0;
};

// Forks the launcher; call it first thing in main.
void start_launcher();

// Runs a child to its end through the launcher.
ChildResult launch(const ChildRun &run);

}  // namespace bench
