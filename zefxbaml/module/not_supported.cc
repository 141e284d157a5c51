// The answer to every request the method does not serve.
#include "zefxbaml/method_routines.h"
#include "zefxbaml/status.h"

namespace zef {

// Slots 5, 14 to 17 and 37. Whatever the host passes is ignored; nothing
// happens but the status 0x8000080B.
int32_t yxlnsup() { return kNotSupported; }

}  // namespace zef
