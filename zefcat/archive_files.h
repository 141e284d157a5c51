// Archives of an export, through libarchive: written as a tar (pax, which
// keeps times to the nanosecond), a gzip-compressed tar or a zip, chosen
// by the file's name; read as any tar or zip (compressed with gzip, bzip2
// or xz), recognised from what the file holds.
//
// An archive is written to a temporary file beside its name and renamed
// to it only when complete: a failure or an interruption leaves no part
// of it (temporary_files.h).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

struct archive;

namespace zefcat {

enum class ArchiveFormat { kTar, kTarGzip, kZip };

// The format a name asks for: .tar, .tar.gz or .tgz, .zip (any case); none
// for any other name (a folder).
std::optional<ArchiveFormat> archive_format_for(std::string_view path);

class ArchiveWriter {
public:
    // Starts the archive under a temporary name beside `path`. Throws Problem.
    ArchiveWriter(const std::string &path, ArchiveFormat format, std::string_view context);
    // Removes the temporary file unless committed.
    ~ArchiveWriter();
    ArchiveWriter(const ArchiveWriter &) = delete;
    ArchiveWriter &operator=(const ArchiveWriter &) = delete;

    // Adds a regular file `name` holding the file at `source` (`size` bytes
    // long), with a modification time in nanoseconds and permission bits.
    // Throws Problem.
    void add_file(const std::string &name, const std::string &source, int64_t size, int64_t time,
                  uint32_t mode);
    // The same with the bytes given.
    void add_bytes(const std::string &name, std::string_view bytes, int64_t time, uint32_t mode);
    // Completes the archive and renames it to its name. Throws Problem.
    void commit();

private:
    void add_header(const std::string &name, int64_t size, int64_t time, uint32_t mode);
    void add_data(const char *data, size_t length);
    [[noreturn]] void fail(const std::string &doing);
    // Frees the archive and removes the temporary file.
    void release() noexcept;

    std::string path_;
    std::string context_;
    std::string temporary_;
    int fd_ = -1;
    struct archive *archive_ = nullptr;
};

// What an archive member is.
enum class MemberKind { kFile, kDirectory, kSymbolicLink, kHardLink, kOther };

struct ArchiveMember {
    std::string name;  // as the archive holds it
    MemberKind kind = MemberKind::kOther;
    std::optional<int64_t> size;  // when the header says
};

class ArchiveReader {
public:
    // Opens the archive at `path`. Throws Problem when it cannot be read or
    // is not an archive of a kind zefcat reads.
    ArchiveReader(const std::string &path, std::string_view context);
    ~ArchiveReader();
    ArchiveReader(const ArchiveReader &) = delete;
    ArchiveReader &operator=(const ArchiveReader &) = delete;

    // The next member's header; false at the end. Throws Problem when the
    // archive is damaged.
    bool next(ArchiveMember *member);
    // Up to `most` bytes of the current member's data (a member's data is
    // read in turn); empty at its end. Throws Problem when it is damaged.
    std::string_view read(size_t most);

private:
    [[noreturn]] void fail(const std::string &doing);

    std::string path_;
    std::string context_;
    struct archive *archive_ = nullptr;
    std::string buffer_;
};

}  // namespace zefcat
