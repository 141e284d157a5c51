// The records the host's loader reads out of the module by layout: the image
// information record that mcn_main returns, the component list and node that
// lead to the constructor, and the version record that qxvercn1 copies out.
// Reserved spans are part of the layout and stay zero.
#pragma once

#include <cstddef>
#include <cstdint>

#include "zefxbaml/control_block.h"

namespace zef {

struct ComponentNode;

inline constexpr char kImageEyecatcher[] = "ZEF_Image_Information=";
inline constexpr size_t kImageEyecatcherLength = sizeof(kImageEyecatcher) - 1;
static_assert(kImageEyecatcherLength == 22);
inline constexpr uint32_t kImageStamp = 0xB0BDEBED;

// vi_mcn: 120 bytes.
struct ImageInformation {
    char eyecatcher[24];    // "ZEF_Image_Information=" and two zero bytes
    uint32_t stamp;         // kImageStamp
    uint32_t reserved_28;
    uint64_t host_value;    // 8
    char release[6];        // zero padded
    char build_level[20];   // zero padded
    char build_date[12];    // "Mmm dd yyyy" and a zero
    uint8_t reserved_78[18];
    const ComponentNode *const *components;  // mcn_pcns
    const char *legal_notice;                // zero terminated
    char level_code[8];                      // "001" and five zeros
};
static_assert(sizeof(ImageInformation) == 120);
static_assert(offsetof(ImageInformation, eyecatcher) == 0);
static_assert(offsetof(ImageInformation, stamp) == 24);
static_assert(offsetof(ImageInformation, reserved_28) == 28);
static_assert(offsetof(ImageInformation, host_value) == 32);
static_assert(offsetof(ImageInformation, release) == 40);
static_assert(offsetof(ImageInformation, build_level) == 46);
static_assert(offsetof(ImageInformation, build_date) == 66);
static_assert(offsetof(ImageInformation, reserved_78) == 78);
static_assert(offsetof(ImageInformation, components) == 96);
static_assert(offsetof(ImageInformation, legal_notice) == 104);
static_assert(offsetof(ImageInformation, level_code) == 112);

// pcn_ZEFXBAML: 80 bytes. The numbers are the host's; reproduced unchanged.
struct ComponentNode {
    uint8_t header[8];      // 00 00 FF FF FF FF FF FF
    uint64_t host_value_8;  // 1024
    uint64_t host_value_16; // 1024
    char name[16];          // "zefxbaml" and eight zeros
    Constructor constructor;
    uint64_t host_value_48; // 2
    uint64_t host_value_56; // 9683
    uint64_t host_value_64; // 574726931
    uint64_t host_value_72; // 15
};
static_assert(sizeof(ComponentNode) == 80);
static_assert(offsetof(ComponentNode, header) == 0);
static_assert(offsetof(ComponentNode, host_value_8) == 8);
static_assert(offsetof(ComponentNode, host_value_16) == 16);
static_assert(offsetof(ComponentNode, name) == 24);
static_assert(offsetof(ComponentNode, constructor) == 40);
static_assert(offsetof(ComponentNode, host_value_48) == 48);
static_assert(offsetof(ComponentNode, host_value_56) == 56);
static_assert(offsetof(ComponentNode, host_value_64) == 64);
static_assert(offsetof(ComponentNode, host_value_72) == 72);

// The two key-and-value areas of the version record: the key, then blanks to
// 65 characters, then a zero. Nothing ever writes the blank value.
inline constexpr size_t kKeyValueChars = 65;
inline constexpr char kHotfixKey[] = "ZEF_VERSION_HOTFIX_NUMBER=";
inline constexpr char kImageDescriptionKey[] = "VERCON_IMAGE_DESCRIPTION=";
static_assert(sizeof(kHotfixKey) - 1 == 26 && sizeof(kImageDescriptionKey) - 1 == 25);

// The version record qxvercn1 copies out: 208 bytes, 26 words. Every
// pointer leads to a zero-terminated text of the module.
struct VersionRecord {
    const char *release_and_level;    // word 0
    const char *build_location;       // word 1
    const char *empty_2;              // word 2
    int64_t build_time;               // word 3: seconds since 1970-01-01 00:00 UTC
    const char *identification_a[5];  // words 4..8; word 8 is empty
    const char *identification_b[3];  // words 9..11; word 11 is empty
    const char *hotfix;               // word 12: kHotfixKey and blanks
    const char *identification_13;    // word 13
    const char *image_description;    // word 14: kImageDescriptionKey and blanks
    const char *identification_15;    // word 15
    const char *build_date_time;      // word 16
    uint64_t reserved[9];             // words 17..25
};
static_assert(sizeof(VersionRecord) == 208);
static_assert(offsetof(VersionRecord, release_and_level) == 0 * 8);
static_assert(offsetof(VersionRecord, build_location) == 1 * 8);
static_assert(offsetof(VersionRecord, empty_2) == 2 * 8);
static_assert(offsetof(VersionRecord, build_time) == 3 * 8);
static_assert(offsetof(VersionRecord, identification_a) == 4 * 8);
static_assert(offsetof(VersionRecord, identification_b) == 9 * 8);
static_assert(offsetof(VersionRecord, hotfix) == 12 * 8);
static_assert(offsetof(VersionRecord, identification_13) == 13 * 8);
static_assert(offsetof(VersionRecord, image_description) == 14 * 8);
static_assert(offsetof(VersionRecord, identification_15) == 15 * 8);
static_assert(offsetof(VersionRecord, build_date_time) == 16 * 8);
static_assert(offsetof(VersionRecord, reserved) == 17 * 8);

// Exported entry points as the host's loader sees them.
using LoadEntry = const ImageInformation *(*)(void *gcb, void *pidb);
using VersionRoutine = void (*)(VersionRecord *destination);

}  // namespace zef
