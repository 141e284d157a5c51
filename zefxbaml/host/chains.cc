#include "host/chains.h"

#include "host/kernel.h"
#include "zefxbaml/exports.h"

namespace host {

using namespace zef;

GlobalControlBlock *control_block() {
    return static_cast<GlobalControlBlock *>(v_global_gcb_anchor);
}

Pool *storage_pool() { return control_block()->storage_pool; }

Pool *scratch_pool() { return control_block()->scratch_pool; }

TaskContext *current_task_context() {
    GlobalControlBlock *gcb = control_block();
    if (gcb->no_current_task != 0 || gcb->task_block == nullptr) return nullptr;
    return gcb->task_block->context;
}

OwnerRecord *current_owner() {
    TaskContext *context = current_task_context();
    return context ? context->owner : nullptr;
}

const EncodingDescriptor *encoding_in_force() {
    EncodingHolder *holder = control_block()->encoding_holder;
    if (holder == nullptr || holder->descriptor == nullptr) return nullptr;
    return holder->descriptor->in_force ? holder->descriptor : nullptr;
}

AttributeAnchor *attribute_anchor() { return control_block()->attribute_anchor; }

const uint8_t *translation_table(int index) {
    return control_block()->translation_tables[kTranslationTableBase + index];
}

void *obtain(int64_t size, uint32_t option) {
    return vmalloc_handler(storage_pool(), size, option);
}

void release(void *block) { vmfree_handler(yymheap(), block, 0, kBufferStorage); }

}  // namespace host
