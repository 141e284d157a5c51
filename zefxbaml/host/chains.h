// Typed readers of the global control block's chains, and the module's two
// storage calls. Storage always comes from the host's pools: records (zero
// filled) and buffers from the storage pool, released to the heap pool that
// yymheap names.
#pragma once

#include <cstdint>

#include "zefxbaml/abi.h"

namespace host {

zef::GlobalControlBlock *control_block();
zef::Pool *storage_pool();
zef::Pool *scratch_pool();
// The current task's owner record, or null when there is no current task.
zef::OwnerRecord *current_owner();
zef::TaskContext *current_task_context();
// Null when the host has no encoding in force.
const zef::EncodingDescriptor *encoding_in_force();
zef::AttributeAnchor *attribute_anchor();
const uint8_t *translation_table(int index);

// size bytes from the storage pool with the given option word, or null.
void *obtain(int64_t size, uint32_t option);
// Gives a block back to the heap pool, as (pool, block, 0, 4).
void release(void *block);

}  // namespace host
