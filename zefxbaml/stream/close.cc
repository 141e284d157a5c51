// yxlcls (slot 21) and yxlflsh (slot 20): end an entry stream, and answer a
// flush request.
#include "fileref/fileref_record.h"
#include "host/catalog.h"
#include "host/chains.h"
#include "info/routine_table_release.h"
#include "stream/open_steps.h"
#include "zefxbaml/method_routines.h"
#include "zefxbaml/routine_table.h"
#include "zefxbaml/status.h"
#include "zefxbaml/stream_block.h"

namespace zef {

// Ends the stream: releases its buffers, ends an information record still
// attached to it, closes the entry and the catalog, gives up its count on
// the fileref record (releasing a record deassigned meanwhile once nothing
// else is open on it), releases the open option block unless flag 0x10 says
// the stream does not own it, then the routine table and the block. Returns
// the entry close's status, or the catalog close's when the entry closed.
// The block is gone afterwards whatever the status.
int32_t yxlcls(StreamBlock *stream) {
    if (stream == nullptr) return kNullHandle;
    release_stream_buffers(stream);

    // The host ends what it began on the record while the catalog it was
    // begun on is still open.
    if (stream->info_record != nullptr) yxlinf(stream, stream->info_record);

    int32_t status = close_entry(stream);
    // A catalog left open would have no one left to close it.
    int32_t catalog_status = host::ylclose(stream->catalog_handle);
    if (status == kOk) status = catalog_status;

    fileref_closed(stream->fileref_record);
    release_open_options(stream);
    release_routine_tables(stream);
    host::release(stream);
    return status;
}

// Writes are not buffered, so there is nothing to flush. Returns 0.
int32_t yxlflsh(StreamBlock *stream) { return stream == nullptr ? kNullHandle : kOk; }

}  // namespace zef
