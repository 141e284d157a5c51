// Transcoding between UTF-8 and the encoding in force for a stream, with
// iconv. The module never transcodes: the open hands the host the encoding's
// identifier, and the host (zefcat) converts what it writes and reads.
#pragma once

#include <iconv.h>

#include <cstdint>
#include <string>
#include <string_view>

namespace zefcat {

class Transcoder {
public:
    // From encoding `from` to encoding `to`, by their iconv names. Throws
    // Problem when iconv knows one of them not.
    Transcoder(const char *from, const char *to);
    ~Transcoder();
    Transcoder(const Transcoder &) = delete;
    Transcoder &operator=(const Transcoder &) = delete;

    // Converts one whole piece (a line), from the initial shift state.
    // Throws Problem (saying what, not where) when the piece holds a byte
    // sequence that is not valid in the source encoding or has no
    // equivalent in the target one.
    const std::string &whole(std::string_view piece);

    // Converts the next part of a longer run; a character split between two
    // parts is carried to the next. `last` ends the run (an unfinished
    // character is then an error).
    const std::string &part(std::string_view piece, bool last);

private:
    void convert(std::string_view piece);

    iconv_t cd_;
    std::string from_;
    std::string to_;
    std::string output_;
    std::string carried_;
};

// The iconv name of the encoding the stand-in host identifies by `id`;
// throws Problem for an identifier it does not know.
const char *iconv_name_of(int32_t encoding_id);

}  // namespace zefcat
