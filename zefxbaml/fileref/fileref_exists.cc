// yxlexl (slot 2): is a fileref assigned to this access method.
#include "fileref/fileref_lookup.h"
#include "zefxbaml/method_routines.h"

namespace zef {

// Returns 0 when the fileref is found (in the method's list or, through the
// host's yxal2am, in another); 0x80001004 with the upper-cased name as
// insert 1 when not; or the host's lookup status.
int32_t yxlexl(const char *fileref8, void *context) {
    FilerefRecord *record = nullptr;
    return find_fileref(fileref8, context, &record);
}

}  // namespace zef
