// The load-time entry: the first routine of the module the host calls.
#include "zefxbaml/exports.h"

namespace zef {

// A hook mcn_main calls before it reads the global control block. Empty.
void himodcn() {}

}  // namespace zef

extern "C" {

// Records the host's global control block and its second anchor, copies the
// kernel handle for the host, and returns the image information record.
// Cannot fail. Must be called before any other routine of the module.
const zef::ImageInformation *mcn_main(void *gcb, void *pidb) {
    v_global_gcb_anchor = gcb;
    v_global_pidb_anchor = pidb;
    zef::himodcn();
    Exported_QXHandle = static_cast<zef::GlobalControlBlock *>(gcb)->kernel_handle;
    return &vi_mcn;
}

}  // extern "C"
