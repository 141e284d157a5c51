// yxlmcls (slot 27): close a member stream.
#include "fileref/fileref_record.h"
#include "host/catalog.h"
#include "host/chains.h"
#include "info/routine_table_release.h"
#include "zefxbaml/method_routines.h"
#include "zefxbaml/option_block.h"
#include "zefxbaml/routine_table.h"
#include "zefxbaml/status.h"
#include "zefxbaml/stream_block.h"

namespace zef {

namespace {
void release_buffer(char *&buffer) {
    if (buffer != nullptr) host::release(buffer);
    buffer = nullptr;
}
}  // namespace

// Closes the member's entry and releases the stream: its buffers, its open
// option block (unless not owned), an information list still attached, its
// routine table and the block itself; the fileref record counts it no more.
// The catalog is the directory's and stays open. Returns 0, or the status of
// the option release; 0x80001025 for a null stream. When ylmclos fails its
// status is returned and the stream stays open, without buffers.
int32_t yxlmcls(StreamBlock *stream) {
    if (stream == nullptr) return kNullHandle;
    release_buffer(stream->record_buffer);
    release_buffer(stream->stream_buffer);
    int32_t status = host::ylmclos(stream->member_handle);
    if (status != kOk) return status;

    if (stream->open_options != nullptr && (stream->option_flags & kNotOwned) == 0)
        status = yxlhbfr(stream->fileref, nullptr, stream->open_options);
    // Nothing else would give the record back once the stream is gone.
    if (stream->info_record != nullptr) yxlinf(stream, stream->info_record);
    release_routine_tables(stream);
    fileref_closed(stream->fileref_record);
    host::release(stream);
    return status;
}

}  // namespace zef
