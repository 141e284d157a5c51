#include "stream/type_defaults.h"

#include <cstring>

#include "host/catalog.h"
#include "host/chains.h"
#include "host/kernel.h"
#include "host/messages.h"
#include "stream/entry_types.h"
#include "zefxbaml/option_block.h"
#include "zefxbaml/status.h"

namespace zef {

namespace {

constexpr int32_t kMessageTypeNotWritable = 1;
constexpr int32_t kDefaultLreclOption = 4488;
constexpr uint32_t kKindTopByte = 0xFF000000;
constexpr uint32_t kKindUnusable = 0x01000000;
// The least block an existing entry is read with, and the record length of
// a new entry that nothing else gives one.
constexpr int64_t kSmallestBlock = 132;

constexpr size_t kNbyteRun = 48;
static_assert(offsetof(OptionBlock, nbyte_name) + kNbyteNameWidth -
                  offsetof(OptionBlock, nbyte_binding) == kNbyteRun);

int64_t magnitude(int64_t value) {
    if (value >= 0) return value;
    return value == INT64_MIN ? INT64_MAX : -value;
}

int64_t larger(int64_t a, int64_t b) { return a > b ? a : b; }

void take_description(StreamBlock *stream, const OptionBlock *options) {
    int16_t length = options->description_length;
    // Parsing may record a longer length than the field holds.
    if (length > kDescriptionWidth) length = kDescriptionWidth;
    if (length < 0) length = 0;
    stream->description_length = length;
    std::memcpy(stream->description, options->description, sizeof stream->description);
}

// The record length the options or the request give, else the host's
// default; -1 when the host's default is not usable, or the host could not
// say it (a length of 0 read from an unanswered call would cut every record
// to nothing).
int64_t record_length(const OptionBlock *open, const OptionBlock *assigned, int64_t requested) {
    if (open != nullptr && open->lrecl > 0) return open->lrecl;
    if (assigned != nullptr && assigned->lrecl > 0) return assigned->lrecl;
    if (requested > 0) return requested;
    int64_t value = 0;
    int32_t kind = 0;
    int32_t status = host::yyrn6gf(kDefaultLreclOption, &value, &kind, host::current_task_context());
    if (status != kOk) return -1;
    if ((static_cast<uint32_t>(kind) & kKindTopByte) == kKindUnusable) return -1;
    return value;
}

// The size of the entry's longest block as the host reports it; *size stays
// 0 when the entry cannot be described.
int32_t describe_entry(StreamBlock *stream, int64_t *size) {
    EntryRequest &request = stream->entry_request;
    std::memset(&request, 0, sizeof request);
    request.catalog_handle = stream->catalog_handle;
    request.entry_name_length = stream->entry_name_length;
    std::memcpy(request.entry_name, stream->entry_name, sizeof request.entry_name);
    std::memcpy(request.entry_type, stream->entry_type, sizeof request.entry_type);
    *size = 0;
    return host::ylminfo(&request, size);
}

}  // namespace

int32_t yxlzdfa(StreamBlock *stream, OptionBlock *open_options) {
    const OptionBlock *open = open_options;
    const OptionBlock *assigned = stream->assign_options;
    const int64_t requested = stream->lrecl;

    stream->description_length = 0;
    if (open != nullptr && open->description_length != 0)
        take_description(stream, open);
    else if (assigned != nullptr)
        take_description(stream, assigned);

    // An encoding given at assignment can only be carried by a stream of bytes.
    uint32_t format = stream->record_format;
    if (assigned != nullptr && (assigned->encoding_flags & kEncodingGiven) != 0)
        format = kRecordStream;
    else if (open != nullptr && open->record_format != 0)
        format = open->record_format;
    else if (assigned != nullptr && assigned->record_format != 0)
        format = assigned->record_format;

    int32_t encoding = 0;
    if (open != nullptr && open->encoding != 0)
        encoding = open->encoding;
    else if (assigned != nullptr && assigned->encoding != 0)
        encoding = assigned->encoding;
    stream->encoding = encoding;
    if (encoding != 0) stream->open_flags |= kOpenEncoded;

    if ((open != nullptr && open->attr != 0) || (assigned != nullptr && assigned->attr != 0))
        stream->attr = 1;
    stream->record_format = format;

    if ((stream->open_flags & kOpenInput) != 0) {
        stream->member_mode = kMemberInput;
    } else {
        if ((open != nullptr && (open->mode & kModeAppend) != 0) ||
            (assigned != nullptr && (assigned->mode & kModeAppend) != 0))
            stream->open_flags = (stream->open_flags | kOpenAppend) & ~kOpenOutput;
        stream->member_mode =
            (stream->open_flags & kOpenOutput) != 0 ? kMemberOutput : kMemberAppend;
    }
    const uint32_t flags = stream->open_flags;

    if ((flags & kOpenWriting) != 0 && find_entry_type(stream->entry_type) == nullptr)
        return host::fail_with_message(kMessageTypeNotWritable, kNameUnsuitable);

    int64_t n = record_length(open, assigned, requested);

    // NBYTE given only at assignment is not used.
    if (open != nullptr) std::memcpy(&stream->nbyte_value, open->nbyte_binding, kNbyteRun);

    int64_t size = 0;
    int32_t described = describe_entry(stream, &size);
    const int64_t smallest = larger(size, kSmallestBlock);
    const int64_t asked = magnitude(requested);

    int64_t block_length = 0;
    bool existing = false;
    if ((flags & (kOpenInput | kOpenUpdate)) != 0) {
        if (described < 0) return described;
        existing = true;
    } else if ((flags & kOpenAppend) != 0 && described >= 0) {
        existing = true;
    }
    if (existing) {
        // Blocks as long as the entry's longest must fit.
        if (n < 0) {
            n = larger(smallest, asked);
            block_length = n;
        } else {
            block_length = smallest;
        }
    } else if ((flags & (kOpenOutput | kOpenAppend)) != 0) {
        if (n < 0) n = asked != 0 ? asked : kSmallestBlock;
        block_length = n;
    }
    stream->block_length = block_length;
    stream->record_limit = n;

    if ((format & kRecordPrint) != 0)
        stream->lrecl = n - 1;
    else
        stream->lrecl = static_cast<int32_t>(n);

    if (is_line_type(stream->entry_type)) {
        if (stream->attr == 0) stream->lrecl -= 1;
        if ((format & kRecordPrint) != 0 && (flags & (kOpenOutput | kOpenAppend)) != 0)
            stream->lrecl -= 1;
    }

    if (open != nullptr) {
        stream->open_options = open_options;
        stream->option_flags = open->flags;
    } else {
        stream->option_flags = 0;
    }
    return kOk;
}

}  // namespace zef
