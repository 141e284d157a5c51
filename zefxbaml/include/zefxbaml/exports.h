// The names the module exports, and the attribute that exports them. Every
// other symbol of the module is hidden (compiled with hidden visibility and
// limited again by the version script).
#pragma once

#include <cstdint>

#include "zefxbaml/abi.h"
#include "zefxbaml/image.h"

#define ZEF_EXPORT __attribute__((visibility("default")))

extern "C" {
// Load-time entry: records the host's anchors, returns &vi_mcn.
ZEF_EXPORT const zef::ImageInformation *mcn_main(void *gcb, void *pidb);
ZEF_EXPORT extern const zef::ImageInformation vi_mcn;
// The component list: &pcn_ZEFXBAML, then null.
ZEF_EXPORT extern const zef::ComponentNode *const mcn_pcns[2];
ZEF_EXPORT extern const zef::ComponentNode pcn_ZEFXBAML;
// Constructor: a new access-method control block, or null and 0x80000803.
ZEF_EXPORT void zefxbaml(zef::AccessMethodBlock **block, int32_t *status);
// Copies the 208-byte version record to destination.
ZEF_EXPORT void qxvercn1(zef::VersionRecord *destination);

// Anchors written once by mcn_main, read by every call into the host.
ZEF_EXPORT extern void *v_global_gcb_anchor;
ZEF_EXPORT extern void *v_global_pidb_anchor;
ZEF_EXPORT extern uint64_t Exported_QXHandle;
ZEF_EXPORT extern const char _B_ten[10];
ZEF_EXPORT extern const char _Z_twenty[20];

// Storage trampolines: pass every argument to the pool's own routine.
ZEF_EXPORT void *vmalcp_handler(zef::Pool *pool, int64_t size, uint32_t option);
ZEF_EXPORT void *vmalloc_handler(zef::Pool *pool, int64_t size, uint32_t option);
ZEF_EXPORT void vmfree_handler(zef::Pool *pool, void *block, int64_t size, uint32_t option);
}
