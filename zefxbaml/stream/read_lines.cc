// yxlrds: the line read of SOURCE, LOG and OUTPUT streams (through the
// routine table only).
#include <algorithm>
#include <cstdint>

#include "stream/line_routines.h"
#include "stream/record_transfer.h"
#include "zefxbaml/status.h"
#include "zefxbaml/stream_block.h"

namespace zef {

namespace {

// The text of a line record of `delivered` bytes: how many bytes, whether
// the control byte is skipped, and whether the record's last byte follows
// the text (ATTR).
struct LineText {
    int64_t count;
    int64_t start;
    bool keeps_last;
};

LineText line_text(int32_t record_code, int64_t delivered, bool attr) {
    LineText text{0, attr ? 0 : 1, false};
    switch (record_code) {
    case kCodeLine:
        text.count = attr ? delivered : delivered - 1;
        break;
    case kCodeAttributedLine:
        text.count = attr ? delivered : delivered - 2;
        break;
    case kCodeAttributedPair:
        text.count = attr ? delivered / 2 - 1 : (delivered - 1) / 2 - 1;
        text.keeps_last = attr;
        break;
    default:
        // Text and attributes side by side: the text is the first half.
        text.count = delivered / 2 - 1;
        text.keeps_last = attr;
        break;
    }
    text.count = std::max<int64_t>(text.count, 0);
    return text;
}

}  // namespace

// See line_routines.h. buffer_count holds the text length of the record.
int32_t yxlrds(StreamBlock *stream, char **data, int64_t *length, char *carriage) {
    if (stream == nullptr) return kNullHandle;
    *data = nullptr;
    *length = 0;
    if (stream->record_buffer == nullptr) return kNoStorage;

    const int64_t capacity = record_buffer_capacity(stream);
    int32_t status = read_block(stream, capacity);
    char *buffer = stream->record_buffer;
    int64_t delivered = stream->buffer_count;
    // Nearly every record: a plain line of a stream without ATTR, P or F,
    // whose text is all after the control byte. Decided from the fields
    // first, so that it costs a few tests and no work of the general path.
    if (status == kOk && delivered > 0 && stream->last_record_code == kCodeLine && stream->attr == 0 &&
        (stream->record_format & (kRecordPrint | kRecordFixed)) == 0) {
        int64_t count = delivered - 1;
        stream->buffer_count = static_cast<int32_t>(count);
        *data = buffer + 1;
        *length = std::min(count, std::max<int64_t>(stream->lrecl, 0));
        if (carriage != nullptr) *carriage = kBlank;
        return kOk;
    }
    if (delivered == 0) {
        *data = buffer;
        return status;
    }
    LineText text = line_text(stream->last_record_code, delivered, stream->attr != 0);
    // Taken before F filling may cover it, and only when it is kept: the
    // byte was stored by the host's copy a moment ago, and loading it at
    // once waits for that copy to land (a stall on every line).
    char last = kBlank;
    if (text.keeps_last) last = buffer[delivered - 1];
    stream->buffer_count = static_cast<int32_t>(text.count);
    if (status < 0) return status;

    int64_t lrecl = std::max<int64_t>(stream->lrecl, 0);
    int64_t start = text.start;
    int64_t taken = std::min(text.count, lrecl);
    char mark = kBlank;
    if ((stream->record_format & kRecordPrint) != 0 && text.count > 0) {
        start += 1;
        taken = std::min(text.count - 1, lrecl);
        if (capacity > 1) mark = buffer[1];
    }
    // One blank fewer than the general read fills.
    if ((stream->record_format & kRecordFixed) != 0 && taken < lrecl) {
        int64_t fill_end = std::min(start + lrecl - 1, capacity);
        fill_blanks(buffer + start + taken, fill_end - (start + taken));
    }
    if (text.keeps_last && start + taken < capacity) buffer[start + taken++] = last;

    *data = buffer + start;
    *length = taken;
    if (carriage != nullptr) *carriage = mark;
    return status;
}

}  // namespace zef
