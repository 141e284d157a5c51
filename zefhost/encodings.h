// The character encodings the stand-in knows, by the identifiers wztxcei
// hands out (all above 0), with the spellings a person may write (matched
// without regard to case) and the name iconv knows each by.
#pragma once

#include <cstdint>
#include <string_view>

namespace zefhost {

inline constexpr int32_t kEncodingUtf8 = 1;
inline constexpr int32_t kEncodingLatin1 = 2;
inline constexpr int32_t kEncodingWindowsLatin1 = 3;
inline constexpr int32_t kEncodingAscii = 4;
inline constexpr int32_t kEncodingEbcdic037 = 5;
inline constexpr int32_t kEncodingLatin9 = 6;
inline constexpr int32_t kEncodingEbcdic1047 = 7;

// The stand-in's own (host) encoding: the one its tables and the host
// side of wzsxcch/wzsxrch speak.
inline constexpr int32_t kHostEncodingId = kEncodingLatin1;

// The identifier of an encoding name; 0 when the name is unknown. Blanks
// around the name are dropped.
int32_t find_encoding(std::string_view name);
// The encoding's usual name ("utf-8", "latin1", ...); null for an unknown id.
const char *encoding_name(int32_t id);
// The name iconv_open takes for the encoding; null for an unknown id.
const char *encoding_name_for_iconv(int32_t id);

}  // namespace zefhost
