// Blank-padded strings: fixed-width fields of bytes whose text is followed by
// blanks (0x20) up to the width, with no terminator. Exported under these
// plain names; none calls the host, none keeps state.
#pragma once

#include <cstdint>

#include "zefxbaml/exports.h"

extern "C" {
// 1 when each of the count bytes equals value (compared as a whole int), else 0.
ZEF_EXPORT int32_t vzatl(int32_t value, const void *field, int64_t count);
// Copies source into target, cutting or blank-filling to target_length.
ZEF_EXPORT void vzmp(const void *source, int32_t source_length, void *target,
                     int32_t target_length);
// Joins count (piece, length) pairs into target; returns the bytes placed.
ZEF_EXPORT int32_t wzstcat(void *target, int32_t width, int32_t separator, int32_t count, ...);
// 0 when equal once padded; otherwise +-(1-based position of the first difference).
ZEF_EXPORT int32_t wzstcom(const void *first, int32_t first_length, const void *second,
                           int32_t second_length);
ZEF_EXPORT int32_t wzstlen(const char *string);
// Length of the field without its trailing blanks.
ZEF_EXPORT int32_t wzstrip(const void *field, int32_t length);
// Removes the surrounding quotes and undoubles inner ones, in place.
ZEF_EXPORT int32_t wzstrpq(char *buffer, int32_t length);
}
