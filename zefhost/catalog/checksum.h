// The checksums a catalog keeps: XXH3-128 of each chunk's blocks as they
// are packed (before any compression), and for a version the XXH3-128 of
// its chunks' checksums in order. A reader checks the version's checksum
// against its pieces when it opens and each chunk's as it loads it, so that
// damaged bytes are caught before any of them is handed over.
//
// A stored checksum is untrusted bytes: one of the wrong length is kept as
// malformed and matches nothing.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace zefhost::catalog {

struct Piece;

struct Checksum {
    enum class Kept : uint8_t { none, present, malformed };
    Kept kept = Kept::none;
    std::array<uint8_t, 16> bytes{};

    // From a stored column: null (or absent) is none.
    static Checksum stored(const uint8_t *data, size_t size, bool is_null);
    static Checksum of(std::span<const uint8_t> bytes);

    bool present() const { return kept == Kept::present; }
    // Whether a stored checksum vouches for `computed`.
    bool matches(const Checksum &computed) const { return present() && bytes == computed.bytes; }
    std::span<const uint8_t> span() const { return bytes; }
    // 32 lower-case hexadecimal digits; "-" when none, "malformed" when so.
    std::string text() const;
    bool operator==(const Checksum &) const = default;
};

// The checksum of a version made of these pieces; none unless every piece
// has one.
Checksum content_checksum(std::span<const Piece> pieces);

}  // namespace zefhost::catalog
