// Chunk checksums are XXH3-128 whatever instructions compute them: the
// wide code used where the processor has it must give the library's
// answer for every length and alignment, or catalogs written on one
// machine would read as damaged on another.
#include <xxhash.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <random>
#include <span>
#include <vector>

#include <gtest/gtest.h>

#include "zefhost/catalog/checksum.h"

namespace cattest {
namespace {

using zefhost::catalog::Checksum;

std::array<uint8_t, 16> library_hash(const uint8_t *data, size_t size) {
    XXH128_canonical_t canonical;
    XXH128_canonicalFromHash(&canonical, XXH3_128bits(data, size));
    std::array<uint8_t, 16> out;
    std::memcpy(out.data(), canonical.digest, out.size());
    return out;
}

TEST(Checksum, IsTheLibrarysXxh3At128BitsForEveryLengthAndAlignment) {
    std::vector<uint8_t> bytes((1 << 20) + 64);
    std::mt19937_64 random(42);
    for (uint8_t &b : bytes) b = static_cast<uint8_t>(random());
    std::vector<size_t> lengths;
    for (size_t n = 0; n <= 260; ++n) lengths.push_back(n);  // every short form
    for (size_t n : {1023, 1024, 1025, 4096, 65535, 65536, 65537, 65536 + 6 * 1000, 1 << 20}) lengths.push_back(n);
    for (size_t offset : {0, 1, 7, 32}) {
        for (size_t n : lengths) {
            std::span<const uint8_t> span(bytes.data() + offset, n);
            Checksum computed = Checksum::of(span);
            ASSERT_TRUE(computed.present());
            ASSERT_EQ(computed.bytes, library_hash(span.data(), n)) << "length " << n << " at offset " << offset;
        }
    }
}

TEST(Checksum, OfNoBytesIsXxh3sPublishedValue) {
    EXPECT_EQ(Checksum::of({}).text(), "99aa06d3014798d86001c324468d497f");
}

}  // namespace
}  // namespace cattest
