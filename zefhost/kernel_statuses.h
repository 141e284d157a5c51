// Failure statuses of the stand-in's kernel routines (the host's own family
// 0x8001Bxxx, apart from the module's 0x8000xxxx and the catalog services'
// 0x8001Cxxx).
#pragma once

#include <cstdint>

namespace zefhost {

// yxam2am, yxamscp: no access method registered under that name.
inline constexpr int32_t kUnknownMethod = static_cast<int32_t>(0x8001B001);
// yxal2am: the host knows no control block for that fileref.
inline constexpr int32_t kFilerefUnknownToHost = static_cast<int32_t>(0x8001B002);
// yxatok: a quoted string is not closed before the end of the option text.
inline constexpr int32_t kUnterminatedQuote = static_cast<int32_t>(0x8001B003);
// wztxcei: no encoding of that name.
inline constexpr int32_t kUnknownEncoding = static_cast<int32_t>(0x8001B004);
// wzrlchr: the text is not a whole number that fits 64 bits.
inline constexpr int32_t kNotANumber = static_cast<int32_t>(0x8001B005);
// A routine was given a null pointer or a length it cannot work with.
inline constexpr int32_t kBadArgument = static_cast<int32_t>(0x8001B006);
// yxaunql: every made-up name has been handed out.
inline constexpr int32_t kNoUniqueName = static_cast<int32_t>(0x8001B007);
// yyrn6gf: the host has no option of that number.
inline constexpr int32_t kUnknownHostOption = static_cast<int32_t>(0x8001B008);
// yxatok: a token longer than a token record's 16-bit length can carry.
inline constexpr int32_t kTokenTooLong = static_cast<int32_t>(0x8001B009);
// yxatok: the token record was not readied by yxatoki.
inline constexpr int32_t kTokenNotReady = static_cast<int32_t>(0x8001B00A);

}  // namespace zefhost
