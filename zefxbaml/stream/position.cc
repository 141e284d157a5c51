// yxlnote (slot 12) and yxlpnt (slot 13): note the stream's position in its
// entry, and return to a noted position.
#include "host/catalog.h"
#include "zefxbaml/method_routines.h"
#include "zefxbaml/status.h"
#include "zefxbaml/stream_block.h"

namespace zef {

// Stores the entry's current position through `position` (ylmnote).
// Returns the host's status.
int32_t yxlnote(StreamBlock *stream, int64_t *position) {
    if (stream == nullptr) return kNullHandle;
    return host::ylmnote(stream->member_handle, position);
}

// Makes the record at a position that yxlnote gave the next one read or
// written (ylmpoin). Bytes of the S format carried from the block read
// before belong to the old position and are dropped. Returns the host's
// status.
int32_t yxlpnt(StreamBlock *stream, int64_t position) {
    if (stream == nullptr) return kNullHandle;
    int32_t status = host::ylmpoin(stream->member_handle, position, kPointToNoted);
    if (status == kOk) {
        stream->stream_offset = 0;
        stream->stream_remaining = 0;
    }
    return status;
}

}  // namespace zef
