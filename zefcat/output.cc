#include "output.h"

#include <fcntl.h>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <utility>
#include <vector>

#include "errors.h"
#include "libraries.h"
#include "temporary_files.h"

namespace zefcat {

namespace {

constexpr size_t kOutputBuffer = size_t{1} << 20;
// As the kernel follows them.
constexpr int kMostLinksFollowed = 40;
// A temporary name longer than this (with the target's name in it) might
// not fit in a directory entry; a short one is used instead.
constexpr size_t kLongestTemporaryName = 200;

std::string system_error(const std::string &doing, int error) {
    return doing + ": " + std::strerror(error);
}

// Files of /proc, /sys and the like look regular but are written in place.
bool on_kernel_file_system(const std::string &path) {
    struct statfs system {};
    if (::statfs(path.c_str(), &system) != 0) return false;
    switch (static_cast<unsigned long>(system.f_type)) {
    case PROC_SUPER_MAGIC:
    case SYSFS_MAGIC:
    case DEBUGFS_MAGIC:
    case CGROUP_SUPER_MAGIC:
    case CGROUP2_SUPER_MAGIC:
    case SECURITYFS_MAGIC:
        return true;
    default:
        return false;
    }
}

// `path` with its symbolic links followed to the file they lead to, which
// need not exist (a dangling link leads to the name it holds). A link of
// a kernel file system (/dev/stdout leads through /proc/self/fd) may hold
// no real path at all, or a file that is open elsewhere: *through_kernel
// tells that the way went through one.
std::string followed(const std::string &path, bool *through_kernel = nullptr) {
    std::filesystem::path current = path;
    if (through_kernel != nullptr) *through_kernel = false;
    for (int i = 0; i < kMostLinksFollowed; ++i) {
        struct stat status {};
        if (::lstat(current.c_str(), &status) != 0 || !S_ISLNK(status.st_mode)) break;
        std::filesystem::path parent = current.parent_path();
        if (through_kernel != nullptr && on_kernel_file_system(parent.empty() ? "." : parent.string()))
            *through_kernel = true;
        std::error_code error;
        std::filesystem::path link = std::filesystem::read_symlink(current, error);
        if (error) break;
        current = link.is_absolute() ? link : parent / link;
    }
    return current.string();
}

std::string directory_of(const std::string &path) {
    std::filesystem::path parent = std::filesystem::path(path).parent_path();
    return parent.empty() ? std::string(".") : parent.string();
}

// A catalog file (NAME.zcat) or a companion the store keeps beside it
// (NAME.zcat-wal, NAME.zcat-shm, NAME.zcat-journal, NAME.zcat-writers ...).
bool is_store_file_name(std::string name) {
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    constexpr std::string_view kSuffix = ".zcat";
    if (name.size() > kSuffix.size() && name.ends_with(kSuffix)) return true;
    size_t at = name.find(".zcat-");
    return at != std::string::npos && at > 0;
}

bool same_file(const struct stat &a, const struct stat &b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

}  // namespace

bool is_catalog_store_file(const std::string &path, const Libraries &libraries) {
    std::string target = followed(path);
    std::vector<struct stat> library_directories;
    for (const auto &[name, setting] : libraries.settings()) {
        struct stat status {};
        if (::stat(setting.directory.c_str(), &status) == 0 && S_ISDIR(status.st_mode))
            library_directories.push_back(status);
    }
    if (library_directories.empty()) return false;

    // A store file's name in a library's directory, whether it exists or not.
    struct stat parent {};
    if (is_store_file_name(std::filesystem::path(target).filename().string()) &&
        ::stat(directory_of(target).c_str(), &parent) == 0) {
        for (const struct stat &directory : library_directories)
            if (same_file(parent, directory)) return true;
    }

    // The same file as a store file, under another name (a hard link).
    struct stat existing {};
    if (::stat(path.c_str(), &existing) != 0 || !S_ISREG(existing.st_mode)) return false;
    for (const auto &[name, setting] : libraries.settings()) {
        std::error_code error;
        for (const auto &file : std::filesystem::directory_iterator(setting.directory, error)) {
            if (!is_store_file_name(file.path().filename().string())) continue;
            struct stat status {};
            if (::stat(file.path().c_str(), &status) == 0 && same_file(status, existing)) return true;
        }
    }
    return false;
}

Output::Output(const std::string &path, const Libraries &libraries, std::string_view context)
    : path_(path), context_(context) {
    if (path == "-") {
        kind_ = Kind::kStandardOutput;
        fd_ = STDOUT_FILENO;
        return;
    }
    if (path.empty()) usage_problem(context_ + ": the output file has an empty name (- is standard output)");
    if (is_catalog_store_file(path, libraries))
        usage_problem(context_ + ": " + path + " is a file of the catalog store: it is not written over");

    bool through_kernel = false;
    target_ = followed(path, &through_kernel);
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) {
        // Not there: made new. A loop of links or a missing directory fails now.
        if (errno != ENOENT) fail("cannot write " + path, errno);
        kind_ = Kind::kReplaced;
        return;
    }
    if (S_ISDIR(status.st_mode)) throw Problem(context_ + ": " + path + " is a directory");
    existed_ = true;
    mode_ = status.st_mode & 07777;
    owner_ = status.st_uid;
    group_ = status.st_gid;
    bool replaceable = S_ISREG(status.st_mode) && !through_kernel && !on_kernel_file_system(target_);
    kind_ = replaceable ? Kind::kReplaced : Kind::kInPlace;
}

Output Output::spool(const std::string &directory, std::string_view context) {
    Output output(context);
    output.kind_ = Kind::kSpool;
    output.path_ = directory;
    std::string pattern = (std::filesystem::path(directory) / ".zefcat-XXXXXX").string();
    int fd = make_temporary_file(pattern);
    if (fd < 0) output.fail("cannot write in " + directory, errno);
    output.fd_ = fd;
    output.temporary_ = pattern;
    output.path_ = pattern;
    return output;
}

Output::Output(Output &&other) noexcept
    : path_(std::move(other.path_)), target_(std::move(other.target_)), context_(std::move(other.context_)),
      kind_(other.kind_), existed_(other.existed_), mode_(other.mode_), owner_(other.owner_),
      group_(other.group_), temporary_(std::exchange(other.temporary_, std::string())),
      fd_(std::exchange(other.fd_, -1)), buffer_(std::move(other.buffer_)), file_time_(other.file_time_),
      file_mode_(other.file_mode_) {
    other.kind_ = Kind::kStandardOutput;
}

void Output::place_spool(const std::string &target) {
    if (rename_temporary_file(temporary_, target) != 0) fail("cannot write " + target, errno);
    temporary_.clear();
}

void Output::keep_file_attributes(std::optional<int64_t> file_time, std::optional<uint32_t> file_mode) {
    file_time_ = file_time;
    // Permission bits only: a store never gives a file set-id bits.
    file_mode_ = file_mode ? std::optional<uint32_t>(*file_mode & 0777) : std::nullopt;
}

Output::~Output() {
    if (!temporary_.empty()) {
        if (fd_ >= 0) ::close(fd_);
        remove_temporary_file(temporary_);
    } else if (kind_ == Kind::kInPlace && fd_ >= 0) {
        ::close(fd_);
    }
}

void Output::fail(const std::string &doing, int error) {
    throw Problem(context_ + ": " + system_error(doing, error));
}

void Output::open() {
    if (fd_ >= 0) return;
    if (kind_ == Kind::kInPlace) {
        do {
            // The name as given: the kernel follows its own links (/dev/stdout).
            fd_ = ::open(path_.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC | O_NOCTTY);
        } while (fd_ < 0 && errno == EINTR);
        if (fd_ < 0) fail("cannot write " + path_, errno);
        return;
    }
    std::filesystem::path target(target_);
    std::string name = target.filename().string();
    std::string pattern = name.size() + 16 > kLongestTemporaryName
                              ? (std::filesystem::path(directory_of(target_)) / ".zefcat-XXXXXX").string()
                              : target_ + ".zefcat-XXXXXX";
    int fd = make_temporary_file(pattern);
    if (fd < 0) fail("cannot write " + path_, errno);
    fd_ = fd;
    temporary_ = pattern;
    if (existed_) {
        // The owner first: changing it may clear the set-id bits the mode then puts back.
        if (::fchown(fd_, owner_, group_) != 0 && ::fchown(fd_, static_cast<uid_t>(-1), group_) != 0) {
            // Not permitted: the file is the process's, as a new one would be.
        }
        ::fchmod(fd_, mode_);
    } else {
        // As a file made by the shell's ">" would be.
        mode_t mask = umask(0);
        umask(mask);
        ::fchmod(fd_, 0666 & ~mask);
    }
}

void Output::apply_file_attributes() {
    if (file_mode_ && ::fchmod(fd_, *file_mode_) != 0) fail("cannot set the mode of " + path_, errno);
    if (!file_time_) return;
    struct timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;  // the access time stays
    times[1].tv_sec = static_cast<time_t>(*file_time_ / 1000000000);
    times[1].tv_nsec = static_cast<long>(*file_time_ % 1000000000);
    if (times[1].tv_nsec < 0) {
        times[1].tv_nsec += 1000000000;
        --times[1].tv_sec;
    }
    if (::futimens(fd_, times) != 0) fail("cannot set the modification time of " + path_, errno);
}

void Output::write(std::string_view bytes) {
    // A piece of half the buffer or more goes out as it is, after what the
    // buffer holds: copying it into the buffer first would gain nothing.
    if (bytes.size() >= kOutputBuffer / 2) {
        flush();
        write_out(bytes);
        return;
    }
    buffer_.append(bytes);
    if (buffer_.size() >= kOutputBuffer) flush();
}

void Output::flush() {
    if (buffer_.empty()) return;
    write_out(buffer_);
    buffer_.clear();
}

void Output::write_out(std::string_view bytes) {
    open();
    if (kind_ == Kind::kStandardOutput) std::cout.flush();
    const char *next = bytes.data();
    size_t left = bytes.size();
    while (left > 0) {
        ssize_t written = ::write(fd_, next, left);
        if (written < 0 && errno == EINTR) continue;
        if (written < 0) fail("writing " + (kind_ == Kind::kStandardOutput ? std::string("standard output") : path_), errno);
        next += written;
        left -= static_cast<size_t>(written);
    }
}

void Output::commit() {
    open();
    flush();
    if (kind_ == Kind::kStandardOutput) return;
    if (kind_ != Kind::kInPlace) apply_file_attributes();
    int fd = std::exchange(fd_, -1);
    if (::close(fd) != 0 && errno != EINTR) {
        int error = errno;
        if (!temporary_.empty()) remove_temporary_file(std::exchange(temporary_, std::string()));
        fail("writing " + path_, error);
    }
    if (kind_ == Kind::kInPlace || kind_ == Kind::kSpool) return;
    if (rename_temporary_file(temporary_, target_) != 0) {
        int error = errno;
        remove_temporary_file(std::exchange(temporary_, std::string()));
        fail("cannot write " + path_, error);
    }
    temporary_.clear();
}

}  // namespace zefcat
