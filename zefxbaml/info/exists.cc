// yxlexp (slot 3): does the target of a fileref exist.
#include <cstring>

#include "fileref/fileref_lookup.h"
#include "fileref/fileref_record.h"
#include "host/catalog.h"
#include "host/kernel.h"
#include "info/catalog_target.h"
#include "zefxbaml/method_routines.h"
#include "zefxbaml/status.h"

namespace zef {

// Opens the catalog that the fileref points to for input and, when the
// fileref names an entry, looks for it; the catalog is closed again whenever
// it opened. Returns the ylclose status when everything was found;
// 0x80001006 (inserts: the 4-byte integer 8 and the 8-character type) when
// the catalog holds no such entry; the ylopen status when the catalog does
// not open; another ylmfind status as it came; 0x80001004 (insert: the name)
// or the host's status from the lookup; 0x80000805 (insert: message 5) when
// the name parts form no target.
int32_t yxlexp(const char *fileref8, void *context) {
    FilerefRecord *record = nullptr;
    int32_t status = find_fileref(fileref8, context, &record);
    if (status != kOk) return status;

    CatalogTarget target;
    if (record->part_count == 2) {
        catalog_target(record, &target);
    } else {
        status = entry_target(record, &target);
        if (status != kOk) return status;
    }

    LibraryRequest library;
    fill_library_request(target, kLibraryInput, context, &library);
    void *catalog = nullptr;
    status = host::ylopen(&library, &catalog);
    if (status != kOk) return status;

    if (target.entry[0] != ' ') {
        FindRequest find;
        std::memset(&find, 0, sizeof find);
        find.catalog_handle = catalog;
        find.entry_name_length = target.entry_length;
        std::memcpy(find.entry_name, target.entry, sizeof find.entry_name);
        std::memcpy(find.entry_type, target.type, sizeof find.entry_type);
        status = host::ylmfind(&find);
        if (status == kCatalogEntryMissing) {
            int32_t type_width = sizeof target.type;
            host::wrmksub2(&type_width, sizeof type_width, target.type, sizeof target.type);
            status = kEntryMissing;
        }
    }
    if (status != kOk) {
        host::ylclose(catalog);
        return status;
    }
    return host::ylclose(catalog);
}

}  // namespace zef
