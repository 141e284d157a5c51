#include "archive_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <memory>
#include <utility>

#include "errors.h"
#include "libarchive_loader.h"
#include "temporary_files.h"

namespace zefcat {

namespace {

constexpr size_t kCopyBuffer = size_t{1} << 20;
// Longer names get a short temporary name in the same folder.
constexpr size_t kLongestTemporaryName = 200;

std::string lower(std::string_view text) {
    std::string lowered(text);
    for (char &c : lowered)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return lowered;
}

// The library; called only once a writer or reader has loaded it.
const LibArchive &la() { return *libarchive(nullptr); }

// Throws, naming what was being done, when libarchive cannot be loaded.
void require_libarchive(std::string_view context) {
    std::string why;
    if (libarchive(&why) == nullptr) throw Problem(std::string(context) + ": " + why);
}

// libarchive's words, and the system's for the error under them ("Write
// error: No space left on device").
std::string archive_words(struct archive *archive) {
    const char *text = la().archive_error_string(archive);
    std::string words = text != nullptr ? text : "libarchive gave no reason";
    int error = la().archive_errno(archive);
    // (libarchive says a damaged or misused archive with EILSEQ and EINVAL.)
    if (error > 0 && error != EILSEQ && error != EINVAL && words.find(std::strerror(error)) == std::string::npos)
        words += std::string(": ") + std::strerror(error);
    return words;
}

using ArchiveEntry = std::unique_ptr<struct archive_entry, decltype(&archive_entry_free)>;

}  // namespace

std::optional<ArchiveFormat> archive_format_for(std::string_view path) {
    std::string name = lower(std::filesystem::path(path).filename().string());
    auto ends = [&name](std::string_view suffix) { return name.size() > suffix.size() && name.ends_with(suffix); };
    if (ends(".tar.gz") || ends(".tgz")) return ArchiveFormat::kTarGzip;
    if (ends(".tar")) return ArchiveFormat::kTar;
    if (ends(".zip")) return ArchiveFormat::kZip;
    return std::nullopt;
}

// ------------------------------------------------------------- writing --

ArchiveWriter::ArchiveWriter(const std::string &path, ArchiveFormat format, std::string_view context)
    : path_(path), context_(context) {
    require_libarchive(context_);
    std::filesystem::path target(path);
    std::string folder = target.parent_path().empty() ? "." : target.parent_path().string();
    std::string pattern = target.filename().string().size() + 16 > kLongestTemporaryName
                              ? (std::filesystem::path(folder) / ".zefcat-XXXXXX").string()
                              : path + ".zefcat-XXXXXX";
    fd_ = make_temporary_file(pattern);
    if (fd_ < 0) throw Problem(context_ + ": cannot write " + shown(path) + ": " + std::strerror(errno));
    temporary_ = pattern;
    // As a file made by the shell's ">" would be.
    mode_t mask = umask(0);
    umask(mask);
    ::fchmod(fd_, 0666 & ~mask);

    try {
        archive_ = la().archive_write_new();
        if (archive_ == nullptr) fail("starting the archive");
        int status = format == ArchiveFormat::kZip ? la().archive_write_set_format_zip(archive_)
                                                   : la().archive_write_set_format_pax(archive_);
        if (status == ARCHIVE_OK && format == ArchiveFormat::kTarGzip)
            status = la().archive_write_add_filter_gzip(archive_);
        // The last block is not padded beyond the archive's end.
        if (status == ARCHIVE_OK && format != ArchiveFormat::kZip)
            status = la().archive_write_set_bytes_in_last_block(archive_, 1);
        if (status != ARCHIVE_OK || la().archive_write_open_fd(archive_, fd_) != ARCHIVE_OK)
            fail("starting the archive");
    } catch (...) {
        release();
        throw;
    }
}

void ArchiveWriter::release() noexcept {
    if (archive_ != nullptr) la().archive_write_free(std::exchange(archive_, nullptr));
    if (fd_ >= 0) ::close(std::exchange(fd_, -1));
    if (!temporary_.empty()) remove_temporary_file(std::exchange(temporary_, std::string()));
}

ArchiveWriter::~ArchiveWriter() { release(); }

void ArchiveWriter::fail(const std::string &doing) {
    std::string why = archive_ != nullptr ? archive_words(archive_) : std::strerror(errno);
    throw Problem(context_ + ": " + shown(path_) + ": " + doing + ": " + why + " (nothing written)");
}

void ArchiveWriter::add_header(const std::string &name, int64_t size, int64_t time, uint32_t mode) {
    ArchiveEntry entry(la().archive_entry_new(), la().archive_entry_free);
    if (!entry) fail("adding " + name);
    la().archive_entry_set_pathname(entry.get(), name.c_str());
    la().archive_entry_set_filetype(entry.get(), AE_IFREG);
    la().archive_entry_set_perm(entry.get(), mode & 0777);
    la().archive_entry_set_size(entry.get(), size);
    int64_t seconds = time / 1000000000, nanoseconds = time % 1000000000;
    if (nanoseconds < 0) {
        nanoseconds += 1000000000;
        --seconds;
    }
    la().archive_entry_set_mtime(entry.get(), static_cast<time_t>(seconds), static_cast<long>(nanoseconds));
    if (la().archive_write_header(archive_, entry.get()) != ARCHIVE_OK) fail("adding " + name);
}

void ArchiveWriter::add_data(const char *data, size_t length) {
    while (length > 0) {
        la_ssize_t written = la().archive_write_data(archive_, data, length);
        if (written <= 0) fail("writing");
        data += written;
        length -= static_cast<size_t>(written);
    }
}

void ArchiveWriter::add_file(const std::string &name, const std::string &source, int64_t size, int64_t time,
                             uint32_t mode) {
    int in = ::open(source.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (in < 0) throw Problem(context_ + ": cannot read " + shown(source) + ": " + std::strerror(errno));
    std::unique_ptr<int, void (*)(int *)> closing(&in, [](int *fd) { ::close(*fd); });
    add_header(name, size, time, mode);
    std::string buffer(kCopyBuffer, '\0');
    int64_t left = size;
    while (left > 0) {
        ssize_t got = ::read(in, buffer.data(), static_cast<size_t>(std::min<int64_t>(left, kCopyBuffer)));
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) throw Problem(context_ + ": reading " + shown(source) + ": " + std::strerror(errno));
        if (got == 0) throw Problem(context_ + ": " + shown(source) + " ended before its " + std::to_string(size) + " bytes");
        add_data(buffer.data(), static_cast<size_t>(got));
        left -= got;
    }
    if (la().archive_write_finish_entry(archive_) != ARCHIVE_OK) fail("adding " + name);
}

void ArchiveWriter::add_bytes(const std::string &name, std::string_view bytes, int64_t time, uint32_t mode) {
    add_header(name, static_cast<int64_t>(bytes.size()), time, mode);
    add_data(bytes.data(), bytes.size());
    if (la().archive_write_finish_entry(archive_) != ARCHIVE_OK) fail("adding " + name);
}

void ArchiveWriter::commit() {
    if (la().archive_write_close(archive_) != ARCHIVE_OK) fail("completing the archive");
    la().archive_write_free(std::exchange(archive_, nullptr));
    // On the disk before it takes the name.
    if (::fsync(fd_) != 0 || ::close(std::exchange(fd_, -1)) != 0) fail("completing the archive");
    if (rename_temporary_file(temporary_, path_) != 0) fail("putting the archive in place");
    temporary_.clear();
}

// ------------------------------------------------------------- reading --

ArchiveReader::ArchiveReader(const std::string &path, std::string_view context) : path_(path), context_(context) {
    require_libarchive(context_);
    archive_ = la().archive_read_new();
    if (archive_ == nullptr) fail("opening");
    // Only the kinds an export writes, and the usual compressions of a tar:
    // nothing that would start an outside program to decompress.
    la().archive_read_support_format_tar(archive_);
    la().archive_read_support_format_zip(archive_);
    la().archive_read_support_filter_gzip(archive_);
    la().archive_read_support_filter_bzip2(archive_);
    la().archive_read_support_filter_xz(archive_);
    if (la().archive_read_open_filename(archive_, path.c_str(), kCopyBuffer) != ARCHIVE_OK) fail("opening");
}

ArchiveReader::~ArchiveReader() {
    if (archive_ != nullptr) la().archive_read_free(archive_);
}

void ArchiveReader::fail(const std::string &doing) {
    std::string why = archive_ != nullptr ? archive_words(archive_) : "out of memory";
    throw Problem(context_ + ": " + shown(path_) + ": " + doing + ": " + why);
}

bool ArchiveReader::next(ArchiveMember *member) {
    struct archive_entry *entry = nullptr;
    int status = la().archive_read_next_header(archive_, &entry);
    if (status == ARCHIVE_EOF) return false;
    if (status != ARCHIVE_OK && status != ARCHIVE_WARN) fail("reading");
    const char *name = la().archive_entry_pathname(entry);
    member->name = name != nullptr ? name : "";
    member->size = la().archive_entry_size_is_set(entry) ? std::optional<int64_t>(la().archive_entry_size(entry))
                                                         : std::nullopt;
    if (la().archive_entry_hardlink(entry) != nullptr) {
        member->kind = MemberKind::kHardLink;
        return true;
    }
    switch (la().archive_entry_filetype(entry)) {
    case AE_IFREG: member->kind = MemberKind::kFile; break;
    case AE_IFDIR: member->kind = MemberKind::kDirectory; break;
    case AE_IFLNK: member->kind = MemberKind::kSymbolicLink; break;
    default: member->kind = MemberKind::kOther; break;
    }
    return true;
}

std::string_view ArchiveReader::read(size_t most) {
    buffer_.resize(std::min(most, kCopyBuffer));
    la_ssize_t got = la().archive_read_data(archive_, buffer_.data(), buffer_.size());
    if (got < 0) fail("reading");
    return std::string_view(buffer_.data(), static_cast<size_t>(got));
}

}  // namespace zefcat
