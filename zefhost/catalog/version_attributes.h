// What a version of an entry was written with: the record format, record
// length and encoding its writer used, kept with the version so that a
// later reader or appender can use them when it is told none. A small
// record of its own, so that what a version carries can grow (checksums,
// compression) in this one place.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace zefhost::catalog {

struct VersionAttributes {
    uint32_t record_format = 0;  // the RECFM bits in force (0: none given)
    int64_t lrecl = 0;           // the record length in force, as LRECL= gives it
    std::string encoding;        // the ENCODING= name in force; empty: none
    // The file the version was put from: its modification time
    // (nanoseconds since the epoch) and permission bits, when told.
    std::optional<int64_t> file_time;
    std::optional<uint32_t> file_mode;

    bool operator==(const VersionAttributes &) const = default;
};

// The record formats a version may carry (V, F, P with its companion bit, S).
inline constexpr uint32_t kKnownRecordFormatBits = 0x3B;
inline constexpr int64_t kLongestKeptLrecl = int64_t{1} << 31;
inline constexpr size_t kLongestEncodingName = 16;
inline constexpr uint32_t kFileModeBits = 07777;

// The attributes as stored, or none when they are out of range (a store
// holds untrusted bytes): bits outside the known formats, a negative or
// huge record length, an encoding name that is not a short plain word.
std::optional<VersionAttributes> checked_attributes(int64_t record_format, int64_t lrecl,
                                                    const std::string &encoding);
// The file's mode as stored, or none when it holds more than permission bits.
std::optional<uint32_t> checked_file_mode(int64_t mode);

}  // namespace zefhost::catalog
