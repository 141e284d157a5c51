// The directory handle: one per catalog opened as a directory, from directory
// open to directory close. It holds the open catalog, which member streams
// borrow, and counts once in its fileref record's open_count. Obtained
// zero-filled from the storage pool.
#pragma once

#include <cstddef>
#include <cstdint>

#include "zefxbaml/control_block.h"
#include "zefxbaml/requests.h"

namespace zef {

struct FilerefRecord;

struct DirectoryHandle {
    char fileref[8];  // the name the host passed, upper-cased
    AccessMethodBlock *method_block;
    char libref[8];  // blank padded, as the fileref record holds it
    int16_t catalog_name_length;
    char catalog_name[32];  // as the fileref record holds it
    void *catalog_handle;   // from ylopen; closed by directory close
    FilerefRecord *fileref_record;
    LibraryRequest library_request;
    FindRequest find_request;  // rebuilt by every member existence test
};
static_assert(offsetof(DirectoryHandle, fileref) == 0);
static_assert(offsetof(DirectoryHandle, method_block) == 8);
static_assert(offsetof(DirectoryHandle, libref) == 16);
static_assert(offsetof(DirectoryHandle, catalog_name_length) == 24);
static_assert(offsetof(DirectoryHandle, catalog_name) == 26);
static_assert(offsetof(DirectoryHandle, catalog_handle) == 64);
static_assert(offsetof(DirectoryHandle, fileref_record) == 72);
static_assert(offsetof(DirectoryHandle, library_request) == 80);
static_assert(offsetof(DirectoryHandle, find_request) == 448);
static_assert(sizeof(DirectoryHandle) == 512);

}  // namespace zef
