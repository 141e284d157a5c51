// Removing a whole catalog: its file and the companion files the store keeps
// beside it. The module deletes entries only, so zefcat asks the host's
// catalog store directly, the way the host's own utilities would.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace zefcat {

class Tool;

enum class CatalogRemoval {
    kEmptyOnly,    // refuse a catalog that still has entries
    kWithEntries,  // remove it with every entry in it
};

// Removes catalog `name` (library.catalog, already checked). Throws
// Problem: the catalog does not exist (exit 1, unless `missing_ok`); it
// still has entries and `how` is kEmptyOnly; an entry is being written; the
// library is read-only; the file is not a catalog file. With `dry_run`
// every check is made and nothing is removed. Returns the number of
// entries it held; none when it was not there (and `missing_ok`).
std::optional<size_t> remove_catalog(Tool &tool, std::string_view name, CatalogRemoval how, bool missing_ok,
                      std::string_view context, bool dry_run = false);

}  // namespace zefcat
