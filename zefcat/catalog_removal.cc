#include "catalog_removal.h"

#include <optional>

#include "errors.h"
#include "names.h"
#include "tool.h"
#include "zefhost/catalog/catalog_error.h"
#include "zefhost/catalog/services.h"

namespace zefcat {

namespace catalog = zefhost::catalog;

std::optional<size_t> remove_catalog(Tool &tool, std::string_view name, CatalogRemoval how, bool missing_ok,
                                     std::string_view context, bool dry_run) {
    std::vector<std::string> parts = name_parts(name);
    std::string shown_name = catalog::upper(parts[0]) + "." + catalog::upper(parts[1]);
    catalog::Services &services = tool.host().catalogs();
    try {
        services.catalog_place(parts[0], parts[1]);
    } catch (const catalog::CatalogError &) {
        std::string why = tool.libraries().why_not_assigned(parts[0]);
        throw Problem(std::string(context) + ": " +
                      (why.empty() ? "library " + catalog::upper(parts[0]) +
                                         " is not assigned; assign it with -L NAME=DIR"
                                   : why));
    }
    std::optional<catalog::Library> library = services.library(parts[0]);
    bool exists = false;
    try {
        exists = services.catalog_exists(parts[0], parts[1]);
    } catch (const catalog::CatalogError &failure) {
        throw Problem(std::string(context) + ": " + catalog_detail_text(failure.what()), kExitFailure);
    }
    if (!exists) {
        if (missing_ok) return std::nullopt;
        throw Problem(std::string(context) + ": no such catalog");
    }
    if (library && library->read_only)
        throw Problem(std::string(context) + ": library " + catalog::upper(parts[0]) + " is read-only");
    catalog::LibraryStore::Removal removal;
    try {
        removal = services.remove_catalog(parts[0], parts[1], how != CatalogRemoval::kEmptyOnly, dry_run);
    } catch (const catalog::CatalogError &failure) {
        if (failure.status() == zef::kCatalogEntryInUse)
            throw Problem(std::string(context) + ": an entry of " + shown_name +
                          " is being written; try again when it is closed");
        throw Problem(std::string(context) + ": " + catalog_detail_text(failure.what()), kExitFailure);
    }
    if (removal.entries > 0 && how == CatalogRemoval::kEmptyOnly)
        throw Problem(std::string(context) + ": catalog " + shown_name + " has " + std::to_string(removal.entries) +
                      (removal.entries == 1 ? " entry" : " entries") + " (-r removes it with them)");
    return removal.entries;
}

}  // namespace zefcat
