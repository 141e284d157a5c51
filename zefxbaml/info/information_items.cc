// yxlins (slot 9) and yxlinf (slot 10): the information list of an open
// stream, one "Catalog Name" item that the host's catalog service extends.
#include "host/catalog.h"
#include "host/chains.h"
#include "zefxbaml/blank_padded.h"
#include "zefxbaml/method_routines.h"
#include "zefxbaml/status.h"
#include "zefxbaml/stream_block.h"

namespace zef {

namespace {
constexpr char kCatalogNameLabel[] = "Catalog Name";
}

// Starts the information list of a stream: a zero-filled record whose one
// item is the stream's joined full name, handed to ylinfsy. The record points
// into the stream, so it lives no longer than the stream; the stream owns it
// (info_record) until yxlinf or close ends it. Returns ylinfsy's status (zero
// or positive: attached, and *record_out set; negative: released, and
// *record_out and info_record null); 0x80001025 for a null stream;
// 0x80000803 without storage, nothing written.
int32_t yxlins(StreamBlock *stream, InformationRecord **record_out) {
    if (stream == nullptr) return kNullHandle;
    auto *record = static_cast<InformationRecord *>(
        host::obtain(sizeof(InformationRecord), kRecordStorage));
    if (record == nullptr) return kNoStorage;
    record->item_count = 1;
    record->item_label = kCatalogNameLabel;
    record->label_length = wzstlen(kCatalogNameLabel);
    record->item_value = stream->full_name;
    record->value_length = stream->full_name_length;

    int32_t status = host::ylinfsy(stream->catalog_handle, record);
    if (status < 0) {
        host::release(record);
        record = nullptr;
    }
    *record_out = record;
    stream->info_record = record;
    return status;
}

// Ends an information list: gives the record's host word back to ylinfsr and
// releases the record whatever it answers. The stream forgets the record if
// it is the one attached. Returns ylinfsr's status; 0 for a null record
// (nothing done); 0x80001025 for a null stream.
int32_t yxlinf(StreamBlock *stream, InformationRecord *record) {
    if (stream == nullptr) return kNullHandle;
    if (record == nullptr) return kOk;
    int32_t status =
        host::ylinfsr(stream->catalog_handle, reinterpret_cast<void *>(record->host_word));
    host::release(record);
    // An earlier record given back must not make the stream forget a later one.
    if (stream->info_record == record) stream->info_record = nullptr;
    return status;
}

}  // namespace zef
