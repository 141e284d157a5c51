// The host's numeric variables, offered to the module through the variable
// lookup routine of the attribute anchor (NBYTE=name binds a stream to one).
// A variable's value keeps its address while the variable exists, so a
// binding handed out stays valid until the variable is removed.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "zefxbaml/abi.h"

namespace zefhost {

class Variables {
public:
    // Names are matched without regard to case; blanks around them are dropped.
    void set(std::string_view name, double value);
    void remove(std::string_view name);
    // Null when there is no such variable.
    double *find(std::string_view name);

    // The next lookup binds nothing and answers `result` instead: what a
    // host's lookup may answer that the stand-in's does not (2: a name it
    // cannot bind now).
    void answer_next_lookup(int32_t result) { next_answer_ = result; }

    int64_t lookups() const { return lookups_; }
    void count_lookup() { ++lookups_; }

    // The routine the attribute anchor offers, reached without the vectors.
    static int32_t lookup(const char *name, int32_t length, int32_t one, int32_t param,
                          int32_t one_again, double **binding);
    static constexpr zef::VariableLookup kLookup = &Variables::lookup;
    // lookup's answer when no variable of the name can be bound; 0 when bound.
    static constexpr int32_t kNoSuchVariable = 1;

private:
    static std::string key(std::string_view name);
    std::map<std::string, std::unique_ptr<double>> values_;
    int64_t lookups_ = 0;
    std::optional<int32_t> next_answer_;
};

}  // namespace zefhost
