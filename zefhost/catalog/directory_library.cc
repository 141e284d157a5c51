#include "directory_library.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <map>

#include "catalog_error.h"
#include "library_settings.h"
#include "schema.h"
#include "sqlite_store.h"
#include "sqlite_vacuum.h"

namespace zefhost::catalog {

namespace {

bool may_write(const std::filesystem::path &path) {
    return ::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) == 0;
}

int64_t modified_microseconds(const struct stat &st) {
    return static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000 + st.st_mtim.tv_nsec / 1000;
}

// The files SQLite and the writers' locks keep beside a catalog.
void remove_companions(const std::filesystem::path &file) {
    std::error_code ignored;
    // A catalog made again at the same place meanwhile keeps its own.
    if (std::filesystem::exists(file, ignored)) return;
    for (const char *suffix : {"-wal", "-shm", "-journal", "-reserve"})
        std::filesystem::remove(file.string() + suffix, ignored);
    std::filesystem::remove(writers_file(file), ignored);
}

}  // namespace

std::filesystem::path DirectoryLibrary::file(const std::string &catalog) const {
    return directory_ / catalog_file_name(catalog);
}

std::shared_ptr<Store> DirectoryLibrary::open(const std::string &catalog, bool writing, int busy_timeout_ms,
                                              bool &created) {
    created = false;
    // A directory the user cannot write takes no catalog, and no -wal or
    // writers file beside one either.
    if (writing && (read_only_ || !may_write(directory_)))
        fail(zef::kCatalogBadRequest, "library " + name_ + " is read-only");
    std::filesystem::path path = file(catalog);
    if (writing && ::access(path.c_str(), F_OK) == 0 && !may_write(path))
        fail(zef::kCatalogBadRequest, "catalog " + name_ + "." + catalog + " is read-only");

    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        if (errno != ENOENT) fail(zef::kCatalogDamaged, path.string() + ": " + std::strerror(errno));
        if (!writing) fail(zef::kCatalogMissing, "catalog " + name_ + "." + catalog + " does not exist");
        create_catalog(path);
        created = true;
    } else if (!S_ISREG(st.st_mode)) {
        fail(zef::kCatalogDamaged, path.string() + ": not a file");
    }
    try {
        return std::make_shared<SqliteStore>(path, writing, busy_timeout_ms);
    } catch (const CatalogError &e) {
        // Removed as empty by another process between our look and our
        // open: make it again.
        if (e.status() != zef::kCatalogMissing || !writing) throw;
        create_catalog(path);
        created = true;
        return std::make_shared<SqliteStore>(path, writing, busy_timeout_ms);
    }
}

bool DirectoryLibrary::exists(const std::string &catalog) {
    std::error_code error;
    return std::filesystem::exists(file(catalog), error);
}

std::string DirectoryLibrary::catalog_identity(const std::string &catalog) {
    std::filesystem::path path = file(catalog);
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) fail(zef::kCatalogBadRequest, path.string() + ": no such catalog");
    return SqliteStore::identity_of(FileId{st.st_dev, st.st_ino});
}

void DirectoryLibrary::remove_if_empty(const std::string &catalog) noexcept {
    try {
        SqliteStore::remove_if_empty(file(catalog));
    } catch (...) {
    }
}

std::vector<CatalogSummary> DirectoryLibrary::catalogs() {
    std::map<std::string, std::filesystem::path> files;
    std::error_code error;
    for (const auto &f : std::filesystem::directory_iterator(directory_, error))
        if (f.path().extension() == ".zcat") files.emplace(upper(f.path().stem().string()), f.path());
    std::vector<CatalogSummary> out;
    for (const auto &[name, path] : files) {
        CatalogSummary summary{name, std::nullopt, 0, 0};
        struct stat st {};
        if (::stat(path.c_str(), &st) == 0) {
            summary.size = static_cast<int64_t>(st.st_size);
            summary.modified = modified_microseconds(st);
        }
        try {
            SqliteStore store(path, false, 10000);
            summary.entries = static_cast<int64_t>(store.main().entries().size());
        } catch (const CatalogError &) {
            // A damaged or foreign file: listed without a count.
        }
        out.push_back(std::move(summary));
    }
    return out;
}

LibraryStore::Removal DirectoryLibrary::remove_catalog(const std::string &catalog, bool with_entries, bool dry_run,
                                                       int busy_timeout_ms) {
    std::filesystem::path path = file(catalog);
    if (!exists(catalog)) fail(zef::kCatalogMissing, "catalog " + name_ + "." + catalog + " does not exist");
    if (read_only_) fail(zef::kCatalogBadRequest, "library " + name_ + " is read-only");
    Removal removal;
    {
        SqliteStore store(path, true, busy_timeout_ms);
        // The write lock keeps every writer out while the file goes:
        // nothing can be committed into the catalog being removed.
        Transaction hold(store.main(), StoreSession::Kind::write);
        if (store.reclaim_dead_writers(store.main(), nullptr))
            fail(zef::kCatalogEntryInUse, "an entry of " + name_ + "." + catalog + " is being written");
        removal.entries = store.main().entries().size();
        if ((removal.entries > 0 && !with_entries) || dry_run) return removal;
        if (::unlink(path.c_str()) != 0)
            fail(zef::kCatalogIoFailure, "cannot remove " + path.string() + ": " + std::strerror(errno));
    }
    remove_companions(path);
    removal.removed = true;
    return removal;
}

namespace {

constexpr size_t kLongestSettingsFile = 64 * 1024;

[[noreturn]] void settings_failed(const std::filesystem::path &path, const char *doing, int error) {
    // A full disk or a failing one is an I/O failure, not damage.
    fail(error == ENOSPC || error == EIO || error == EDQUOT ? zef::kCatalogIoFailure : zef::kCatalogBadRequest,
         path.string() + ": cannot " + doing + ": " + std::strerror(error));
}

}  // namespace

LibrarySettings DirectoryLibrary::settings() {
    std::filesystem::path path = settings_file();
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) {
        if (errno == ENOENT) return LibrarySettings{};
        fail(zef::kCatalogDamaged, path.string() + ": " + std::strerror(errno));
    }
    std::string text(kLongestSettingsFile + 1, '\0');
    size_t got = 0;
    while (got < text.size()) {
        ssize_t n = ::read(fd, text.data() + got, text.size() - got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            // A name that opens but does not read (a directory, a failing
            // disk) is no settings file, not an empty one.
            int error = errno;
            ::close(fd);
            fail(zef::kCatalogDamaged, path.string() + ": " + std::strerror(error));
        }
        if (n == 0) break;
        got += static_cast<size_t>(n);
    }
    ::close(fd);
    if (got > kLongestSettingsFile) fail(zef::kCatalogDamaged, path.string() + ": longer than a settings file can be");
    text.resize(got);
    return parse_settings_file(text, path.string());
}

void DirectoryLibrary::save_settings(const LibrarySettings &settings) {
    if (read_only_ || !may_write(directory_)) fail(zef::kCatalogBadRequest, "library " + name_ + " is read-only");
    std::filesystem::path path = settings_file();
    std::filesystem::path staging = path;
    staging += ".new-" + std::to_string(getpid());
    std::string text = settings_file_text(settings);
    // Written beside and renamed into place: a reader sees the old file or
    // the new one, never half of one.
    int fd = ::open(staging.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd < 0) settings_failed(staging, "write", errno);
    size_t put = 0;
    int error = 0;
    while (put < text.size() && error == 0) {
        ssize_t n = ::write(fd, text.data() + put, text.size() - put);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) error = n < 0 ? errno : EIO;
        else put += static_cast<size_t>(n);
    }
    if (error == 0 && ::fsync(fd) != 0) error = errno;
    ::close(fd);
    if (error == 0 && ::rename(staging.c_str(), path.c_str()) != 0) error = errno;
    if (error != 0) {
        ::unlink(staging.c_str());
        settings_failed(path, "write", error);
    }
    int dir = ::open(directory_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
}

LibraryStore::Compaction DirectoryLibrary::vacuum(const std::string &catalog, int busy_timeout_ms) {
    if (catalog.empty())
        fail(zef::kCatalogBadRequest, "library " + name_ + " keeps a file per catalog: name the catalog to compact");
    std::filesystem::path path = file(catalog);
    if (!exists(catalog)) fail(zef::kCatalogMissing, "catalog " + name_ + "." + catalog + " does not exist");
    if (read_only_ || !may_write(directory_)) fail(zef::kCatalogBadRequest, "library " + name_ + " is read-only");
    if (!may_write(path)) fail(zef::kCatalogBadRequest, "catalog " + name_ + "." + catalog + " is read-only");
    return vacuum_catalog_file(path, name_ + "." + catalog, busy_timeout_ms);
}

}  // namespace zefhost::catalog
