// The pairs measured as a person runs them: zefcat put and get as child
// processes against cp with sync and cat, and against sqlite3 -A on the same
// files; each zefcat run's peak memory comes from its rusage.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "pairs.h"

namespace bench {

struct ToolSizes {
    int64_t binary_bytes;  // the binary file
    int64_t text_lines;    // the text file, in lines of 80 bytes and a newline
};

// Writes the two files into `directory` and returns the pairs, which use
// `zefcat` and, with `sqlite`, the sqlite3 on the PATH.
std::vector<Pair> tool_pairs(const std::filesystem::path &directory, const std::string &zefcat,
                             const ToolSizes &sizes, bool sqlite);

// zefcat put and get of the binary file (written by tool_pairs) on a
// library in the PostgreSQL database `database_uri` against the same on a
// directory library: what a database library costs.
std::vector<Pair> database_pairs(const std::filesystem::path &directory, const std::string &zefcat,
                                 const ToolSizes &sizes, const std::string &database_uri);

// zefcat put --compress and get of a compressed entry against the same
// uncompressed, for prose-like text (written here) and the binary file of
// tool_pairs; each row's label says how much of the plain size the
// compressed entry takes in the store.
std::vector<Pair> compression_pairs(const std::filesystem::path &directory, const std::string &zefcat,
                                    const ToolSizes &sizes);

// Whether `sqlite3 -A` works here (a build without archive support has none).
bool sqlite_archives_work(const std::filesystem::path &directory);

}  // namespace bench
