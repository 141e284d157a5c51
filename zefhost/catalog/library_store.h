// What a library keeps its catalogs in: a directory of SQLite files
// (directory_library.h) or a schema of a PostgreSQL database
// (database_library.h). The services name catalogs through this and never
// know which it is; each answers alike, with the same statuses.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "store.h"

namespace zefhost::catalog {

// A catalog as a listing of the library shows it.
struct CatalogSummary {
    std::string name;
    std::optional<int64_t> entries;  // none when the catalog cannot be read
    int64_t size = 0;                // bytes the library gives it
    int64_t modified = 0;            // microseconds since the epoch; 0: unknown
};

// What a library keeps for everyone who writes into it.
struct LibrarySettings {
    bool compress = false;  // new chunks are compressed (when that saves space)
    bool operator==(const LibrarySettings &) const = default;
};

class LibraryStore {
public:
    virtual ~LibraryStore() = default;

    // Where the library is, as listings show it (never with a password).
    virtual std::string location() const = 0;
    // Where one of its catalogs is, as messages name it.
    virtual std::string catalog_place(const std::string &catalog) const = 0;
    // Assigned read-only: no catalog of it is opened for writing.
    bool read_only() const { return read_only_; }

    // Opens a catalog to read or to write. Writing makes a missing catalog
    // (and says so through `created`); reading a missing one answers
    // kCatalogMissing. Refuses to write a read-only library or catalog
    // (kCatalogBadRequest). Throws CatalogError.
    virtual std::shared_ptr<Store> open(const std::string &catalog, bool writing, int busy_timeout_ms,
                                        bool &created) = 0;
    virtual bool exists(const std::string &catalog) = 0;
    // The store's identity() of an existing catalog; throws
    // CatalogError(kCatalogBadRequest) when there is none.
    virtual std::string catalog_identity(const std::string &catalog) = 0;
    // Removes a catalog that holds no entry and no writer, unless another
    // process uses it for writing. Never fails.
    virtual void remove_if_empty(const std::string &catalog) noexcept = 0;
    // The catalogs, in name order.
    virtual std::vector<CatalogSummary> catalogs() = 0;
    // Removes a catalog with its entries; refused with kCatalogEntryInUse
    // while an entry of it is being written. When it holds entries and
    // `with_entries` is false, or with `dry_run`, it stays. Answers how
    // many entries it held. Throws CatalogError.
    struct Removal {
        size_t entries = 0;
        bool removed = false;
    };
    virtual Removal remove_catalog(const std::string &catalog, bool with_entries, bool dry_run,
                                   int busy_timeout_ms) = 0;

    // The library's settings (the defaults while none were saved). Throws
    // CatalogError: kCatalogDamaged when what is kept does not read.
    virtual LibrarySettings settings() = 0;
    // Keeps them for every later writer, of any process. Throws
    // CatalogError (kCatalogBadRequest for a read-only library).
    virtual void save_settings(const LibrarySettings &settings) = 0;
    // What a compaction gave back: the bytes before and after (a catalog
    // file with its write-ahead log; or a database library's tables, which
    // all its catalogs share, with their indexes and out-of-line values)
    // and what it collected first (Store::collect_leftovers).
    struct Compaction {
        int64_t before = 0;
        int64_t after = 0;
        Store::Leftovers collected;
        bool shared = false;  // the sizes are the library's tables, shared by its catalogs
    };
    // Gives back the space of deleted and replaced versions and of dead
    // writers' staging: collects their leftovers, then compacts the store.
    // An empty `catalog` is every catalog of a database library (whose
    // tables are compacted once for all); a directory library compacts one
    // catalog file at a time. Throws CatalogError: kCatalogMissing;
    // kCatalogBadRequest (read-only); kCatalogEntryInUse while a writer is
    // alive or another process keeps the compaction from finishing within
    // the wait (the catalog stays whole and readable, and the compaction
    // must be tried again); kCatalogIoFailure (too little free space, or a
    // failing store: the catalog stays as it was).
    virtual Compaction vacuum(const std::string &catalog, int busy_timeout_ms) = 0;

protected:
    LibraryStore(std::string name, bool read_only) : name_(std::move(name)), read_only_(read_only) {}

    std::string name_;  // the library's name, upper case
    bool read_only_;
};

}  // namespace zefhost::catalog
