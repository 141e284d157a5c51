#include "transcode.h"

#include <cerrno>

#include "errors.h"
#include "zefhost/encodings.h"

namespace zefcat {

Transcoder::Transcoder(const char *from, const char *to) : from_(from), to_(to) {
    cd_ = iconv_open(to, from);
    if (cd_ == reinterpret_cast<iconv_t>(-1))
        throw Problem(std::string("iconv cannot convert from ") + from + " to " + to);
}

Transcoder::~Transcoder() { iconv_close(cd_); }

const std::string &Transcoder::whole(std::string_view piece) {
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    carried_.clear();
    output_.clear();
    convert(piece);
    if (!carried_.empty()) throw Problem("an unfinished " + from_ + " character at the end");
    return output_;
}

const std::string &Transcoder::part(std::string_view piece, bool last) {
    output_.clear();
    if (!carried_.empty()) {
        std::string joined = std::move(carried_);
        carried_.clear();
        joined.append(piece);
        convert(joined);
    } else {
        convert(piece);
    }
    if (last && !carried_.empty()) throw Problem("an unfinished " + from_ + " character at the end");
    return output_;
}

// Appends the conversion of `piece` to output_; an incomplete character at
// its end goes to carried_.
void Transcoder::convert(std::string_view piece) {
    char *in = const_cast<char *>(piece.data());
    size_t in_left = piece.size();
    while (in_left > 0) {
        size_t done = output_.size();
        output_.resize(done + in_left * 4 + 16);
        char *out = output_.data() + done;
        size_t out_left = output_.size() - done;
        size_t result = iconv(cd_, &in, &in_left, &out, &out_left);
        int error = errno;
        output_.resize(output_.size() - out_left);
        if (result != static_cast<size_t>(-1)) continue;
        if (error == E2BIG) continue;
        if (error == EINVAL) {  // a character the piece ends inside
            carried_.assign(in, in_left);
            return;
        }
        size_t offset = piece.size() - in_left;
        throw Problem("the byte sequence at offset " + std::to_string(offset) + " is not valid " + from_ +
                      " or has no equivalent in " + to_);
    }
}

const char *iconv_name_of(int32_t encoding_id) {
    const char *name = zefhost::encoding_name_for_iconv(encoding_id);
    if (name == nullptr)
        throw Problem("the stream's encoding (identifier " + std::to_string(encoding_id) +
                      ") is not one the host can convert");
    return name;
}

}  // namespace zefcat
