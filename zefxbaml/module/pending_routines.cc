// Slot routines not yet built; each answers 0x8000080B until its own file replaces it.
#include "module/method_routines.h"
#include "module/status.h"

namespace zef {

int32_t yxlmopn(StreamBlock **, DirectoryHandle *, const char *, int32_t, const char *,
                OpenRequest *) {
    return kNotSupported;
}

}  // namespace zef
