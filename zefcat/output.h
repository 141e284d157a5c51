// Where a copy's bytes go: standard output for "-", else the file a person
// named, treated as `cp` would treat it:
//
// - a regular file, or a name that does not exist yet, is written under a
//   temporary name beside it and renamed over it only when the copy is
//   committed, so it appears whole or not at all; a symbolic link is
//   followed and its target replaced, and an existing file keeps its mode
//   and (where the process may set it) its owner;
// - anything else that exists (a device, a FIFO, a terminal, a file of
//   /proc or /sys) is opened and written in place, as the shell's ">" does;
// - a directory, and any file of the catalog store (a catalog and its
//   companion files, in any library zefcat knows), is refused.
//
// The temporary file goes when the copy fails or zefcat is interrupted
// (temporary_files.h).
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zefcat {

class Libraries;

class Output {
public:
    // Settles what `path` is without touching it; the file is opened at the
    // first write or commit. Throws a usage Problem for an empty path or a
    // file of the catalog store in `libraries`, a Problem for a directory.
    Output(const std::string &path, const Libraries &libraries, std::string_view context);
    // A spool: a temporary file in `directory`, removed when the Output
    // goes; commit() completes it and leaves it for spool_path() to read,
    // and place_spool() may then give it its name.
    static Output spool(const std::string &directory, std::string_view context);
    // Removes the temporary file when the copy was not committed.
    ~Output();
    Output(Output &&other) noexcept;
    Output(const Output &) = delete;
    Output &operator=(const Output &) = delete;

    void write(std::string_view bytes);
    // The modification time (nanoseconds since the epoch) and permission
    // bits the file gets at commit; a device or standard output keeps its
    // own. Either may be none: the file then has what it would have had.
    void keep_file_attributes(std::optional<int64_t> file_time, std::optional<uint32_t> file_mode);
    // Flushes, and puts the file in place. Throws Problem.
    void commit();
    // The spool's file, complete once committed.
    const std::string &spool_path() const { return temporary_; }
    // Renames the committed spool to `target` in its folder: a link there
    // is replaced, never followed. Throws Problem.
    void place_spool(const std::string &target);

private:
    enum class Kind { kStandardOutput, kReplaced, kInPlace, kSpool };
    Output(std::string_view context) : context_(context) {}

    void open();
    void flush();
    void write_out(std::string_view bytes);
    void apply_file_attributes();
    [[noreturn]] void fail(const std::string &doing, int error);

    std::string path_;    // as the person named it
    std::string target_;  // with symbolic links followed
    std::string context_;
    Kind kind_ = Kind::kStandardOutput;
    bool existed_ = false;
    mode_t mode_ = 0;
    uid_t owner_ = 0;
    gid_t group_ = 0;
    std::string temporary_;
    int fd_ = -1;
    std::string buffer_;
    std::optional<int64_t> file_time_;
    std::optional<uint32_t> file_mode_;
};

// Whether `path` (symbolic links followed) is, or would be, a file of the
// catalog store: a catalog file or one of its companions in the directory
// of a library of `libraries`, or the same file as one of them.
bool is_catalog_store_file(const std::string &path, const Libraries &libraries);

}  // namespace zefcat
