// The ways a program reads an entry through the module, driven by fuzz
// input: an entry stream in F, V, P, P+F or S form (S with NBYTE), opened
// for input or update, with reads (also with a wanted count), notes, points
// and the read routine of the stream's routine table in the order the input
// gives; and the members of a catalog through the directory slots, each
// member opened and read. Every open is closed again; statuses are only
// collected, never required, but delivered records are read whole.
#pragma once

#include "harness.h"

namespace zeffuzz {

// The catalog's entries every read path picks from.
inline constexpr const char *kEntries[] = {"A.SOURCE", "B.GIF", "C.HTML"};

// Makes the catalog the read paths read, in the harness's library: three
// entries, one of lines, one binary with a block larger than a chunk, one of
// text over several chunks.
void make_sample_catalog(Harness &h, const char *catalog);

void read_entry(Harness &h, Input &in, const char *catalog);
void read_members(Harness &h, Input &in, const char *catalog);

}  // namespace zeffuzz
