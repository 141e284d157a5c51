#include "version_attributes.h"

#include <algorithm>
#include <cctype>

namespace zefhost::catalog {

std::optional<VersionAttributes> checked_attributes(int64_t record_format, int64_t lrecl,
                                                    const std::string &encoding) {
    if (record_format < 0 || (record_format & ~int64_t{kKnownRecordFormatBits}) != 0) return std::nullopt;
    if (lrecl < 0 || lrecl > kLongestKeptLrecl) return std::nullopt;
    if (encoding.size() > kLongestEncodingName) return std::nullopt;
    bool plain = std::all_of(encoding.begin(), encoding.end(), [](unsigned char c) {
        return std::isalnum(c) || c == '-' || c == '_';
    });
    if (!plain) return std::nullopt;
    return VersionAttributes{static_cast<uint32_t>(record_format), lrecl, encoding, std::nullopt, std::nullopt};
}

std::optional<uint32_t> checked_file_mode(int64_t mode) {
    if (mode < 0 || (mode & ~int64_t{kFileModeBits}) != 0) return std::nullopt;
    return static_cast<uint32_t>(mode);
}

}  // namespace zefhost::catalog
