// Moving bytes between files and open streams: the files a person names
// (or standard input and output), and the two forms an entry is moved in.
//
// Lines: each line of the input is one record; the line ends at "\n", and a
// "\r" just before it is dropped, so a file with CRLF line ends stores the
// same records as one with LF. A last line without "\n" is a record too.
// Reading writes every record followed by "\n".
//
// Bytes: the input goes out in runs of the stream's record length (stream
// form), and reading gives back the same bytes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "output.h"

namespace zefcat {

class Stream;
class Transcoder;
class Progress;

// Where a copy's bytes come from: a file, or standard input for "-".
class Input {
public:
    // Throws Problem when the file cannot be opened. With `links_followed`
    // false, a symbolic link is refused rather than read through.
    Input(const std::string &path, std::string_view context, bool links_followed = true);
    ~Input();
    Input(const Input &) = delete;
    Input &operator=(const Input &) = delete;

    // The size of a regular file; -1 for anything else.
    int64_t size() const { return size_; }
    bool is_terminal() const;
    // Bytes handed out so far.
    int64_t consumed() const { return consumed_; }
    // A regular file's modification time (nanoseconds since the epoch) and
    // permission bits; none for anything else.
    std::optional<int64_t> file_time() const { return file_time_; }
    std::optional<uint32_t> file_mode() const { return file_mode_; }

    // Up to `most` bytes; empty at the end. Throws Problem on a read error.
    std::string_view read_chunk(size_t most);
    // The next line without its line end; false at the end. At most
    // `keep` bytes of it are kept (memory stays bounded however long the
    // line is); *dropped receives the count of the rest.
    bool read_line(std::string_view *line, size_t keep, int64_t *dropped);

private:
    bool fill();

    std::string name_;
    std::string context_;
    int fd_;
    bool owned_;
    int64_t size_ = -1;
    std::optional<int64_t> file_time_;
    std::optional<uint32_t> file_mode_;
    int64_t consumed_ = 0;
    std::vector<char> buffer_;
    size_t begin_ = 0;
    size_t end_ = 0;
    bool at_end_ = false;
    std::string line_;
};

struct LineOptions {
    bool carriage = false;              // each line's first character is its carriage control
    Transcoder *transcoder = nullptr;   // between UTF-8 and the stream's encoding
};

struct WriteReport {
    int64_t records = 0;
    int64_t bytes = 0;  // from the input
    int64_t cut = 0;    // lines cut to the record length
};

// Writes every line of `input` as a record. Each line cut to the record
// length is noted on standard error (the first few by number, then a
// count); a UTF-8 line is cut at a character boundary, so a cut line may
// keep a few bytes less than the record length. Memory stays bounded
// whatever the length of a line. Throws Problem on a failure; the stream
// is left to the caller.
WriteReport write_lines(Stream &stream, Input &input, const LineOptions &options,
                        Progress &progress, std::string_view context);
// Writes `input` in runs of the record length.
WriteReport write_bytes(Stream &stream, Input &input, Transcoder *transcoder, Progress &progress,
                        std::string_view context);

struct ReadReport {
    int64_t records = 0;
    int64_t cut = 0;  // records longer than the stream's record length
};

// Writes every record to `output` (at most `limit` of them, unless it is
// negative), each followed by "\n". A record longer than the stream's
// record length comes out cut to it, and each cut is noted on standard
// error as write_lines notes them.
ReadReport read_lines(Stream &stream, Output &output, const LineOptions &options, Progress &progress,
                      std::string_view context, int64_t limit = -1);
// Writes the entry's bytes to `output` (at most `limit` of them, unless it
// is negative); the number of bytes.
int64_t read_bytes(Stream &stream, Output &output, Transcoder *transcoder, Progress &progress,
                   std::string_view context, int64_t limit = -1);

// The length of the longest prefix of `text` of at most `most` bytes that
// does not end inside a UTF-8 character. Bytes that do not look like UTF-8
// around the cut are cut at `most`.
size_t utf8_cut(std::string_view text, size_t most);

// Prints "zefcat: CONTEXT: TEXT" on standard error: a note, not a failure.
void print_note(std::string_view context, std::string_view text);

}  // namespace zefcat
