// Slot routines not yet built; each answers 0x8000080B until its own file replaces it.
#include "module/method_routines.h"
#include "module/status.h"

namespace zef {

int32_t yxlopn(StreamBlock **, const char *, void *, OpenRequest *) { return kNotSupported; }
int32_t yxlread(StreamBlock *, char **, int64_t *, char *) { return kNotSupported; }
int32_t yxlwrit(StreamBlock *, const char *, int64_t, int32_t) { return kNotSupported; }
int32_t yxlflsh(StreamBlock *) { return kNotSupported; }
int32_t yxlcls(StreamBlock *) { return kNotSupported; }
int32_t yxlnote(StreamBlock *, int64_t *) { return kNotSupported; }
int32_t yxlpnt(StreamBlock *, int64_t) { return kNotSupported; }
int32_t yxlmopn(StreamBlock **, DirectoryHandle *, const char *, int32_t, const char *,
                OpenRequest *) {
    return kNotSupported;
}
int32_t yxlhh2p(void *, OwnerRecord *, OptionBlock *, void **, int32_t *) { return kNotSupported; }
int32_t yxlhp2h(void *, OwnerRecord *, const void *, int32_t, OptionBlock **) {
    return kNotSupported;
}
int32_t yxlamvc(StreamBlock *, RoutineTable **) { return kNotSupported; }

}  // namespace zef
