// yxlread (slot 18): the general read. Every format but S takes one host
// block as one record, handed out in place in record_buffer; S format puts
// together runs of a wanted number of bytes in stream_buffer, carrying what a
// run leaves of a block over to the next read; a block that lies wholly
// inside the run is read into its place there rather than copied.
#include <algorithm>
#include <cstdint>

#include "host/chains.h"
#include "host/kernel.h"
#include "stream/record_transfer.h"
#include "zefxbaml/method_routines.h"
#include "zefxbaml/status.h"
#include "zefxbaml/stream_block.h"

namespace zef {

namespace {

constexpr int32_t kMessageRunTooLong = 25;
// A wanted count below 0, not a number, or past 32 bits cannot be assembled;
// it is refused with the status of a count the stream cannot serve.
constexpr int32_t kRunCountRefused = kNbyteTooLarge;

// One block as one record. P format hands out the first byte as the
// carriage character and the text after it; F format blank-fills the text
// to lrecl (within record_buffer). A record of code 270 is empty.
int32_t read_record(StreamBlock *stream, char **data, int64_t *length, char *carriage) {
    const int64_t capacity = record_buffer_capacity(stream);
    int32_t status = read_block(stream, capacity);
    char *buffer = stream->record_buffer;
    if (stream->last_record_code == kCodeEmptyCatams) {
        *data = buffer;
        return status;
    }
    if (status < 0) return status;

    int64_t lrecl = std::max<int64_t>(stream->lrecl, 0);
    int64_t start = 0;
    int64_t count = stream->buffer_count;
    char mark = kBlank;
    if ((stream->record_format & kRecordPrint) != 0 && count > 0) {
        mark = buffer[0];
        start = 1;
        count -= 1;
    }
    int64_t taken = std::min(count, lrecl);
    if ((stream->record_format & kRecordFixed) != 0 && taken < lrecl) {
        int64_t fill_end = std::min(start + lrecl, capacity);
        fill_blanks(buffer + start + taken, fill_end - (start + taken));
    }
    *data = buffer + start;
    *length = taken;
    if (carriage != nullptr) *carriage = mark;
    return status;
}

// How many bytes an S run wants: the bound NBYTE variable's value (0: one
// record_limit), else the caller's length, else (0) lrecl and no more than
// the first block read brings. Returns 0 with *wanted set; 0x8000101A after
// logging message 25 when NBYTE asks for more than record_limit (length then
// record_limit, data stream_buffer); 0x8000101A with nothing delivered for a
// count below 0, not a number, or too large to hold.
int32_t settle_wanted(StreamBlock *stream, char **data, int64_t *length, int64_t *wanted,
                      bool *first_block_only) {
    int64_t count = *length;
    if (stream->nbyte_value != nullptr) {
        double value = *stream->nbyte_value;
        if (!(value > -1.0)) {  // below 0 once cut toward zero, or NaN
            *length = 0;
            return kRunCountRefused;
        }
        if (value >= static_cast<double>(stream->record_limit) + 1.0 || value >= 2147483648.0) {
            int64_t logged = value < 9.2e18 ? static_cast<int64_t>(value) : INT64_MAX;
            host::ypmlog(kMessageSet, kMessageRunTooLong, logged);
            *length = stream->record_limit;
            *data = stream->stream_buffer;
            return kNbyteTooLarge;
        }
        count = static_cast<int64_t>(value);
        if (count == 0) count = stream->record_limit;
    }
    *first_block_only = count == 0;
    if (count == 0) count = stream->lrecl;
    if (count < 0 || count > INT32_MAX) {
        *length = 0;
        return kRunCountRefused;
    }
    *wanted = count;
    *length = count;
    return kOk;
}

// Makes stream_buffer hold at least `wanted` bytes. The old buffer goes
// first; when the larger one is refused the stream has none (size 0) and
// 0x80000803 is returned.
int32_t make_room(StreamBlock *stream, int64_t wanted) {
    if (wanted <= stream->stream_buffer_size) return kOk;
    if (stream->stream_buffer != nullptr) host::release(stream->stream_buffer);
    stream->stream_buffer_size = 0;
    stream->stream_buffer = static_cast<char *>(host::obtain(wanted, kBufferStorage));
    if (stream->stream_buffer == nullptr) return kNoStorage;
    stream->stream_buffer_size = static_cast<int32_t>(wanted);
    return kOk;
}

// An S run of *length bytes (see settle_wanted) assembled in stream_buffer
// from what the last block left over and from as many further blocks as it
// takes. The run comes back with status 0; a run that the end of the entry
// cut short comes back whole, and the next read reports 0x801 with length 0.
// What a block has beyond the run stays for the next read.
int32_t read_run(StreamBlock *stream, char **data, int64_t *length) {
    int64_t wanted = 0;
    bool first_block_only = false;
    int32_t status = settle_wanted(stream, data, length, &wanted, &first_block_only);
    if (status != kOk) return status;
    status = make_room(stream, wanted);
    if (status != kOk) return status;

    char *run = stream->stream_buffer;
    const char *block = stream->record_buffer;
    int64_t offset = stream->stream_offset;
    int64_t remaining = stream->stream_remaining;

    // The leftover is read from record_buffer; the run written to
    // stream_buffer, which make_room sized for it (it may be smaller than
    // the block after a refused larger one).
    const int64_t block_capacity = record_buffer_capacity(stream);

    // Enough left over from the last block.
    if (wanted < remaining) {
        if (offset + wanted > block_capacity) return kRecordTruncated;
        copy_bytes(run, block + offset, wanted);
        stream->stream_offset = static_cast<int32_t>(offset + wanted);
        stream->stream_remaining = stream->buffer_count - stream->stream_offset;
        *data = run;
        return kOk;
    }

    // Carry the rest of the last block to the start of the run.
    int64_t sum = 0;
    if (remaining > 0) {
        if (offset + remaining > block_capacity) return kRecordTruncated;
        copy_bytes(run, block + offset, remaining);
        sum = remaining;
        stream->stream_offset = 0;
        stream->stream_remaining = 0;
        if (wanted == sum) {
            *data = run;
            return kOk;
        }
    }
    bool carried = sum > 0;

    for (bool first = true;; first = false) {
        // A block that cannot pass the end of the run is read straight into
        // its place: nothing of it is left over, and nothing need be copied.
        bool in_place = wanted - sum >= longest_block(stream, block_capacity);
        status = in_place ? read_block_into(stream, run + sum, std::min(wanted - sum, block_capacity))
                          : read_block(stream, block_capacity);
        int64_t count = stream->buffer_count;
        if (status == kEndOfFile) {
            if (first && !carried) {
                *length = 0;
                return kEndOfFile;
            }
            *length = sum;
            *data = run;
            return kOk;
        }
        if (status < 0) return status;

        int64_t needed = wanted - sum;
        if (first && first_block_only) {
            // No more than this block brings (and never past the run).
            needed = std::min(needed, count);
            *length = sum + needed;
        }
        if (needed <= count) {
            if (!in_place) copy_bytes(run + sum, block, needed);
            stream->stream_offset = needed == count ? 0 : static_cast<int32_t>(needed);
            stream->stream_remaining = static_cast<int32_t>(count - needed);
            if (status != kOk) return status;
            *data = run;
            return kOk;
        }
        if (sum + count > stream->stream_buffer_size) return kRecordTruncated;
        if (!in_place) copy_bytes(run + sum, block, count);
        stream->stream_offset = 0;
        stream->stream_remaining = 0;
        sum += count;
    }
}

}  // namespace

// Reads the next record into the stream's buffers and points *data at it
// (null when nothing is delivered), with its length in *length and, when
// carriage is given, the P carriage character or a blank. For S format
// *length is also the wanted count. Returns 0; 0x801 at the end of the
// entry; 0x1009, 0x8000101A or 0x80000803 for an S run that cannot be
// assembled; 0x80000803 when the stream has no record buffer; the ylmread
// status otherwise; 0x80001025 for a null stream. The stream keeps the data.
int32_t yxlread(StreamBlock *stream, char **data, int64_t *length, char *carriage) {
    if (stream == nullptr) return kNullHandle;
    *data = nullptr;
    bool run = (stream->record_format & kRecordStream) != 0;
    if (!run) *length = 0;
    if (stream->record_buffer == nullptr) {
        *length = 0;
        return kNoStorage;
    }
    return run ? read_run(stream, data, length) : read_record(stream, data, length, carriage);
}

}  // namespace zef
