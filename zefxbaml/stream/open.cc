// yxlopn (slot 11): open a catalog entry, named through a fileref, as a
// sequential record stream.
#include <cstring>

#include "fileref/fileref_lookup.h"
#include "fileref/fileref_record.h"
#include "host/catalog.h"
#include "host/chains.h"
#include "host/messages.h"
#include "stream/open_steps.h"
#include "stream/type_defaults.h"
#include "zefxbaml/method_routines.h"
#include "zefxbaml/option_block.h"
#include "zefxbaml/status.h"
#include "zefxbaml/stream_block.h"
#include "zefxbaml/translate.h"

namespace zef {

namespace {

constexpr int32_t kMessageTooFewParts = 4;
constexpr int32_t kMessagePartTooLong = 5;
constexpr int32_t kLongestShortPart = 8;  // library and entry type
constexpr char kCatamsType[8] = {'C', 'A', 'T', 'A', 'M', 'S', ' ', ' '};

int32_t library_mode(uint32_t open_flags) {
    if ((open_flags & kOpenInput) != 0) return kLibraryInput;
    if ((open_flags & kOpenWriting) != 0) return kLibraryWrite;
    return 0;
}

// Takes library, catalog, entry and type from the fileref's divided name,
// upper-cased, after checking that they can name an entry. Returns 0 or
// 0x80000805 with message 4 or 5 as insert.
int32_t take_names(StreamBlock *stream, const FilerefRecord *record) {
    if (record->part_count < 3) return host::fail_with_message(kMessageTooFewParts, kNameUnsuitable);
    if (record->part4.length > kLongestShortPart || record->part1.length > kLongestShortPart)
        return host::fail_with_message(kMessagePartTooLong, kNameUnsuitable);

    std::memset(stream->libref, ' ', sizeof stream->libref);
    std::memset(stream->entry_type, ' ', sizeof stream->entry_type);
    if (record->part1.length > 0) std::memcpy(stream->libref, record->part1.text, record->part1.length);
    stream->catalog_name_length = record->part2.length;
    std::memcpy(stream->catalog_name, record->part2.text, sizeof stream->catalog_name);
    stream->entry_name_length = record->part3.length;
    std::memcpy(stream->entry_name, record->part3.text, sizeof stream->entry_name);
    if (record->part_count == 3)
        std::memcpy(stream->entry_type, kCatamsType, sizeof stream->entry_type);
    else if (record->part4.length > 0)
        std::memcpy(stream->entry_type, record->part4.text, record->part4.length);

    wztxxlt(kTranslateUpper, stream->libref, stream->libref, sizeof stream->libref);
    wztxxlt(kTranslateUpper, stream->catalog_name, stream->catalog_name,
            stream->catalog_name_length);
    wztxxlt(kTranslateUpper, stream->entry_name, stream->entry_name, stream->entry_name_length);
    normalise_entry_type(stream->entry_type);

    if (stream->catalog_name_length == 0)
        return host::fail_with_message(kMessagePartTooLong, kNameUnsuitable);
    return kOk;
}

// Opens the catalog in the library mode the open asks for, keeping that mode
// in the fileref record's library request too. Returns 0 or the negative
// ylopen status.
int32_t open_catalog(StreamBlock *stream, FilerefRecord *record, void *context) {
    int32_t mode = library_mode(stream->open_flags);
    record->library_request.library_mode = mode;

    LibraryRequest &request = stream->library_request;
    std::memset(&request, 0, sizeof request);
    std::memcpy(request.libref, stream->libref, sizeof request.libref);
    request.catalog_name_length = stream->catalog_name_length;
    std::memcpy(request.catalog_name, stream->catalog_name, sizeof request.catalog_name);
    request.library_mode = mode;
    request.host_context = context;

    void *catalog = nullptr;
    int32_t status = host::ylopen(&request, &catalog);
    if (status < 0) return status;
    stream->catalog_handle = catalog;
    return kOk;
}

// Undoes a stream that did not open: closes the entry and the catalog it
// opened and releases its buffers and the block. The open option block stays
// with the caller.
int32_t abandon(StreamBlock *stream, int32_t status) {
    close_entry(stream);
    if (stream->catalog_handle != nullptr) host::ylclose(stream->catalog_handle);
    release_stream_buffers(stream);
    host::release(stream);
    return status;
}

}  // namespace

// Finds the fileref, opens its catalog and entry and settles the record
// shape, the NBYTE binding and the buffers. Returns 0 with *out_stream set to
// the new stream, which is counted in the fileref record's open_count and
// holds the open's option block from now on; or a failure status with
// *out_stream null, nothing left open in the host and nothing obtained. The
// open option block goes with the stream only on success, and is released
// when the NBYTE variable cannot be bound; on any other failure the caller
// keeps it.
int32_t yxlopn(StreamBlock **out_stream, const char *fileref8, void *context,
               OpenRequest *request) {
    *out_stream = nullptr;
    FilerefKey key = upper_key(fileref8);
    FilerefRecord *record = nullptr;
    AccessMethodBlock *method_block = nullptr;
    int32_t status = find_fileref(key, context, &record, &method_block);
    if (status != kOk) return status;

    auto *stream = static_cast<StreamBlock *>(host::obtain(sizeof(StreamBlock), kRecordStorage));
    if (stream == nullptr) return kNoStorage;
    std::memcpy(stream->fileref, key.text, sizeof stream->fileref);
    stream->method_block = method_block;
    stream->assign_options = record->option_block;
    stream->open_flags = request->open_mode;
    stream->record_format = request->record_format;
    stream->lrecl = request->lrecl;
    stream->stream_remaining = 0;
    stream->stream_offset = 0;

    status = take_names(stream, record);
    if (status != kOk) return abandon(stream, status);
    status = open_catalog(stream, record, context);
    if (status != kOk) return abandon(stream, status);

    request->cleared_28 = 0;
    status = yxlzdfa(stream, static_cast<OptionBlock *>(request->option_block));
    if (status != kOk) return abandon(stream, status);
    request->encoding = stream->encoding;

    status = bind_nbyte(stream);
    if (status != kOk) {
        AccessMethodBlock *found = nullptr;
        if (find_method_block(kMethodName, nullptr, &found) == kOk) release_open_options(stream);
        return abandon(stream, status);
    }

    // The buffers come before the entry is opened: an output entry that is
    // opened is replaced by what it holds at its close, so a failing open
    // must not have to close one.
    status = obtain_stream_buffers(stream);
    if (status != kOk) return abandon(stream, status);
    status = open_entry(stream);
    if (status != kOk) return abandon(stream, status);

    join_full_name(stream);
    if (stream->stream_buffer_size > 0) request->lrecl = stream->lrecl;

    fileref_opened(record);
    stream->fileref_record = record;
    *out_stream = stream;
    return kOk;
}

}  // namespace zef
