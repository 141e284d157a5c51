// What the record read and write routines share: the size of the stream's
// record buffer, the one ylmread of a read with its delivered count held to
// that buffer, and byte moves that do nothing for a count of 0. Everything
// here is inline: it runs once per record.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "host/catalog.h"
#include "stream/open_steps.h"
#include "zefxbaml/abi.h"
#include "zefxbaml/status.h"
#include "zefxbaml/stream_block.h"

namespace zef {

inline constexpr char kBlank = ' ';

// Bytes of record_buffer that the routines may touch: what the open gave it
// (open_steps.h), 0 when the stream has none.
inline int64_t record_buffer_capacity(const StreamBlock *stream) {
    if (stream->record_buffer == nullptr) return 0;
    int64_t size = stream_buffer_bytes(stream);
    return size > 0 ? size : 0;
}

// The longest block a read may bring. A stream that only reads sees one
// version of its entry, whose blocks are none longer than block_length
// (from the entry's recorded size); a stream that writes may have written
// any block its record_buffer holds. `capacity` is record_buffer_capacity.
inline int64_t longest_block(const StreamBlock *stream, int64_t capacity) {
    if ((stream->open_flags & kOpenWriting) == 0 && (stream->open_flags & kOpenInput) != 0 &&
        stream->block_length > 0)
        return std::min(stream->block_length, capacity);
    return capacity;
}

// The host's end of member, whatever the bits it leaves free.
inline bool is_end_of_member(int32_t status) {
    return (static_cast<uint32_t>(status) & 0x803FFFFFu) ==
           static_cast<uint32_t>(kCatalogEndOfMember);
}

inline void copy_bytes(char *target, const char *source, int64_t count) {
    if (count > 0) std::memcpy(target, source, static_cast<size_t>(count));
}

inline void fill_blanks(char *target, int64_t count) {
    if (count > 0) std::memset(target, kBlank, static_cast<size_t>(count));
}

// One block from the entry into `target`, which holds `room` bytes; `room`
// is never more than record_buffer holds (the caller has its capacity at
// hand, so that it is worked out once a record). Stores buffer_count and
// last_record_code and returns the ylmread status with the end of member
// turned into 0x801. The count kept is never below 0 nor above `room`,
// whatever the host reports, so nothing that follows reaches past the
// buffer.
inline int32_t read_block_into(StreamBlock *stream, char *target, int64_t room) {
    TransferRequest &transfer = stream->transfer_request;
    std::memset(&transfer, 0, sizeof transfer);
    transfer.buffer = target;
    int32_t status = host::ylmread(stream->member_handle, &transfer);
    if (is_end_of_member(status)) status = kEndOfFile;
    int64_t delivered = static_cast<int32_t>(static_cast<uint32_t>(transfer.length));
    delivered = std::clamp<int64_t>(delivered, 0, room);
    stream->buffer_count = static_cast<int32_t>(delivered);
    stream->last_record_code = transfer.record_code;
    return status;
}

// One block into record_buffer, whose capacity is `capacity`.
inline int32_t read_block(StreamBlock *stream, int64_t capacity) {
    return read_block_into(stream, stream->record_buffer, capacity);
}

// One record to the entry with the given record code.
inline int32_t write_record(StreamBlock *stream, const char *record, int64_t length,
                            uint16_t record_code) {
    TransferRequest &transfer = stream->transfer_request;
    std::memset(&transfer, 0, sizeof transfer);
    transfer.buffer = const_cast<char *>(record);
    transfer.length = length;
    transfer.record_code = record_code;
    return host::ylmwrit(stream->member_handle, &transfer);
}

}  // namespace zef
