// The steps that every stream open takes, shared by the entry open (yxlopn)
// and the member open (yxlmopn): normalising the entry type, the member
// request and the entry open with append positioning, the NBYTE binding, the
// buffers, the joined full name, and the undoing of each on a failure path.
//
// Buffer sizes, which the read and write routines rely on:
//   record_buffer holds max(block_length, lrecl) bytes as the open request
//   asked, and, whenever a buffer is obtained at all, also at least
//   lrecl + 2 bytes (a leading zero byte, a carriage byte and lrecl bytes of
//   text: the largest record any write layout builds, and the furthest any
//   read fills) and at least record_limit bytes (what an F write sends). A
//   stream that may be written (output, append or update) always gets one,
//   of at least 2 bytes, even when the lengths come out as 0. The write and
//   read routines therefore never need to cut a record to fit the buffer as
//   long as they build at most two framing bytes plus lrecl bytes and send at
//   most record_limit. stream_buffer_size is that size, and the S format's
//   stream_buffer starts with the same size (a read may later grow it and
//   stream_buffer_size with it; record_buffer keeps its size).
#pragma once

#include <algorithm>
#include <cstdint>

#include "zefxbaml/stream_block.h"

namespace zef {

// Upper-cases an 8-character blank-padded type in place; "ZEF" becomes
// "SOURCE", under which name such entries are kept.
void normalise_entry_type(char *type8);

// A leading zero byte and a carriage byte ahead of the text.
inline constexpr int64_t kStreamFramingBytes = 2;
inline constexpr int64_t kLargestStreamBuffer = INT32_MAX;

// The size open gives record_buffer (and stream_buffer) once the type
// defaults are settled; 0 or less when the stream gets no buffer. Inline:
// the record routines work it out again on every record, from the fields
// the open set.
inline int64_t stream_buffer_bytes(const StreamBlock *stream) {
    int64_t size = std::max(stream->block_length, stream->lrecl);
    bool writable = (stream->open_flags & kOpenWriting) != 0;
    if (size <= 0 && !writable) return size;
    // Past this the buffer could not be described anyway; saturating keeps
    // the sums below from overflowing.
    if (size > kLargestStreamBuffer || stream->lrecl > kLargestStreamBuffer ||
        stream->record_limit > kLargestStreamBuffer)
        return kLargestStreamBuffer + 1;
    size = std::max(size, stream->lrecl + kStreamFramingBytes);
    size = std::max(size, stream->record_limit);
    return std::max(size, kStreamFramingBytes);
}

// Obtains record_buffer and, for S format, stream_buffer (option 4), of
// stream_buffer_bytes each, and sets stream_buffer_size. Returns 0 (also
// when no buffer is due), or 0x80000803 with nothing obtained when either is
// refused or the size cannot be held.
int32_t obtain_stream_buffers(StreamBlock *stream);

// Releases whichever buffers the stream holds and forgets them.
void release_stream_buffers(StreamBlock *stream);

// Binds the NBYTE variable of an S-format input stream through the host's
// variable lookup; every other stream gets no binding. Returns 0, or
// 0x8000100F after logging message 73 when the host cannot bind the name.
int32_t bind_nbyte(StreamBlock *stream);

// Fills the member request from the stream (catalog handle, entry name and
// type, member mode, description) and opens the entry (ylmopen); positions
// at its end when the stream appends (ylmpoin). Returns 0, the negative
// ylmopen status, or the nonzero ylmpoin status; on a failure no entry is
// left open and member_handle is null.
int32_t open_entry(StreamBlock *stream);

// Closes the stream's entry when it has one; returns ylmclos's status (0
// when there was none). member_handle is null afterwards.
int32_t close_entry(StreamBlock *stream);

// Joins library, catalog, entry and type, each without trailing blanks,
// with '.' into full_name and sets full_name_length.
void join_full_name(StreamBlock *stream);

// Releases the open's option block through yxlhbfr when the stream owns it
// (flag 0x10 clear) and forgets it.
void release_open_options(StreamBlock *stream);

}  // namespace zef
