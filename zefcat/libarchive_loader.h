// libarchive, loaded when an export or import first needs an archive
// rather than when zefcat starts. Its dependencies (ICU, libxml2, the
// compressors and theirs) took about 0.9 ms of every zefcat start-up, 40%
// of `zefcat --version`, and a machine without libarchive still puts and gets.
#pragma once

#include <archive.h>
#include <archive_entry.h>

#include <string>

namespace zefcat {

// The libarchive functions zefcat calls, listed once: the table below has
// a member of each, and the loader looks up every one, so none is left null.
#define ZEF_LIBARCHIVE_FUNCTIONS(X)           \
    X(archive_entry_filetype)                 \
    X(archive_entry_free)                     \
    X(archive_entry_hardlink)                 \
    X(archive_entry_new)                      \
    X(archive_entry_pathname)                 \
    X(archive_entry_set_filetype)             \
    X(archive_entry_set_mtime)                \
    X(archive_entry_set_pathname)             \
    X(archive_entry_set_perm)                 \
    X(archive_entry_set_size)                 \
    X(archive_entry_size)                     \
    X(archive_entry_size_is_set)              \
    X(archive_errno)                          \
    X(archive_error_string)                   \
    X(archive_read_data)                      \
    X(archive_read_free)                      \
    X(archive_read_new)                       \
    X(archive_read_next_header)               \
    X(archive_read_open_filename)             \
    X(archive_read_support_filter_bzip2)      \
    X(archive_read_support_filter_gzip)       \
    X(archive_read_support_filter_xz)         \
    X(archive_read_support_format_tar)        \
    X(archive_read_support_format_zip)        \
    X(archive_write_add_filter_gzip)          \
    X(archive_write_close)                    \
    X(archive_write_data)                     \
    X(archive_write_finish_entry)             \
    X(archive_write_free)                     \
    X(archive_write_header)                   \
    X(archive_write_new)                      \
    X(archive_write_open_fd)                  \
    X(archive_write_set_bytes_in_last_block)  \
    X(archive_write_set_format_pax)           \
    X(archive_write_set_format_zip)

// The functions, by their own names.
struct LibArchive {
#define ZEF_LIBARCHIVE_MEMBER(name) decltype(&::name) name;
    ZEF_LIBARCHIVE_FUNCTIONS(ZEF_LIBARCHIVE_MEMBER)
#undef ZEF_LIBARCHIVE_MEMBER
};

// libarchive, loaded on the first call; null when it cannot be loaded,
// with the loader's reason in `why`.
const LibArchive *libarchive(std::string *why);

}  // namespace zefcat
