#include "writer_lock.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

#include "catalog_error.h"
#include "names.h"

namespace zefhost::catalog {

namespace {

constexpr int64_t kPresenceByte = 0;
// Far above any content id, with room for 2^40 entry bytes.
constexpr int64_t kEntryLockBase = int64_t{1} << 50;
constexpr int64_t kEntryLockSpan = int64_t{1} << 40;

struct flock byte_of(int64_t offset, short type) {
    struct flock lock {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    lock.l_start = offset;
    lock.l_len = 1;
    return lock;
}

[[noreturn]] void io_failure(const std::string &what, int error) {
    fail(zef::kCatalogIoFailure, what + ": " + std::strerror(error));
}

// Takes a lock, waiting (F_OFD_SETLKW) or not; the errno of a failure.
int set_lock(int fd, int64_t offset, short type, bool wait) {
    struct flock lock = byte_of(offset, type);
    while (::fcntl(fd, wait ? F_OFD_SETLKW : F_OFD_SETLK, &lock) != 0) {
        if (errno != EINTR) return errno;
    }
    return 0;
}

// "60 s", "0.2 s".
std::string seconds_text(std::chrono::milliseconds wait) {
    char text[32];
    if (wait.count() % 1000 == 0)
        std::snprintf(text, sizeof text, "%lld s", static_cast<long long>(wait.count() / 1000));
    else
        std::snprintf(text, sizeof text, "%.1f s", static_cast<double>(wait.count()) / 1000);
    return text;
}

bool same_file(int fd, const std::filesystem::path &path) {
    struct stat held {}, named {};
    return ::fstat(fd, &held) == 0 && ::stat(path.c_str(), &named) == 0 && held.st_dev == named.st_dev &&
           held.st_ino == named.st_ino;
}

}  // namespace

std::filesystem::path writers_file(const std::filesystem::path &catalog_file) {
    std::filesystem::path path = catalog_file;
    path += "-writers";
    return path;
}

// ----------------------------------------------------------------- file --

LockFile::LockFile(const std::filesystem::path &catalog_file) : path_(writers_file(catalog_file)) {
    // The file may be removed by its last user between our open and our
    // presence lock: then the name leads elsewhere (or nowhere), and we
    // start again.
    for (;;) {
        fd_ = ::open(path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        if (fd_ < 0) io_failure(path_.string(), errno);
        if (int error = set_lock(fd_, kPresenceByte, F_RDLCK, true); error != 0) {
            ::close(fd_);
            io_failure(path_.string() + ": presence lock", error);
        }
        if (same_file(fd_, path_)) break;
        ::close(fd_);
    }
    struct stat st {};
    ::fstat(fd_, &st);
    device_ = st.st_dev;
    inode_ = st.st_ino;
}

LockFile::~LockFile() {
    if (fd_ >= 0) ::close(fd_);
}

int LockFile::open_description() const {
    int fd = ::open(path_.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) io_failure(path_.string(), errno);
    struct stat st {};
    // Our presence keeps the file in place; anything else is someone
    // tampering with it.
    if (::fstat(fd, &st) != 0 || st.st_dev != device_ || st.st_ino != inode_) {
        ::close(fd);
        fail(zef::kCatalogIoFailure, path_.string() + ": replaced while in use");
    }
    return fd;
}

void LockFile::remove_if_unused(const std::filesystem::path &catalog_file) {
    std::filesystem::path path = writers_file(catalog_file);
    int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) return;
    // Holding the presence byte exclusively, no one else uses the file, and
    // whoever opens it meanwhile waits for the byte, then finds it gone.
    if (set_lock(fd, kPresenceByte, F_WRLCK, false) == 0 && same_file(fd, path)) ::unlink(path.c_str());
    ::close(fd);
}

bool LockFile::with_sole_use(const std::filesystem::path &catalog_file, const std::function<void()> &remove) {
    std::filesystem::path path = writers_file(catalog_file);
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    bool sole = set_lock(fd, kPresenceByte, F_WRLCK, false) == 0 && same_file(fd, path);
    if (sole) {
        try {
            remove();
        } catch (...) {
        }
        ::unlink(path.c_str());
    }
    ::close(fd);
    return sole;
}

// ----------------------------------------------------------------- byte --

ByteLock::ByteLock(const LockFile &file, int64_t offset, const std::string &what)
    : fd_(file.open_description()) {
    if (int error = set_lock(fd_, offset, F_WRLCK, false); error != 0) {
        ::close(fd_);
        if (error == EAGAIN || error == EACCES) fail(zef::kCatalogEntryInUse, what);
        io_failure(file.path().string() + ": lock", error);
    }
}

void wait_for_turn(const WaitPolicy &wait, const std::string &what, const std::function<bool()> &try_take) {
    using namespace std::chrono;
    const auto deadline = steady_clock::now() + wait.limit;
    auto pause = milliseconds(2);
    bool told = false;
    for (;;) {
        if (try_take()) return;
        auto now = steady_clock::now();
        if (now >= deadline) {
            std::string waited = wait.limit.count() > 0 ? " (waited " + seconds_text(wait.limit) + ")" : "";
            fail(zef::kCatalogEntryInUse, what + waited);
        }
        if (!told && wait.on_wait) {
            told = true;
            wait.on_wait(what);
        }
        std::this_thread::sleep_for(std::min<steady_clock::duration>(pause, deadline - now));
        pause = std::min(pause * 2, milliseconds(50));
    }
}

ByteLock::ByteLock(const LockFile &file, int64_t offset, const std::string &what, const WaitPolicy &wait)
    : fd_(file.open_description()) {
    try {
        wait_for_turn(wait, what, [&] {
            int error = set_lock(fd_, offset, F_WRLCK, false);
            if (error != 0 && error != EAGAIN && error != EACCES) io_failure(file.path().string() + ": lock", error);
            return error == 0;
        });
    } catch (...) {
        ::close(fd_);
        throw;
    }
}

ByteLock::~ByteLock() {
    if (fd_ >= 0) ::close(fd_);
}

// ------------------------------------------------------------ which byte --

int64_t writer_byte(int64_t content) { return content; }

int64_t entry_byte(const EntryKey &key) {
    // FNV-1a over "NAME.TYPE": two entries that share a byte only wait for
    // each other needlessly.
    uint64_t hash = 14695981039346656037ull;
    auto mix = [&hash](std::string_view text) {
        for (unsigned char c : text) {
            hash ^= c;
            hash *= 1099511628211ull;
        }
    };
    mix(key.name);
    mix(".");
    mix(key.type);
    return kEntryLockBase + static_cast<int64_t>(hash % static_cast<uint64_t>(kEntryLockSpan));
}

bool byte_held(const LockFile &file, int64_t offset) {
    int fd = file.open_description();
    struct flock lock = byte_of(offset, F_WRLCK);
    int rc = ::fcntl(fd, F_OFD_GETLK, &lock);
    int error = errno;
    ::close(fd);
    if (rc != 0) io_failure(file.path().string() + ": lock probe", error);
    return lock.l_type != F_UNLCK;
}

}  // namespace zefhost::catalog
