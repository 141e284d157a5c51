// yxlwrt: the line write of SOURCE, LOG and OUTPUT streams (through the
// routine table only).
#include <algorithm>
#include <cstdint>

#include "stream/line_routines.h"
#include "stream/record_transfer.h"
#include "zefxbaml/blank_padded.h"
#include "zefxbaml/status.h"
#include "zefxbaml/stream_block.h"

namespace zef {

namespace {

constexpr int32_t kRequestNewPage = 3;
constexpr int32_t kRequestDoubleSpace = 2;

char carriage_character(int32_t request) {
    if (request == kRequestNewPage) return '1';
    if (request == kRequestDoubleSpace) return '2';
    return kBlank;
}

}  // namespace

// See line_routines.h. The record is built in record_buffer and sent as
// at most record_limit bytes; with F the text is blank padded up to that.
int32_t yxlwrt(StreamBlock *stream, const char *data, int64_t length, int32_t carriage_request) {
    if (stream == nullptr) return kNullHandle;
    bool print = (stream->record_format & kRecordPrint) != 0;
    int64_t framing = print ? 2 : 1;  // zero byte, carriage character
    int64_t capacity = record_buffer_capacity(stream);
    if (capacity < framing) return kNoStorage;

    int64_t lrecl = std::max<int64_t>(stream->lrecl, 0);
    int64_t limit = std::max<int64_t>(stream->record_limit, 0);
    int64_t text = std::clamp<int64_t>(length, 0, lrecl);
    int64_t room = capacity - framing;
    char *buffer = stream->record_buffer;
    int64_t sent = 0;
    if ((stream->record_format & kRecordFixed) != 0) {
        // Blanks up to the whole record sent, so that no byte of it is left
        // from an earlier record.
        int64_t field = std::clamp<int64_t>(limit - framing, 0, room);
        vzmp(data, static_cast<int32_t>(std::min(text, field)), buffer + framing,
             static_cast<int32_t>(field));
        sent = std::min(limit, field + framing);
    } else {
        copy_bytes(buffer + framing, data, std::min(text, room));
        sent = std::min(std::min(text, room) + framing, limit);
    }
    buffer[0] = 0;
    if (print) buffer[1] = carriage_character(carriage_request);

    int32_t status = write_record(stream, buffer, sent, kCodeLine);
    if (status != kOk) return status;
    int64_t text_sent = std::max<int64_t>(sent - framing, 0);
    return length > lrecl || text_sent < text ? kRecordTruncated : kOk;
}

}  // namespace zef
