// XXH3-128 with 256-bit vector instructions, built apart (with -mavx2) so
// that the rest of the program runs on any x86-64; checksum.cc calls it
// only where the processor has them. The hash is the same whichever
// instructions compute it, so catalogs do not depend on the machine.
// Everything here is xxHash's own code, inlined as static functions, so no
// wide instruction leaks into a function another file could share.
#include "xxh3_wide.h"

#if ZEF_XXH3_WIDE
#define XXH_INLINE_ALL
#define XXH_VECTOR XXH_AVX2
#include <xxhash.h>

namespace zefhost::catalog {

std::array<uint64_t, 2> xxh3_128_wide(const void *data, size_t size) {
    XXH128_hash_t hash = XXH3_128bits(data, size);
    return {hash.low64, hash.high64};
}

}  // namespace zefhost::catalog
#endif
