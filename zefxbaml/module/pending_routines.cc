// Slot routines not yet built; each answers 0x8000080B until its own file replaces it.
#include "module/method_routines.h"
#include "module/status.h"

namespace zef {

}  // namespace zef
