// yxlinfo (slot 8): file information about an open stream or an assigned fileref.
#include <cstring>

#include "fileref/fileref_lookup.h"
#include "fileref/fileref_record.h"
#include "zefxbaml/method_routines.h"
#include "zefxbaml/option_block.h"
#include "zefxbaml/status.h"
#include "zefxbaml/stream_block.h"

namespace zef {

namespace {

// Item bits of the mask.
constexpr uint32_t kItemName = 0x01;
constexpr uint32_t kItemFormat = 0x02;
constexpr uint32_t kItemLrecl = 0x04;
constexpr uint32_t kItemDevice = 0x08;
constexpr uint32_t kItemHost32 = 0x10;
constexpr uint32_t kItemHost40 = 0x20;

// Kind flags ORed into the request.
constexpr uint64_t kKindCatalog = 0x2;
constexpr uint64_t kKindEntry = 0x4;

// Record format codes.
constexpr int32_t kCodeFixed = 0x08;
constexpr int32_t kCodeVariable = 0x20;
constexpr int32_t kCodePrint = 0x10;

constexpr char kDeviceType[8] = {'C', 'A', 'T', 'A', 'L', 'O', 'G', ' '};

uint64_t kind_of(const FilerefRecord *record) {
    return record != nullptr && (record->flags & kNamesCatalog) != 0 ? kKindCatalog : kKindEntry;
}

int32_t format_code(uint32_t record_format) {
    int32_t code = (record_format & kRecordFixed) != 0 ? kCodeFixed : kCodeVariable;
    if ((record_format & kRecordPrint) != 0) code += kCodePrint;
    return code;
}

}  // namespace

// Fills the host's file information request. With a stream: the kind flags,
// then each item whose bit is in item_mask (name, format code, LRECL, device
// type, the two host items); other fields stay as they were. Without one:
// the fileref named by fileref8 is looked up and its kind flags, full name
// and device type are filled whatever the mask. Returns 0; for the lookup,
// the host's status or 0x80001004 (insert: the name), the request untouched.
int32_t yxlinfo(StreamBlock *stream, const char *fileref8, void *context, uint32_t item_mask,
                void *, FileInformationRequest *request) {
    if (stream == nullptr) {
        FilerefRecord *record = nullptr;
        int32_t status = find_fileref(fileref8, context, &record);
        if (status != kOk) return status;
        request->kind_flags |= kind_of(record);
        request->name = record->full_name;
        request->name_length = record->full_name_length;
        std::memcpy(request->device_type, kDeviceType, sizeof kDeviceType);
        return kOk;
    }

    request->kind_flags |= kind_of(stream->fileref_record);
    if ((item_mask & kItemName) != 0) {
        request->name = stream->full_name;
        request->name_length = stream->full_name_length;
    }
    if ((item_mask & kItemFormat) != 0) request->record_format_code = format_code(stream->record_format);
    if ((item_mask & kItemLrecl) != 0) request->lrecl = stream->lrecl;
    if ((item_mask & kItemDevice) != 0)
        std::memcpy(request->device_type, kDeviceType, sizeof kDeviceType);
    if ((item_mask & kItemHost32) != 0) request->host_item_32 = 0;
    if ((item_mask & kItemHost40) != 0) request->host_item_40 = 12;
    return kOk;
}

}  // namespace zef
