// The stream control block as a host sees it: a handle that the open and
// member-open slots hand out and that every read, write, note, point, flush,
// information and close request takes back first. Its fields are the
// module's own; a host never reads them. What a host does pass in are the
// open modes and record formats below (the open request), and what it gets
// back with each record is one of the record codes.
#pragma once

#include <cstdint>

namespace zef {

struct StreamBlock;

// open_flags bits
inline constexpr uint32_t kOpenInput = 0x1;
inline constexpr uint32_t kOpenOutput = 0x2;
inline constexpr uint32_t kOpenAppend = 0x4;
inline constexpr uint32_t kOpenUpdate = 0x8;
inline constexpr uint32_t kOpenWriting = kOpenOutput | kOpenAppend | kOpenUpdate;
inline constexpr uint32_t kOpenEncoded = 0x800000;

// record_format bits as streams test them
inline constexpr uint32_t kRecordStream = 0x02;
inline constexpr uint32_t kRecordFixed = 0x08;
inline constexpr uint32_t kRecordPrint = 0x10;
inline constexpr uint32_t kRecordVariable = 0x20;

// Record codes carried with records.
inline constexpr uint16_t kCodeLine = 145;
inline constexpr uint16_t kCodeAttributedLine = 186;
inline constexpr uint16_t kCodeAttributedPair = 187;
inline constexpr uint16_t kCodeEmptyCatams = 270;
inline constexpr uint16_t kCodeBinary = 321;
inline constexpr uint16_t kCodeText = 322;

}  // namespace zef
