// The module's side of routine tables: a stream keeps every table made for
// it, and only its close gives them back.
#pragma once

#include "zefxbaml/routine_table.h"

namespace zef {

// Releases every routine table made for the stream and forgets them; called
// by the stream's close only, since the host may call through any of them
// until then.
void release_routine_tables(StreamBlock *stream);

}  // namespace zef
