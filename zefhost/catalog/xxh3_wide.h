// XXH3-128 computed with AVX2 (xxh3_wide.cc), for checksum.cc, which calls
// it only when the processor has AVX2. ZEF_XXH3_WIDE is set by the build
// where the compiler can make it (x86-64).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#ifndef ZEF_XXH3_WIDE
#define ZEF_XXH3_WIDE 0
#endif

namespace zefhost::catalog {

#if ZEF_XXH3_WIDE
// {low64, high64} of XXH3_128bits(data, size).
std::array<uint64_t, 2> xxh3_128_wide(const void *data, size_t size);
#endif

}  // namespace zefhost::catalog
