#include "checksum.h"

#include <xxhash.h>

#include <cstring>

#include "store.h"
#include "xxh3_wide.h"

namespace zefhost::catalog {

namespace {

Checksum from_hash(XXH128_hash_t hash) {
    // The canonical (big-endian) form, as xxhsum prints it.
    XXH128_canonical_t canonical;
    XXH128_canonicalFromHash(&canonical, hash);
    Checksum out;
    out.kept = Checksum::Kept::present;
    std::memcpy(out.bytes.data(), canonical.digest, out.bytes.size());
    return out;
}

}  // namespace

Checksum Checksum::stored(const uint8_t *data, size_t size, bool is_null) {
    Checksum out;
    if (is_null) return out;
    if (size != out.bytes.size() || data == nullptr) {
        out.kept = Kept::malformed;
        return out;
    }
    out.kept = Kept::present;
    std::memcpy(out.bytes.data(), data, size);
    return out;
}

Checksum Checksum::of(std::span<const uint8_t> bytes) {
#if ZEF_XXH3_WIDE
    // Every chunk read or written is hashed whole: the wide code where the
    // processor has it.
    static const bool wide = __builtin_cpu_supports("avx2");
    if (wide) {
        std::array<uint64_t, 2> hash = xxh3_128_wide(bytes.data(), bytes.size());
        return from_hash(XXH128_hash_t{hash[0], hash[1]});
    }
#endif
    return from_hash(XXH3_128bits(bytes.data(), bytes.size()));
}

std::string Checksum::text() const {
    if (kept == Kept::none) return "-";
    if (kept == Kept::malformed) return "malformed";
    static const char digits[] = "0123456789abcdef";
    std::string out;
    out.reserve(bytes.size() * 2);
    for (uint8_t b : bytes) {
        out += digits[b >> 4];
        out += digits[b & 15];
    }
    return out;
}

Checksum content_checksum(std::span<const Piece> pieces) {
    std::vector<uint8_t> joined;
    joined.reserve(pieces.size() * 16);
    for (const Piece &p : pieces) {
        if (!p.checksum.present()) return Checksum{};
        joined.insert(joined.end(), p.checksum.bytes.begin(), p.checksum.bytes.end());
    }
    return Checksum::of(joined);
}

}  // namespace zefhost::catalog
