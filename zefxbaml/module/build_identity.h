// The build-identification texts that the image information record and the
// version record carry. Fixed values, so that a build is reproducible; the
// module interprets none of them, and the coded ones are stored as they stand.
#pragma once

#include <cstdint>

namespace zef::build {

inline constexpr char kRelease[] = "1.0";             // fits 6 bytes with its zero
inline constexpr char kBuildLevel[] = "ZEF 1.0.0 B0001";  // fits 20 bytes
inline constexpr char kBuildDate[] = "Dec 08 2026";   // three-letter month, day, year
inline constexpr char kReleaseAndLevel[] = "1.0 ZEF 1.0.0 B0001";
inline constexpr char kBuildDateTime[] = "2026-12-08 00:00:00 UTC";
inline constexpr int64_t kBuildTime = 1796688000;    // kBuildDateTime in seconds
inline constexpr char kBuildLocation[] = "zefxbaml/main";
inline constexpr char kProduct[] = "zefxbaml";
inline constexpr char kDescription[] = "catalog file access method";
inline constexpr char kPlatform[] = "x86_64-linux-gnu";
inline constexpr char kLanguage[] = "C++20";
inline constexpr char kBuildKind[] = "release";
// Opaque coded strings.
inline constexpr char kCode1[] = "ZX1-7F3A9C2E";
inline constexpr char kCode2[] = "ZX2-0B61D4F8";
inline constexpr char kCode3[] = "ZX3-C94E2A17";
inline constexpr char kLegalNotice[] =
    "zefxbaml catalog file access method. Copyright 2026 the zefxbaml authors.";

static_assert(sizeof(kRelease) <= 6 && sizeof(kBuildLevel) <= 20);
static_assert(sizeof(kBuildDate) == 12);

}  // namespace zef::build
