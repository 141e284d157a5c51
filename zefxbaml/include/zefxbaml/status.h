// The statuses the module returns. 0 is success, positive values are notes,
// 0x8000xxxx failures; host statuses are passed back unchanged.
#pragma once

#include <cstdint>

namespace zef {

inline constexpr int32_t kOk = 0;
inline constexpr int32_t kEndOfFile = 0x801;
inline constexpr int32_t kEndOfList = 0x802;
inline constexpr int32_t kRecordTruncated = 0x1009;

inline constexpr int32_t kNoStorage = static_cast<int32_t>(0x80000803);
inline constexpr int32_t kNameUnsuitable = static_cast<int32_t>(0x80000805);
inline constexpr int32_t kNotSupported = static_cast<int32_t>(0x8000080B);
inline constexpr int32_t kFilerefNotAssigned = static_cast<int32_t>(0x80001004);
inline constexpr int32_t kEntryMissing = static_cast<int32_t>(0x80001006);
inline constexpr int32_t kImageWrongLength = static_cast<int32_t>(0x8000100D);
inline constexpr int32_t kNbyteUnbound = static_cast<int32_t>(0x8000100F);
inline constexpr int32_t kUnknownOption = static_cast<int32_t>(0x80001017);
inline constexpr int32_t kOptionRejected = static_cast<int32_t>(0x80001018);
inline constexpr int32_t kNbyteTooLarge = static_cast<int32_t>(0x8000101A);
inline constexpr int32_t kStillOpen = static_cast<int32_t>(0x80001024);
inline constexpr int32_t kNullHandle = static_cast<int32_t>(0x80001025);
inline constexpr int32_t kBadTranslation = static_cast<int32_t>(0x8000200A);

// Message set of the module's texts, and the numbers it uses.
inline constexpr int32_t kMessageSet = 566;
inline constexpr int32_t kMessageBufferSize = 255;

}  // namespace zef
