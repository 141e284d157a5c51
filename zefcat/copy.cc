#include "copy.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <algorithm>
#include <iostream>

#include "errors.h"
#include "progress.h"
#include "session.h"
#include "transcode.h"
#include "zefhost/encodings.h"
#include "zefxbaml/status.h"
#include "zefxbaml/stream_block.h"

namespace zefcat {

namespace {

constexpr size_t kInputBuffer = size_t{1} << 20;
// Lines cut to the record length that are named one by one; the rest are counted.
constexpr int64_t kCutLinesNamed = 3;

std::string system_error(const std::string &doing, int error) {
    return doing + ": " + std::strerror(error);
}

// The Problem of a transcoding failure, said with where it happened.
[[noreturn]] void transcoding_failed(const Problem &problem, std::string_view context, const std::string &where) {
    throw Problem(std::string(context) + (where.empty() ? "" : ": " + where) + ": " + problem.what());
}

// Whether the record the last read delivered was longer than the stream's
// record length: the read routines hand out no more than that much of it,
// and the block keeps the length of what the entry held (with the
// carriage-control character of P format in front).
bool record_was_cut(const Stream &stream) {
    const zef::StreamBlock *block = stream.block();
    if (block == nullptr) return false;
    int64_t text = zef::stream_buffer_count(block);
    if ((zef::stream_record_format(block) & zef::kRecordPrint) != 0 && text > 0) text -= 1;
    return text > std::max<int64_t>(zef::stream_lrecl(block), 0);
}

size_t utf8_width(unsigned char lead) {
    return lead >= 0xF0 && lead < 0xF8 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
}

bool utf8_continuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// The length of `text` without a UTF-8 character that its end splits.
size_t whole_characters(std::string_view text) {
    size_t after_lead = text.size();
    while (after_lead > 0 && text.size() - after_lead < 3 && utf8_continuation(text[after_lead - 1])) --after_lead;
    if (after_lead == 0) return text.size();
    size_t lead = after_lead - 1;
    size_t width = utf8_width(static_cast<unsigned char>(text[lead]));
    return width > text.size() - lead ? lead : text.size();
}

}  // namespace

void print_note(std::string_view context, std::string_view text) {
    std::cout.flush();
    std::cerr << "zefcat: " << context << ": " << text << '\n';
}

// --------------------------------------------------------------- input --

Input::Input(const std::string &path, std::string_view context, bool links_followed) : context_(context) {
    if (path.empty() || path == "-") {
        name_ = "standard input";
        fd_ = STDIN_FILENO;
        owned_ = false;
    } else {
        name_ = path;
        fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | (links_followed ? 0 : O_NOFOLLOW));
        if (fd_ < 0 && errno == ELOOP && !links_followed)
            throw Problem(context_ + ": " + shown(path) + " is a symbolic link, not a file to read");
        if (fd_ < 0) throw Problem(context_ + ": " + system_error(shown(path), errno));
        owned_ = true;
    }
    struct stat status {};
    if (fstat(fd_, &status) == 0 && S_ISREG(status.st_mode)) {
        size_ = status.st_size;
        file_time_ = int64_t{status.st_mtim.tv_sec} * 1000000000 + status.st_mtim.tv_nsec;
        file_mode_ = static_cast<uint32_t>(status.st_mode & 0777);
    }
    if (fstat(fd_, &status) == 0 && S_ISDIR(status.st_mode)) {
        if (owned_) ::close(fd_);
        throw Problem(context_ + ": " + shown(path) + " is a directory, not a file to read");
    }
    buffer_.resize(kInputBuffer);
}

Input::~Input() {
    if (owned_) ::close(fd_);
}

bool Input::is_terminal() const { return isatty(fd_) == 1; }

bool Input::fill() {
    if (at_end_) return false;
    begin_ = 0;
    end_ = 0;
    for (;;) {
        ssize_t got = ::read(fd_, buffer_.data(), buffer_.size());
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) throw Problem(context_ + ": " + system_error("reading " + name_, errno));
        if (got == 0) {
            at_end_ = true;
            return false;
        }
        end_ = static_cast<size_t>(got);
        return true;
    }
}

std::string_view Input::read_chunk(size_t most) {
    if (begin_ == end_ && !fill()) return {};
    size_t take = std::min(most, end_ - begin_);
    std::string_view chunk(buffer_.data() + begin_, take);
    begin_ += take;
    consumed_ += static_cast<int64_t>(take);
    return chunk;
}

bool Input::read_line(std::string_view *line, size_t keep, int64_t *dropped) {
    line_.clear();
    *dropped = 0;
    bool any = false;
    char last = 0;  // the line's last byte, kept or not
    for (;;) {
        if (begin_ == end_ && !fill()) {
            if (!any) return false;
            *line = line_;
            break;
        }
        any = true;
        const char *start = buffer_.data() + begin_;
        size_t available = end_ - begin_;
        const void *newline = std::memchr(start, '\n', available);
        size_t length = newline ? static_cast<size_t>(static_cast<const char *>(newline) - start) : available;
        size_t used = length + (newline ? 1 : 0);
        consumed_ += static_cast<int64_t>(used);
        begin_ += used;
        if (length > 0) last = start[length - 1];
        if (newline && line_.empty() && *dropped == 0 && length <= keep) {
            *line = std::string_view(start, length);  // in place, the usual case
            break;
        }
        size_t take = std::min(length, keep - std::min(keep, line_.size()));
        line_.append(start, take);
        *dropped += static_cast<int64_t>(length - take);
        if (newline) {
            *line = line_;
            break;
        }
    }
    if (last == '\r') {
        if (*dropped > 0)
            --*dropped;
        else if (!line->empty())
            line->remove_suffix(1);
    }
    return true;
}

size_t utf8_cut(std::string_view text, size_t most) {
    if (text.size() <= most) return text.size();
    if (!utf8_continuation(text[most])) return most;  // the cut is between characters
    size_t lead = most;
    while (lead > 0 && most - lead < 3 && utf8_continuation(text[lead])) --lead;
    size_t width = utf8_width(static_cast<unsigned char>(text[lead]));
    if (width == 0 || utf8_continuation(text[lead]) || lead + width <= most) return most;  // not UTF-8 here
    return lead;
}

// ------------------------------------------------------------- writing --

WriteReport write_lines(Stream &stream, Input &input, const LineOptions &options,
                        Progress &progress, std::string_view context) {
    WriteReport report;
    int64_t lrecl = stream.lrecl();
    size_t record_length = lrecl > 0 ? static_cast<size_t>(lrecl) : 0;
    // Enough of a line for a whole record: its carriage character, and up to
    // four bytes of UTF-8 for each byte of a record in another encoding.
    size_t keep = (record_length + 1) * 4 + 1;
    bool utf8 = options.transcoder == nullptr || stream.encoding() == zefhost::kEncodingUtf8;
    std::string_view line;
    int64_t dropped = 0;
    while (input.read_line(&line, keep, &dropped)) {
        ++report.records;
        char carriage = ' ';
        if (options.carriage && !line.empty()) {
            carriage = line.front();
            line.remove_prefix(1);
        }
        bool cut = dropped > 0;
        // What was kept of a longer line ends with a whole character, so
        // that it transcodes.
        if (cut) line = line.substr(0, whole_characters(line));
        if (utf8 && line.size() > record_length) {
            line = line.substr(0, utf8_cut(line, record_length));
            cut = true;
        }
        if (options.transcoder != nullptr) {
            try {
                line = options.transcoder->whole(line);
            } catch (const Problem &problem) {
                transcoding_failed(problem, context, "line " + std::to_string(report.records));
            }
        }
        int32_t status = stream.write(line.data(), static_cast<int64_t>(line.size()), carriage);
        if (status == zef::kRecordTruncated) {
            cut = true;
        } else if (status != 0) {
            stream.fail(status, std::string(context) + ": line " + std::to_string(report.records));
        }
        if (cut && ++report.cut <= kCutLinesNamed) {
            size_t kept = std::min(line.size(), record_length);
            print_note(context, "line " + std::to_string(report.records) + " cut to " + std::to_string(kept) +
                                    (kept == record_length ? " bytes (the record length)"
                                                           : " bytes, a whole character (the record length is " +
                                                                 std::to_string(lrecl) + ")"));
        }
        report.bytes = input.consumed();
        progress.update(report.bytes);
    }
    if (report.cut > kCutLinesNamed)
        print_note(context, std::to_string(report.cut) + " lines in all were cut to " +
                                std::to_string(stream.lrecl()) + " bytes");
    return report;
}

WriteReport write_bytes(Stream &stream, Input &input, Transcoder *transcoder, Progress &progress,
                        std::string_view context) {
    WriteReport report;
    if (stream.lrecl() <= 0) throw Problem(std::string(context) + ": the stream has no record length");
    auto run = static_cast<size_t>(stream.lrecl());
    auto send = [&](std::string_view bytes) {
        while (!bytes.empty()) {
            std::string_view piece = bytes.substr(0, run);
            int32_t status = stream.write(piece.data(), static_cast<int64_t>(piece.size()), ' ');
            if (status != 0) stream.fail(status, context);
            ++report.records;
            bytes.remove_prefix(piece.size());
        }
    };
    for (;;) {
        std::string_view chunk = input.read_chunk(run);
        bool last = chunk.empty();
        std::string_view converted = chunk;
        if (transcoder != nullptr) {
            try {
                converted = transcoder->part(chunk, last);
            } catch (const Problem &problem) {
                transcoding_failed(problem, context, "byte " + std::to_string(input.consumed() - chunk.size()));
            }
        }
        send(converted);
        if (last) break;
        report.bytes = input.consumed();
        progress.update(report.bytes);
    }
    return report;
}

// ------------------------------------------------------------- reading --

ReadReport read_lines(Stream &stream, Output &output, const LineOptions &options, Progress &progress,
                      std::string_view context, int64_t limit) {
    ReadReport report;
    int64_t bytes = 0;
    while (limit < 0 || report.records < limit) {
        char *data = nullptr;
        int64_t length = 0;
        char carriage = ' ';
        int32_t status = stream.read(&data, &length, &carriage);
        if (status == zef::kEndOfFile) break;
        if (status < 0) stream.fail(status, context);
        ++report.records;
        if (record_was_cut(stream) && ++report.cut <= kCutLinesNamed)
            print_note(context, "record " + std::to_string(report.records) + " cut to " +
                                    std::to_string(stream.lrecl()) + " bytes (the record length)");
        std::string_view text(data, data != nullptr && length > 0 ? static_cast<size_t>(length) : 0);
        if (options.transcoder != nullptr) {
            try {
                text = options.transcoder->whole(text);
            } catch (const Problem &problem) {
                transcoding_failed(problem, context, "record " + std::to_string(report.records));
            }
        }
        if (options.carriage) output.write(std::string_view(&carriage, 1));
        output.write(text);
        output.write("\n");
        bytes += static_cast<int64_t>(text.size()) + 1;
        progress.update(bytes);
    }
    if (report.cut > kCutLinesNamed)
        print_note(context, std::to_string(report.cut) + " records in all were cut to " +
                                std::to_string(stream.lrecl()) + " bytes");
    return report;
}

int64_t read_bytes(Stream &stream, Output &output, Transcoder *transcoder, Progress &progress,
                   std::string_view context, int64_t limit) {
    int64_t bytes = 0;
    int64_t run = stream.lrecl() > 0 ? stream.lrecl() : int64_t{64} * 1024;
    for (;;) {
        char *data = nullptr;
        int64_t length = limit < 0 ? run : std::min(run, limit - bytes);
        if (length <= 0) {
            if (transcoder != nullptr) output.write(transcoder->part({}, true));
            break;
        }
        int32_t status = stream.read(&data, &length, nullptr);
        if (status != 0 && status != zef::kEndOfFile) stream.fail(status, context);
        std::string_view piece(data, status == 0 && data != nullptr && length > 0 ? static_cast<size_t>(length) : 0);
        bool last = piece.empty();  // the end of the entry (a run is never empty before it)
        std::string_view converted = piece;
        if (transcoder != nullptr) {
            try {
                converted = transcoder->part(piece, last);
            } catch (const Problem &problem) {
                transcoding_failed(problem, context, "byte " + std::to_string(bytes));
            }
        }
        output.write(converted);
        if (last) break;
        bytes += static_cast<int64_t>(piece.size());
        progress.update(bytes);
    }
    return bytes;
}

}  // namespace zefcat
