// A progress line on standard error for long copies: shown only when
// standard error is a terminal and the copy is larger than 16 MB (known
// from the start, or passed on the way), redrawn at most a few times a
// second, and wiped when the copy ends.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace zefcat {

inline constexpr int64_t kProgressThreshold = int64_t{16} * 1024 * 1024;

class Progress {
public:
    // `total` is the size when known, else -1.
    Progress(std::string label, int64_t total);
    ~Progress();
    Progress(const Progress &) = delete;
    Progress &operator=(const Progress &) = delete;

    // `done` bytes have been copied so far.
    void update(int64_t done);
    // Wipes the line (also done when the object goes).
    void finish();

private:
    void draw(int64_t done);

    std::string label_;
    int64_t total_;
    bool terminal_;
    bool shown_ = false;
    std::chrono::steady_clock::time_point last_draw_{};
};

}  // namespace zefcat
