// What yldopen hands out: the catalog's entry keys in name then type order,
// as they stood when the scan was opened. Later changes to the catalog do
// not show in a scan already open.
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

#include "names.h"
#include "store.h"

namespace zefhost::catalog {

struct DirectoryScan {
    std::shared_ptr<Store> store;
    std::vector<EntryKey> keys;
    size_t next = 0;
};

}  // namespace zefhost::catalog
