// The module's exported data and its storage trampolines.
#include "zefxbaml/exports.h"

extern "C" {

void *v_global_gcb_anchor = nullptr;
void *v_global_pidb_anchor = nullptr;
uint64_t Exported_QXHandle = 0;
const char _B_ten[10] = {' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' '};
const char _Z_twenty[20] = {};

void *vmalcp_handler(zef::Pool *pool, int64_t size, uint32_t option) {
    return pool->obtain(pool, size, option);
}

void *vmalloc_handler(zef::Pool *pool, int64_t size, uint32_t option) {
    return pool->obtain(pool, size, option);
}

void vmfree_handler(zef::Pool *pool, void *block, int64_t size, uint32_t option) {
    pool->release(pool, block, size, option);
}

}  // extern "C"
