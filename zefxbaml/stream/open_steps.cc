#include "stream/open_steps.h"

#include <cstring>

#include "host/catalog.h"
#include "host/chains.h"
#include "host/kernel.h"
#include "host/variables.h"
#include "zefxbaml/blank_padded.h"
#include "zefxbaml/method_routines.h"
#include "zefxbaml/option_block.h"
#include "zefxbaml/status.h"
#include "zefxbaml/translate.h"

namespace zef {

namespace {

constexpr char kZefType[8] = {'Z', 'E', 'F', ' ', ' ', ' ', ' ', ' '};
constexpr char kSourceType[8] = {'S', 'O', 'U', 'R', 'C', 'E', ' ', ' '};

constexpr uint64_t kMemberRequestFlags = 0x4;
constexpr int16_t kMemberRequestValue = 512;
constexpr int32_t kMessageNbyteUnbound = 73;
constexpr char kNameSeparator = '.';

}  // namespace

void normalise_entry_type(char *type8) {
    wztxxlt(kTranslateUpper, type8, type8, 8);
    if (std::memcmp(type8, kZefType, 8) == 0) std::memcpy(type8, kSourceType, 8);
}

int32_t obtain_stream_buffers(StreamBlock *stream) {
    int64_t size = stream_buffer_bytes(stream);
    if (size > kLargestStreamBuffer) return kNoStorage;
    stream->stream_buffer_size = static_cast<int32_t>(size);
    if (size <= 0) return kOk;

    stream->record_buffer = static_cast<char *>(host::obtain(size, kBufferStorage));
    if (stream->record_buffer == nullptr) return kNoStorage;
    if ((stream->record_format & kRecordStream) != 0) {
        stream->stream_buffer = static_cast<char *>(host::obtain(size, kBufferStorage));
        if (stream->stream_buffer == nullptr) {
            release_stream_buffers(stream);
            return kNoStorage;
        }
    }
    return kOk;
}

void release_stream_buffers(StreamBlock *stream) {
    if (stream->record_buffer != nullptr) host::release(stream->record_buffer);
    if (stream->stream_buffer != nullptr) host::release(stream->stream_buffer);
    stream->record_buffer = nullptr;
    stream->stream_buffer = nullptr;
}

int32_t bind_nbyte(StreamBlock *stream) {
    // The run copied from the option block carries no binding of its own.
    stream->nbyte_value = nullptr;
    bool wanted = (stream->record_format & kRecordStream) != 0 &&
                  (stream->open_flags & kOpenInput) != 0 && host::has_variable_lookup();
    if (!wanted || stream->nbyte_name[0] == '\0') return kOk;

    int32_t result = host::lookup_variable(stream->nbyte_name, stream->nbyte_name_length,
                                           stream->nbyte_param, &stream->nbyte_value);
    if (result == 1 || result == 2) {
        stream->nbyte_value = nullptr;
        host::ypmlog(kMessageSet, kMessageNbyteUnbound, 0);
        return kNbyteUnbound;
    }
    return kOk;
}

int32_t open_entry(StreamBlock *stream) {
    MemberRequest &request = stream->member_request;
    std::memset(&request, 0, sizeof request);
    request.catalog_handle = stream->catalog_handle;
    request.entry_name_length = stream->entry_name_length;
    std::memcpy(request.entry_name, stream->entry_name, sizeof request.entry_name);
    std::memcpy(request.entry_type, stream->entry_type, sizeof request.entry_type);
    request.flag_word = kMemberRequestFlags;
    request.value_512 = kMemberRequestValue;
    request.member_mode = stream->member_mode;
    request.description_length = stream->description_length;
    std::memcpy(request.description, stream->description, sizeof request.description);

    stream->member_handle = nullptr;
    void *entry = nullptr;
    int32_t status = host::ylmopen(&request, &entry);
    if (status < 0) return status;
    stream->member_handle = entry;

    if ((stream->open_flags & kOpenAppend) != 0) {
        status = host::ylmpoin(entry, 0, kPointToEnd);
        if (status != kOk) {
            // An entry left open would keep every later writer out.
            close_entry(stream);
            return status;
        }
    }
    return kOk;
}

int32_t close_entry(StreamBlock *stream) {
    if (stream->member_handle == nullptr) return kOk;
    int32_t status = host::ylmclos(stream->member_handle);
    stream->member_handle = nullptr;
    return status;
}

void join_full_name(StreamBlock *stream) {
    stream->full_name_length =
        wzstcat(stream->full_name, sizeof stream->full_name, kNameSeparator, 4, stream->libref,
                wzstrip(stream->libref, sizeof stream->libref), stream->catalog_name,
                wzstrip(stream->catalog_name, stream->catalog_name_length), stream->entry_name,
                wzstrip(stream->entry_name, stream->entry_name_length), stream->entry_type,
                wzstrip(stream->entry_type, sizeof stream->entry_type));
}

void release_open_options(StreamBlock *stream) {
    if (stream->open_options == nullptr) return;
    if ((stream->option_flags & kNotOwned) == 0)
        yxlhbfr(stream->fileref, nullptr, stream->open_options);
    stream->open_options = nullptr;
}

}  // namespace zef
