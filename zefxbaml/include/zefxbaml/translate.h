// Character translation through the host's five translations (index 0..4);
// index 2 upper-cases, which is how every name is normalised.
#pragma once

#include <cstdint>

#include "zefxbaml/exports.h"

inline constexpr int32_t kTranslateUpper = 2;
inline constexpr int32_t kTranslateLower = 3;

extern "C" {
ZEF_EXPORT int32_t wztxxlt(int32_t index, const void *source, void *target, int32_t length);
}
