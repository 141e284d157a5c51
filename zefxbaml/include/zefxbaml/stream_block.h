// The stream control block: one per open entry or member stream, from open
// to close, held by the host as the handle that the open and member-open
// slots hand out and that every read, write, note, point, flush, information
// and close request takes back first. The module obtains it zero-filled from
// the storage pool (close tests pointers that only some paths set); its
// buffers come with option 4. Its layout is below because a host holds it;
// its fields are the module's own, and a host reads (never writes) only
// those the accessors at the end name. What a host does pass in are the open
// modes and record formats (the open request), and what it gets back with
// each record is one of the record codes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "zefxbaml/abi.h"
#include "zefxbaml/control_block.h"
#include "zefxbaml/requests.h"

namespace zef {

struct FilerefRecord;
struct OptionBlock;
struct RoutineTable;

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

// The layout of the block, the module's to fill.
struct StreamBlock {
    char fileref[8];  // upper-cased; also the name argument of yxlhbfr at close
    AccessMethodBlock *method_block;
    char libref[8];
    int16_t catalog_name_length;
    char catalog_name[32];
    int16_t entry_name_length;
    char entry_name[32];
    char entry_type[8];
    uint32_t open_flags;
    uint32_t record_format;
    int64_t record_limit;  // the record length before adjustments: limit of a write and an S read
    int64_t block_length;  // largest block expected from the entry
    int64_t lrecl;         // effective logical record length
    void *catalog_handle;
    int32_t member_mode;  // 1 input, 2 output, 8 append or update
    // In the 4 bytes of padding before member_handle: the record code of the
    // general write for this entry type, looked up once at the first write
    // (0 until then; the block comes zero-filled).
    uint16_t write_record_code;
    void *member_handle;
    char *record_buffer;  // at least max(block_length, lrecl) bytes (sizes: open_steps.h)
    int32_t buffer_count;  // bytes delivered by the last read
    int32_t last_record_code;
    int16_t description_length;
    char description[256];
    char full_name[90];
    int32_t full_name_length;
    OptionBlock *open_options;    // kept until close
    OptionBlock *assign_options;  // the fileref record's option_block at open
    RoutineTable *routine_table;
    FilerefRecord *fileref_record;
    int32_t attr;
    LibraryRequest library_request;
    MemberRequest member_request;
    TransferRequest transfer_request;
    EntryRequest entry_request;
    uint32_t option_flags;  // the open option block's flags; 0x10: not released at close
    int32_t stream_offset;  // S format: first unread byte in record_buffer
    char *stream_buffer;    // S format: where a wanted run is assembled
    int32_t stream_buffer_size;
    int32_t stream_remaining;  // S format: unread bytes left in record_buffer
    // Copied as one 48-byte run from the open option block.
    double *nbyte_value;  // the bound NBYTE variable, or null
    int32_t nbyte_param;
    int32_t nbyte_name_length;
    char nbyte_name[32];  // first byte 0 when NBYTE was not given
    int32_t encoding;
    InformationRecord *info_record;
};
static_assert(offsetof(StreamBlock, fileref) == 0);
static_assert(offsetof(StreamBlock, method_block) == 8);
static_assert(offsetof(StreamBlock, libref) == 16);
static_assert(offsetof(StreamBlock, catalog_name_length) == 24);
static_assert(offsetof(StreamBlock, catalog_name) == 26);
static_assert(offsetof(StreamBlock, entry_name_length) == 58);
static_assert(offsetof(StreamBlock, entry_name) == 60);
static_assert(offsetof(StreamBlock, entry_type) == 92);
static_assert(offsetof(StreamBlock, open_flags) == 100);
static_assert(offsetof(StreamBlock, record_format) == 104);
static_assert(offsetof(StreamBlock, record_limit) == 112);
static_assert(offsetof(StreamBlock, block_length) == 120);
static_assert(offsetof(StreamBlock, lrecl) == 128);
static_assert(offsetof(StreamBlock, catalog_handle) == 136);
static_assert(offsetof(StreamBlock, member_mode) == 144);
static_assert(offsetof(StreamBlock, write_record_code) == 148);
static_assert(offsetof(StreamBlock, member_handle) == 152);
static_assert(offsetof(StreamBlock, record_buffer) == 160);
static_assert(offsetof(StreamBlock, buffer_count) == 168);
static_assert(offsetof(StreamBlock, last_record_code) == 172);
static_assert(offsetof(StreamBlock, description_length) == 176);
static_assert(offsetof(StreamBlock, description) == 178);
static_assert(offsetof(StreamBlock, full_name) == 434);
static_assert(offsetof(StreamBlock, full_name_length) == 524);
static_assert(offsetof(StreamBlock, open_options) == 528);
static_assert(offsetof(StreamBlock, assign_options) == 536);
static_assert(offsetof(StreamBlock, routine_table) == 544);
static_assert(offsetof(StreamBlock, fileref_record) == 552);
static_assert(offsetof(StreamBlock, attr) == 560);
static_assert(offsetof(StreamBlock, library_request) == 568);
static_assert(offsetof(StreamBlock, member_request) == 936);
static_assert(offsetof(StreamBlock, transfer_request) == 1352);
static_assert(offsetof(StreamBlock, entry_request) == 1392);
static_assert(offsetof(StreamBlock, option_flags) == 1456);
static_assert(offsetof(StreamBlock, stream_offset) == 1460);
static_assert(offsetof(StreamBlock, stream_buffer) == 1464);
static_assert(offsetof(StreamBlock, stream_buffer_size) == 1472);
static_assert(offsetof(StreamBlock, stream_remaining) == 1476);
static_assert(offsetof(StreamBlock, nbyte_value) == 1480);
static_assert(offsetof(StreamBlock, nbyte_name) == 1496);
static_assert(offsetof(StreamBlock, encoding) == 1528);
static_assert(offsetof(StreamBlock, info_record) == 1536);
static_assert(sizeof(StreamBlock) == 1544);
// The NBYTE run is copied whole from the option block.
static_assert(offsetof(StreamBlock, nbyte_name) + 32 - offsetof(StreamBlock, nbyte_value) == 48);

// Where the fields a host may read lie in the block.
inline constexpr size_t kStreamRecordFormatAt = 104;  // uint32_t, the bits above
inline constexpr size_t kStreamBlockLengthAt = 120;   // int64_t, the entry's longest block
inline constexpr size_t kStreamLreclAt = 128;         // int64_t, the effective record length
inline constexpr size_t kStreamBufferCountAt = 168;   // int32_t, bytes the last read delivered
inline constexpr size_t kStreamRecordCodeAt = 172;    // int32_t, the record code of the last read
static_assert(offsetof(StreamBlock, record_format) == kStreamRecordFormatAt);
static_assert(offsetof(StreamBlock, block_length) == kStreamBlockLengthAt);
static_assert(offsetof(StreamBlock, lrecl) == kStreamLreclAt);
static_assert(offsetof(StreamBlock, buffer_count) == kStreamBufferCountAt);
static_assert(offsetof(StreamBlock, last_record_code) == kStreamRecordCodeAt);

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
// The record code that came with the block of the last read (one of those
// above for the entries the module writes).
inline int32_t stream_record_code(const StreamBlock *stream) {
    return stream_field<int32_t>(stream, kStreamRecordCodeAt);
}

}  // namespace zef
