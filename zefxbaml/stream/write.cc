// yxlwrit (slot 19): the general write, one record per ylmwrit, labelled
// with the record code of the stream's entry type.
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "stream/entry_types.h"
#include "stream/record_transfer.h"
#include "zefxbaml/blank_padded.h"
#include "zefxbaml/method_routines.h"
#include "zefxbaml/status.h"
#include "zefxbaml/stream_block.h"

namespace zef {

namespace {

constexpr char kCatamsType[8] = {'C', 'A', 'T', 'A', 'M', 'S', ' ', ' '};
// What an empty CATAMS record is stored as (code 270).
constexpr char kEmptyCatamsRecord[1] = {'1'};

// The entry type's record code, looked up at the stream's first write and
// kept in the block, so that later writes only read it.
uint16_t write_code(StreamBlock *stream) {
    if (stream->write_record_code == 0)
        stream->write_record_code = record_code_for_type(stream->entry_type);
    return stream->write_record_code;
}

}  // namespace

// Writes `length` bytes of `data` as one record of the stream's entry, cut
// to lrecl. Without P the caller's bytes go to the host in place; P format
// builds the carriage byte (the low byte of `carriage`) and the text in
// record_buffer, F as well blank-fills the text to the whole record. An
// empty record of a CATAMS entry is stored as "1" with code 270. Returns 0;
// 0x1009 when the text was cut; the ylmwrit status when it is not 0;
// 0x80000803 when a P record has no buffer to be built in; 0x80001025 for a
// null stream. Nothing is kept across calls.
int32_t yxlwrit(StreamBlock *stream, const char *data, int64_t length, int32_t carriage) {
    if (stream == nullptr) return kNullHandle;
    int64_t lrecl = std::max<int64_t>(stream->lrecl, 0);
    int64_t limit = std::max<int64_t>(stream->record_limit, 0);
    int64_t text = std::clamp<int64_t>(length, 0, lrecl);
    uint16_t code = write_code(stream);

    const char *record = data;
    int64_t sent = std::min(text, limit);
    int64_t text_sent = sent;
    if ((stream->record_format & kRecordPrint) != 0) {
        int64_t capacity = record_buffer_capacity(stream);
        if (capacity < 1) return kNoStorage;
        char *buffer = stream->record_buffer;
        int64_t room = capacity - 1;
        if ((stream->record_format & kRecordFixed) != 0) {
            // Blanks up to the whole record sent, so that no byte of it is
            // left from an earlier record.
            int64_t field = std::clamp<int64_t>(limit - 1, 0, room);
            vzmp(data, static_cast<int32_t>(std::min(text, field)), buffer + 1,
                 static_cast<int32_t>(field));
            sent = std::min(limit, field + 1);
        } else {
            copy_bytes(buffer + 1, data, std::min(text, room));
            sent = std::min(std::min(text, room) + 1, limit);
        }
        buffer[0] = static_cast<char>(carriage);
        record = buffer;
        text_sent = std::max<int64_t>(sent - 1, 0);
    } else if (text == 0 && std::memcmp(stream->entry_type, kCatamsType, 8) == 0) {
        record = kEmptyCatamsRecord;
        sent = sizeof kEmptyCatamsRecord;
        code = kCodeEmptyCatams;
    }

    int32_t status = write_record(stream, record, sent, code);
    if (status != kOk) return status;
    return length > lrecl || text_sent < text ? kRecordTruncated : kOk;
}

}  // namespace zef
