// The option block: what the options of one assignment or open statement
// settled. Made by the option slot on the statement's first option, filled by
// each further option, then carried by the fileref record or the stream that
// the statement made. The host copies it byte for byte as an image, so the
// layout is fixed.
#pragma once

#include <cstddef>
#include <cstdint>

#include "zefxbaml/abi.h"

namespace zef {

inline constexpr int32_t kOptionBlockKind = 7;
inline constexpr int32_t kDescriptionWidth = 256;
inline constexpr int32_t kNbyteNameWidth = 32;

// record_format bits
inline constexpr uint32_t kFormatStream = 0x02;
inline constexpr uint32_t kFormatFixed = 0x08;
inline constexpr uint32_t kFormatPrint = 0x11;  // RECFM=P: carriage control, plus 0x01
inline constexpr uint32_t kFormatVariable = 0x20;

// mode bits
inline constexpr uint32_t kModeAppend = 0x4;  // MOD was given

// flags bits (also copied into the fileref record's flags)
inline constexpr uint32_t kNotOwned = 0x10;          // never released through its carrier
inline constexpr uint32_t kNamesCatalog = 0x100000;  // the fileref names a whole catalog

// encoding_flags bits
inline constexpr uint32_t kEncodingGiven = 0x10;

struct OptionBlock {
    int32_t kind;  // always kOptionBlockKind
    uint32_t record_format;
    uint32_t mode;
    uint8_t spare_12[4];
    int64_t lrecl;
    int64_t blocksize;
    int16_t description_length;  // never above kDescriptionWidth
    char description[kDescriptionWidth];  // blank padded
    uint8_t spare_290[2];
    uint32_t flags;
    int32_t attr;  // 1: ATTR was given
    uint8_t spare_300[4];
    uint8_t nbyte_binding[8];  // never set by parsing
    int32_t nbyte_param;       // -1 once NBYTE was given
    int32_t nbyte_name_length;
    char nbyte_name[kNbyteNameWidth];  // blank padded
    OwnerRecord *owner;  // its pool gave the block and takes it back
    int32_t encoding;    // the host's identifier; 0 when none or refused
    uint32_t encoding_flags;
};
static_assert(sizeof(OptionBlock) == 368);
static_assert(offsetof(OptionBlock, kind) == 0);
static_assert(offsetof(OptionBlock, record_format) == 4);
static_assert(offsetof(OptionBlock, mode) == 8);
static_assert(offsetof(OptionBlock, lrecl) == 16);
static_assert(offsetof(OptionBlock, blocksize) == 24);
static_assert(offsetof(OptionBlock, description_length) == 32);
static_assert(offsetof(OptionBlock, description) == 34);
static_assert(offsetof(OptionBlock, flags) == 292);
static_assert(offsetof(OptionBlock, attr) == 296);
static_assert(offsetof(OptionBlock, nbyte_binding) == 304);
static_assert(offsetof(OptionBlock, nbyte_param) == 312);
static_assert(offsetof(OptionBlock, nbyte_name_length) == 316);
static_assert(offsetof(OptionBlock, nbyte_name) == 320);
static_assert(offsetof(OptionBlock, owner) == 352);
static_assert(offsetof(OptionBlock, encoding) == 360);
static_assert(offsetof(OptionBlock, encoding_flags) == 364);

inline constexpr int64_t kOptionBlockSize = sizeof(OptionBlock);

}  // namespace zef
