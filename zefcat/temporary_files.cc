#include "temporary_files.h"

#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>

namespace zefcat {

namespace {

constexpr std::array<int, 4> kEndingSignals = {SIGINT, SIGTERM, SIGHUP, SIGPIPE};
// More than zefcat ever has at once (one output per command).
constexpr size_t kSlots = 4;

// What the handler reads: fixed storage, written only with the signals
// blocked, so the handler never sees a half-written path.
struct Slot {
    volatile sig_atomic_t used = 0;
    char path[PATH_MAX] = {};
};
Slot slots[kSlots];

struct Handlers {
    int registered = 0;  // registered files; the handlers are in place while > 0
    std::array<struct sigaction, kEndingSignals.size()> previous{};
    std::array<bool, kEndingSignals.size()> installed{};
};
Handlers handlers;

extern "C" void remove_and_end(int signal_number) {
    for (Slot &slot : slots)
        if (slot.used != 0) ::unlink(slot.path);
    // SA_RESETHAND has put the default action back; the signal, raised
    // again, is delivered when this handler returns.
    ::raise(signal_number);
}

// Blocks the ending signals while it lives.
class BlockedSignals {
public:
    BlockedSignals() {
        sigset_t set;
        sigemptyset(&set);
        for (int number : kEndingSignals) sigaddset(&set, number);
        sigprocmask(SIG_BLOCK, &set, &previous_);
    }
    ~BlockedSignals() { sigprocmask(SIG_SETMASK, &previous_, nullptr); }
    BlockedSignals(const BlockedSignals &) = delete;
    BlockedSignals &operator=(const BlockedSignals &) = delete;

private:
    sigset_t previous_;
};

void install_handlers() {
    for (size_t i = 0; i < kEndingSignals.size(); ++i) {
        struct sigaction action {};
        action.sa_handler = remove_and_end;
        action.sa_flags = SA_RESETHAND;
        sigfillset(&action.sa_mask);
        handlers.installed[i] = false;
        if (sigaction(kEndingSignals[i], nullptr, &handlers.previous[i]) != 0) continue;
        if (handlers.previous[i].sa_handler == SIG_IGN) continue;
        handlers.installed[i] = sigaction(kEndingSignals[i], &action, nullptr) == 0;
    }
}

void restore_handlers() {
    for (size_t i = 0; i < kEndingSignals.size(); ++i)
        if (handlers.installed[i]) sigaction(kEndingSignals[i], &handlers.previous[i], nullptr);
    handlers.installed.fill(false);
}

Slot *slot_of(const std::string &path) {
    for (Slot &slot : slots)
        if (slot.used != 0 && path == slot.path) return &slot;
    return nullptr;
}

void forget(Slot *slot) {
    if (slot == nullptr) return;
    slot->used = 0;
    if (--handlers.registered == 0) restore_handlers();
}

}  // namespace

int make_temporary_file(std::string &pattern) {
    if (pattern.size() >= PATH_MAX) {
        errno = ENAMETOOLONG;
        return -1;
    }
    BlockedSignals blocked;
    Slot *free_slot = nullptr;
    for (Slot &slot : slots)
        if (slot.used == 0) {
            free_slot = &slot;
            break;
        }
    if (free_slot == nullptr) {
        errno = EMFILE;
        return -1;
    }
    int fd = mkostemp(pattern.data(), O_CLOEXEC);
    if (fd < 0) return -1;
    std::memcpy(free_slot->path, pattern.c_str(), pattern.size() + 1);
    free_slot->used = 1;
    if (handlers.registered++ == 0) install_handlers();
    return fd;
}

int rename_temporary_file(const std::string &path, const std::string &target) {
    BlockedSignals blocked;
    if (::rename(path.c_str(), target.c_str()) != 0) return -1;
    forget(slot_of(path));
    return 0;
}

void remove_temporary_file(const std::string &path) {
    BlockedSignals blocked;
    ::unlink(path.c_str());
    forget(slot_of(path));
}

}  // namespace zefcat
