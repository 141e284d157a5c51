#include "catalog_removal.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <optional>

#include "errors.h"
#include "names.h"
#include "tool.h"
#include "zefhost/catalog/catalog_error.h"
#include "zefhost/catalog/services.h"
#include "zefhost/catalog/sqlite.h"
#include "zefhost/catalog/store.h"
#include "zefhost/catalog/writer_lock.h"

namespace zefcat {

namespace catalog = zefhost::catalog;

namespace {

// The files SQLite and the writers' locks keep beside a catalog.
const char *const kCompanions[] = {"-wal", "-shm", "-journal"};

void remove_companions(const std::filesystem::path &file) {
    std::error_code ignored;
    // A catalog made again at the same place meanwhile keeps its own.
    if (std::filesystem::exists(file, ignored)) return;
    for (const char *suffix : kCompanions) std::filesystem::remove(file.string() + suffix, ignored);
    std::filesystem::remove(catalog::writers_file(file), ignored);
}

}  // namespace

std::optional<size_t> remove_catalog(Tool &tool, std::string_view name, CatalogRemoval how, bool missing_ok,
                      std::string_view context, bool dry_run) {
    std::vector<std::string> parts = name_parts(name);
    std::string shown_name = catalog::upper(parts[0]) + "." + catalog::upper(parts[1]);
    catalog::Services &services = tool.host().catalogs();
    std::filesystem::path file;
    try {
        file = services.catalog_file(parts[0], parts[1]);
    } catch (const catalog::CatalogError &) {
        std::string why = tool.libraries().why_not_assigned(parts[0]);
        throw Problem(std::string(context) + ": " +
                      (why.empty() ? "library " + catalog::upper(parts[0]) +
                                         " is not assigned; assign it with -L NAME=DIR"
                                   : why));
    }
    std::optional<catalog::Library> library = services.library(parts[0]);
    std::error_code error;
    if (!std::filesystem::exists(file, error)) {
        if (missing_ok) return std::nullopt;
        throw Problem(std::string(context) + ": no such catalog");
    }
    if (library && library->read_only)
        throw Problem(std::string(context) + ": library " + catalog::upper(parts[0]) + " is read-only");

    size_t entries = 0;
    try {
        catalog::Store store(file, true, 10000);
        {
            // The write lock keeps every writer out while the file goes:
            // nothing can be committed into the catalog being removed.
            catalog::sql::Transaction hold(store.main(), catalog::sql::Transaction::Kind::write);
            if (store.reclaim_dead_writers(store.main(), nullptr))
                throw Problem(std::string(context) + ": an entry of " + shown_name +
                              " is being written; try again when it is closed");
            entries = store.entries(store.main()).size();
            if (entries > 0 && how == CatalogRemoval::kEmptyOnly)
                throw Problem(std::string(context) + ": catalog " + shown_name + " has " +
                              std::to_string(entries) + (entries == 1 ? " entry" : " entries") +
                              " (-r removes it with them)");
            if (dry_run) return entries;
            if (::unlink(file.c_str()) != 0)
                throw Problem(std::string(context) + ": cannot remove " + shown(file.string()) + ": " +
                              std::strerror(errno));
        }
    } catch (const catalog::CatalogError &failure) {
        throw Problem(std::string(context) + ": " + catalog_detail_text(failure.what()),
                      kExitFailure);
    }
    remove_companions(file);
    return entries;
}

}  // namespace zefcat
