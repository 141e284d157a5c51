#include "writer_lock.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "catalog_error.h"

namespace zefhost::catalog {

namespace {

int open_writers_file(const std::filesystem::path &catalog_file) {
    std::filesystem::path path = writers_file(catalog_file);
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0)
        fail(zef::kCatalogIoFailure, path.string() + ": " + std::strerror(errno));
    return fd;
}

struct flock byte_of(int64_t content, short type) {
    struct flock lock {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    lock.l_start = content;
    lock.l_len = 1;
    return lock;
}

}  // namespace

std::filesystem::path writers_file(const std::filesystem::path &catalog_file) {
    std::filesystem::path path = catalog_file;
    path += "-writers";
    return path;
}

WriterLock::WriterLock(const std::filesystem::path &catalog_file, int64_t content)
    : fd_(open_writers_file(catalog_file)) {
    struct flock lock = byte_of(content, F_WRLCK);
    if (::fcntl(fd_, F_OFD_SETLK, &lock) != 0) {
        int error = errno;
        ::close(fd_);
        if (error == EAGAIN || error == EACCES)
            fail(zef::kCatalogEntryInUse, "writer " + std::to_string(content) + " is alive");
        fail(zef::kCatalogIoFailure, std::string("writer lock: ") + std::strerror(error));
    }
}

WriterLock::~WriterLock() {
    if (fd_ >= 0) ::close(fd_);
}

bool writer_alive(const std::filesystem::path &catalog_file, int64_t content) {
    int fd = open_writers_file(catalog_file);
    struct flock lock = byte_of(content, F_WRLCK);
    int rc = ::fcntl(fd, F_OFD_GETLK, &lock);
    int error = errno;
    ::close(fd);
    if (rc != 0) fail(zef::kCatalogIoFailure, std::string("writer lock probe: ") + std::strerror(error));
    return lock.l_type != F_UNLCK;
}

}  // namespace zefhost::catalog
