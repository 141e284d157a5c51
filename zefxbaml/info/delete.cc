// yxldel (slot 32): delete the catalog entry a fileref points to.
#include <cstring>

#include "fileref/fileref_lookup.h"
#include "fileref/fileref_record.h"
#include "host/catalog.h"
#include "info/catalog_target.h"
#include "zefxbaml/method_routines.h"
#include "zefxbaml/status.h"

namespace zef {

// Opens the entry's catalog for writing and deletes the entry, building both
// requests in the fileref record's work areas; the catalog is closed again
// whenever it opened. The library mode that the latest open through the
// fileref left in the record's library request is kept. Returns the ylclose
// status when the entry was deleted; the ylopen or ylmdel status as it came;
// 0x80001004 (insert: the name) or the host's status from the lookup;
// 0x80000805 (insert: message 5) when the name parts name no entry (a
// catalog fileref among them).
int32_t yxldel(const char *fileref8, void *context) {
    FilerefRecord *record = nullptr;
    int32_t status = find_fileref(fileref8, nullptr, &record);
    if (status != kOk) return status;
    CatalogTarget target;
    status = entry_target(record, &target);
    if (status != kOk) return status;

    int32_t kept_mode = record->library_request.library_mode;
    fill_library_request(target, kLibraryWrite, context, &record->library_request);
    void *catalog = nullptr;
    status = host::ylopen(&record->library_request, &catalog);
    if (status == kOk) {
        EntryRequest &entry = record->entry_request;
        std::memset(&entry, 0, sizeof entry);
        entry.catalog_handle = catalog;
        entry.entry_name_length = target.entry_length;
        std::memcpy(entry.entry_name, target.entry, sizeof entry.entry_name);
        std::memcpy(entry.entry_type, target.type, sizeof entry.entry_type);
        status = host::ylmdel(&entry);
        int32_t close_status = host::ylclose(catalog);
        if (status == kOk) status = close_status;
    }
    record->library_request.library_mode = kept_mode;
    return status;
}

}  // namespace zef
