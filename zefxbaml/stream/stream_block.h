// The stream control block's fields, which only the module reads (a host
// holds the block as a handle: zefxbaml/stream_block.h). One per open entry
// or member stream, from open to close. Obtained zero-filled from the storage
// pool (close tests pointers that only some paths set); its buffers come with
// option 4. Every read, write, note, point, flush and close receives it first.
#pragma once

#include <cstddef>
#include <cstdint>

#include "zefxbaml/control_block.h"
#include "zefxbaml/requests.h"
#include "zefxbaml/stream_block.h"

namespace zef {

struct FilerefRecord;
struct OptionBlock;
struct RoutineTable;

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
// The fields a host may read, where zefxbaml/stream_block.h says they are.
static_assert(offsetof(StreamBlock, record_format) == kStreamRecordFormatAt);
static_assert(offsetof(StreamBlock, block_length) == kStreamBlockLengthAt);
static_assert(offsetof(StreamBlock, lrecl) == kStreamLreclAt);
static_assert(offsetof(StreamBlock, buffer_count) == kStreamBufferCountAt);
// The NBYTE run is copied whole from the option block.
static_assert(offsetof(StreamBlock, nbyte_name) + 32 - offsetof(StreamBlock, nbyte_value) == 48);

}  // namespace zef
