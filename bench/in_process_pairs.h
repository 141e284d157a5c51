// The pairs measured inside this process: the module's records against the
// same blocks through the catalog store directly, and the store against a
// flat file.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <vector>

#include "pairs.h"

namespace bench {

struct Sizes {
    int64_t lines;         // 80-byte lines of the module and store pairs
    int64_t stream_bytes;  // bytes of the S-format pair, in 1 MiB runs
};

class InProcessPairs {
public:
    // Loads the module and assigns a library in `directory`.
    InProcessPairs(const std::filesystem::path &directory, const Sizes &sizes);
    ~InProcessPairs();
    InProcessPairs(const InProcessPairs &) = delete;
    InProcessPairs &operator=(const InProcessPairs &) = delete;

    // The pairs; they refer to this object, which must outlive them.
    std::vector<Pair> pairs();

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace bench
