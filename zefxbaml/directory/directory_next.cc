// yxldnxt (slot 25): the next member of an open directory.
#include <cstring>

#include "directory/directory_handle.h"
#include "host/catalog.h"
#include "zefxbaml/method_routines.h"
#include "zefxbaml/status.h"

namespace zef {

namespace {
constexpr char kAllTypes[8] = {'A', 'L', 'L', ' ', ' ', ' ', ' ', ' '};
constexpr int32_t kNameWidth = 32;
}  // namespace

// Delivers the name (exact length, no padding; room for 32 bytes) and the
// 8-byte type of the next entry of the directory's catalog. The scan lives
// in the host's cell: a null cell starts a new one from the first entry.
// Returns 0; 0x802 once no entry is left; the host's status from the scan;
// 0x80001025 for a null handle or cell address. After any nonzero read
// status the scan is closed and the cell keeps its stale token.
int32_t yxldnxt(void **scan_cell, DirectoryHandle *handle, char *name_out,
                int32_t *name_length_out, char *type_out8) {
    if (handle == nullptr || scan_cell == nullptr) return kNullHandle;
    if (*scan_cell == nullptr) {
        int32_t status = host::yldopen(handle->catalog_handle, kAllTypes, scan_cell);
        if (status != kOk) return status;
    }
    DirectoryEntryArea area;
    std::memset(&area, 0, sizeof area);
    int32_t status = host::yldread(*scan_cell, &area);
    if (status != kOk) {
        host::yldclos(*scan_cell);
        return status == kCatalogEndOfDirectory ? kEndOfList : status;
    }
    // The area holds at most 32 name bytes, whatever length the host claims.
    int32_t length = area.name_length;
    if (length < 0) length = 0;
    if (length > kNameWidth) length = kNameWidth;
    *name_length_out = length;
    std::memcpy(name_out, area.name, length);
    std::memcpy(type_out8, area.type, sizeof area.type);
    return kOk;
}

}  // namespace zef
