// Character translation through the host's five translations: wztxxlt.
#include <cstdint>
#include <cstring>

#include "host/chains.h"
#include "host/kernel.h"
#include "zefxbaml/status.h"
#include "zefxbaml/translate.h"

namespace {

constexpr int32_t kTranslationCount = 5;
constexpr int32_t kTableOnly = 4;  // translation 4 always uses its table

// Copies for the case-mapping routines, which work in place.
void copy_for_mapping(const void *source, void *target, int32_t length) {
    if (length > 0 && source != target)
        std::memmove(target, source, static_cast<size_t>(length));
}

// With a host encoding in force translations 0 to 3 are the host's routines.
void translate_by_host(int32_t index, const void *source, void *target, int32_t length) {
    switch (index) {
    case 0:
        host::wzsxcch(source, length, target, length);
        break;
    case 1:
        host::wzsxrch(source, length, target, length);
        break;
    case kTranslateUpper:
        copy_for_mapping(source, target, length);
        host::wzstrup(target, length);
        break;
    case kTranslateLower:
        copy_for_mapping(source, target, length);
        host::wzstrlo(target, length);
        break;
    }
}

// target[k] = table[source[k]], two bytes a step; both are read before
// either is written, so source and target may be the same buffer.
void translate_by_table(const uint8_t *table, const uint8_t *source, uint8_t *target,
                        int32_t length) {
    int32_t k = 0;
    for (; k + 1 < length; k += 2) {
        uint8_t first = source[k];
        uint8_t second = source[k + 1];
        target[k] = table[first];
        target[k + 1] = table[second];
    }
    if (k < length) target[k] = table[source[k]];
}

}  // namespace

extern "C" {

// Translates length bytes of source into target (which may be source)
// through translation index 0..4: the host's routines while a host encoding
// is in force (except index 4), otherwise the host's 256-byte table. Returns
// 0, or 0x8000200A for an index outside 0..4 with nothing written. The
// host routines' own results are not examined.
int32_t wztxxlt(int32_t index, const void *source, void *target, int32_t length) {
    if (index < 0 || index >= kTranslationCount) return zef::kBadTranslation;
    if (index != kTableOnly && host::encoding_in_force() != nullptr) {
        translate_by_host(index, source, target, length);
        return zef::kOk;
    }
    if (length > 0)
        translate_by_table(host::translation_table(index), static_cast<const uint8_t *>(source),
                           static_cast<uint8_t *>(target), length);
    return zef::kOk;
}

}  // extern "C"
