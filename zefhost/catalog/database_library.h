// A library kept in a PostgreSQL database: its catalogs are rows of the
// tables of one schema named after the library (postgres_schema.h), which
// any number of hosts on any number of machines use at once.
#pragma once

#include <string_view>

#include "library_store.h"
#include "postgres_store.h"

namespace zefhost::catalog {

class DatabaseLibrary final : public LibraryStore {
public:
    // Takes a libpq URI ("postgresql://..." or "postgres://...") or
    // "postgresql:" followed by a keyword string. Nothing is connected
    // yet. Throws CatalogError(kCatalogLibraryNotAssigned) when the text is
    // neither; the message never repeats the text, which may hold a password.
    DatabaseLibrary(std::string name, std::string_view connection, bool read_only);

    std::string location() const override { return place_.shown; }
    std::string catalog_place(const std::string &catalog) const override;
    std::shared_ptr<Store> open(const std::string &catalog, bool writing, int busy_timeout_ms,
                                bool &created) override;
    bool exists(const std::string &catalog) override;
    std::string catalog_identity(const std::string &catalog) override;
    void remove_if_empty(const std::string &catalog) noexcept override;
    std::vector<CatalogSummary> catalogs() override;
    Removal remove_catalog(const std::string &catalog, bool with_entries, bool dry_run, int busy_timeout_ms) override;
    LibrarySettings settings() override;
    void save_settings(const LibrarySettings &settings) override;
    Compaction vacuum(const std::string &catalog, int busy_timeout_ms) override;

    // The connection text as shown: host, port, database and user, without
    // a password.
    static std::string shown_connection(std::string_view conninfo);

private:
    DatabasePlace place_;
};

}  // namespace zefhost::catalog
