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
int32_t yxldopn(DirectoryHandle **, const char *, void *) { return kNotSupported; }
int32_t yxldnxt(void **, DirectoryHandle *, char *, int32_t *, char *) { return kNotSupported; }
int32_t yxldcls(DirectoryHandle *) { return kNotSupported; }
int32_t yxldins(DirectoryHandle *) { return kNotSupported; }
int32_t yxldinf(DirectoryHandle *) { return kNotSupported; }
int32_t yxlmopn(StreamBlock **, DirectoryHandle *, const char *, int32_t, const char *,
                OpenRequest *) {
    return kNotSupported;
}
int32_t yxlmcls(StreamBlock *) { return kNotSupported; }
int32_t yxlmex(DirectoryHandle *, const char *, int32_t, const char *) { return kNotSupported; }
int32_t yxlinfo(StreamBlock *, const char *, void *, uint32_t, void *, FileInformationRequest *) {
    return kNotSupported;
}
int32_t yxlins(StreamBlock *, InformationRecord **) { return kNotSupported; }
int32_t yxlinf(StreamBlock *, InformationRecord *) { return kNotSupported; }
int32_t yxlexp(const char *, void *) { return kNotSupported; }
int32_t yxldel(const char *, void *) { return kNotSupported; }
int32_t yxlhh2p(void *, OwnerRecord *, OptionBlock *, void **, int32_t *) { return kNotSupported; }
int32_t yxlhp2h(void *, OwnerRecord *, const void *, int32_t, OptionBlock **) {
    return kNotSupported;
}
int32_t yxlamvc(StreamBlock *, RoutineTable **) { return kNotSupported; }

}  // namespace zef
