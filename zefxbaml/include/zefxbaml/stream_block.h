// The stream control block as a host sees it: a handle that the open and
// member-open slots hand out and that every read, write, note, point, flush,
// information and close request takes back first. Its fields are the
// module's own, except the few below whose places are fixed, which a host
// may read (never write) while the stream is open. What a host does pass in
// are the open modes and record formats below (the open request), and what
// it gets back with each record is one of the record codes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

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

// Where the fields a host may read lie in the block.
inline constexpr size_t kStreamRecordFormatAt = 104;  // uint32_t, the bits above
inline constexpr size_t kStreamBlockLengthAt = 120;   // int64_t, the entry's longest block
inline constexpr size_t kStreamLreclAt = 128;         // int64_t, the effective record length
inline constexpr size_t kStreamBufferCountAt = 168;   // int32_t, bytes the last read delivered

template <typename Field>
Field stream_field(const StreamBlock *stream, size_t at) {
    Field value;
    std::memcpy(&value, reinterpret_cast<const unsigned char *>(stream) + at, sizeof value);
    return value;
}

// The record format the open settled on.
inline uint32_t stream_record_format(const StreamBlock *stream) {
    return stream_field<uint32_t>(stream, kStreamRecordFormatAt);
}
// The longest block the entry held when it was opened.
inline int64_t stream_block_length(const StreamBlock *stream) {
    return stream_field<int64_t>(stream, kStreamBlockLengthAt);
}
inline int64_t stream_lrecl(const StreamBlock *stream) { return stream_field<int64_t>(stream, kStreamLreclAt); }
// The whole length of the block the last read took its record from (the
// record handed out is cut to the record length; a P block's first byte is
// the carriage character).
inline int32_t stream_buffer_count(const StreamBlock *stream) {
    return stream_field<int32_t>(stream, kStreamBufferCountAt);
}

}  // namespace zef
