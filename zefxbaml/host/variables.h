// The host's variable lookup (what NBYTE= names), reached through the
// attribute anchor of the global control block. The host may offer none.
#pragma once

#include <cstdint>

namespace host {

bool has_variable_lookup();

// Asks the host to bind the variable `name` (length bytes) with the given
// parameter word. A result of 1 or 2 means no variable of that name can be
// bound; otherwise *binding points at its numeric value.
int32_t lookup_variable(const char *name, int32_t length, int32_t param, double **binding);

}  // namespace host
