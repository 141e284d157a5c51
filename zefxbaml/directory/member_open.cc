// yxlmopn (slot 29): open a member of an open directory as a record stream.
#include <cstring>

#include "directory/directory_handle.h"
#include "directory/member_kinds.h"
#include "directory/member_name.h"
#include "fileref/fileref_lookup.h"
#include "fileref/fileref_record.h"
#include "host/chains.h"
#include "stream/open_steps.h"
#include "stream/type_defaults.h"
#include "zefxbaml/method_routines.h"
#include "zefxbaml/option_block.h"
#include "zefxbaml/status.h"
#include "zefxbaml/stream_block.h"

namespace zef {

namespace {

// Gives back an open option block that the open owns (flag 0x10 clear): the
// caller hands such a block over with the open and never releases it itself,
// so every failure after the handle check releases it here.
void release_owned_options(const char *fileref8, OptionBlock *options) {
    if (options != nullptr && (options->flags & kNotOwned) == 0) yxlhbfr(fileref8, nullptr, options);
}

// Undoes a member stream that did not open: releases the owned option block,
// the buffers and the block. The host's method lookup is still asked, but
// its answer decides nothing: a host cannot tell from the status which steps
// were undone, so what it must release may not depend on it. The borrowed
// catalog stays open; no entry is left open by the open steps.
int32_t abandon(StreamBlock *stream, OptionBlock *options, int32_t status) {
    AccessMethodBlock *found = nullptr;
    find_method_block(kMethodName, nullptr, &found);
    stream->open_options = nullptr;
    release_owned_options(stream->fileref, options);
    release_stream_buffers(stream);
    host::release(stream);
    return status;
}

}  // namespace

// Opens the member named member_name (entry name, optionally a dot and an
// entry type) of the directory's catalog, which the stream borrows. Without a
// dot the type comes from the 8-character member kind through the kind
// table. Returns 0 with *out_stream set to the new stream, counted in the
// directory's fileref record, which holds the open's option block from now
// on; 0x80001025 for a null handle (nothing touched); 0x80000805 (insert:
// message 5) for an entry name longer than 32 characters; 0x80000803
// without storage; the status of the type defaults, the NBYTE binding
// (0x8000100F) or the host's entry open or positioning. On failure
// *out_stream is null and nothing obtained is kept. The open takes an owned
// option block (flag 0x10 clear) whatever its outcome, once the handle is
// not null: the stream releases it at close, or the failing open at once.
int32_t yxlmopn(StreamBlock **out_stream, DirectoryHandle *handle, const char *member_name,
                int32_t member_name_length, const char *member_kind8, OpenRequest *request) {
    if (handle == nullptr) return kNullHandle;
    *out_stream = nullptr;
    auto *options = static_cast<OptionBlock *>(request->option_block);
    MemberEntry entry;
    int32_t status = split_member_name(member_name, member_name_length,
                                       entry_type_for_kind(member_kind8), &entry);
    if (status != kOk) {
        release_owned_options(handle->fileref, options);
        return status;
    }

    auto *stream = static_cast<StreamBlock *>(host::obtain(sizeof(StreamBlock), kRecordStorage));
    if (stream == nullptr) {
        release_owned_options(handle->fileref, options);
        return kNoStorage;
    }
    std::memcpy(stream->fileref, handle->fileref, sizeof stream->fileref);
    stream->method_block = handle->method_block;
    stream->assign_options = handle->fileref_record->option_block;
    stream->open_flags = request->open_mode;
    stream->record_format = request->record_format;
    stream->lrecl = request->lrecl;
    stream->stream_remaining = 0;
    stream->stream_offset = 0;
    std::memcpy(stream->libref, handle->libref, sizeof stream->libref);
    stream->catalog_name_length = handle->catalog_name_length;
    std::memcpy(stream->catalog_name, handle->catalog_name, sizeof stream->catalog_name);
    stream->entry_name_length = entry.name_length;
    std::memcpy(stream->entry_name, entry.name, sizeof stream->entry_name);
    std::memcpy(stream->entry_type, entry.type, sizeof stream->entry_type);
    stream->catalog_handle = handle->catalog_handle;

    request->cleared_28 = 0;
    status = yxlzdfa(stream, options);
    if (status != kOk) return abandon(stream, options, status);
    request->encoding = stream->encoding;

    // The buffers and the request's LRECL are settled before the entry opens.
    status = obtain_stream_buffers(stream);
    if (status != kOk) return abandon(stream, options, status);
    request->lrecl = stream->lrecl;

    status = bind_nbyte(stream);
    if (status != kOk) return abandon(stream, options, status);
    status = open_entry(stream);
    if (status != kOk) return abandon(stream, options, status);
    join_full_name(stream);

    *out_stream = stream;
    stream->fileref_record = handle->fileref_record;
    fileref_opened(stream->fileref_record);
    return kOk;
}

}  // namespace zef
