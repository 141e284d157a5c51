#include "progress.h"

#include <unistd.h>

#include <cstdio>

namespace zefcat {

namespace {

constexpr auto kRedrawEvery = std::chrono::milliseconds(200);

std::string megabytes(int64_t bytes) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(bytes) / (1024.0 * 1024.0));
    return text;
}

}  // namespace

Progress::Progress(std::string label, int64_t total)
    : label_(std::move(label)), total_(total), terminal_(isatty(STDERR_FILENO) == 1) {}

Progress::~Progress() { finish(); }

void Progress::update(int64_t done) {
    if (!terminal_) return;
    bool large = total_ > kProgressThreshold || done > kProgressThreshold;
    if (!large) return;
    auto now = std::chrono::steady_clock::now();
    if (shown_ && now - last_draw_ < kRedrawEvery) return;
    last_draw_ = now;
    draw(done);
}

void Progress::draw(int64_t done) {
    std::string line = label_ + ": " + megabytes(done);
    if (total_ > 0) {
        line += " of " + megabytes(total_);
        char percent[16];
        std::snprintf(percent, sizeof percent, " (%d%%)", static_cast<int>(done * 100 / total_));
        line += percent;
    }
    std::fprintf(stderr, "\r\033[K%s", line.c_str());
    std::fflush(stderr);
    shown_ = true;
}

void Progress::finish() {
    if (!shown_) return;
    std::fprintf(stderr, "\r\033[K");
    std::fflush(stderr);
    shown_ = false;
}

}  // namespace zefcat
