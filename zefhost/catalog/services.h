// The stand-in host's catalog services: libraries (a name assigned to a
// directory of SQLite files, or to a PostgreSQL database), catalogs (see
// store.h) and the routines of vector 48, which it installs in the host's
// vectors.
//
// Handles given to the module (catalog, entry, scan) are pointers to objects
// kept here; every routine looks the pointer up before use, so a stale or
// foreign handle is answered with kCatalogBadRequest and never followed.
// A catalog handle may be closed while entries or scans opened through it
// are still open: they keep the store alive until they end.
//
// Not thread-safe: the host calls it from one thread at a time.
#pragma once

#include <chrono>
#include <functional>
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "catalog_error.h"
#include "library_store.h"
#include "names.h"
#include "store.h"
#include "zefxbaml/requests.h"

namespace zefhost {

class Host;

namespace catalog {

class EntryHandle;
struct DirectoryScan;

struct Library {
    std::shared_ptr<LibraryStore> store;
    std::filesystem::path directory;  // empty for a database library
    bool read_only = false;
    // Where it is, as listings show it (a database's without a password).
    std::string location() const { return store->location(); }
};

// True when a library's place names a PostgreSQL database (a libpq URI,
// "postgresql://..." or "postgres://...", or "postgresql:" followed by a
// keyword string) rather than a directory.
bool names_database(std::string_view place);

class Services {
public:
    // Puts the catalog routines into vector 48 of the host.
    explicit Services(Host &host);
    // Ends every handle still open (writers not closed leave their entries
    // as they were).
    ~Services();
    Services(const Services &) = delete;
    Services &operator=(const Services &) = delete;

    // The services of the live host; the routines reach them through this.
    static Services &live();

    // ------------------------------------------------------------ libraries --

    // Assigns a library name (up to 8 characters, any case) to a directory.
    // The directory must exist unless `create_directory` (for a work
    // library) asks to make it. A read-only library refuses library mode 8.
    // Throws CatalogError on a bad name or directory.
    void assign_library(std::string_view name, const std::filesystem::path &directory,
                        bool read_only = false, bool create_directory = false);
    // Assigns a library name to a PostgreSQL database (see names_database);
    // its catalogs live in a schema named after the library, made on first
    // use. Nothing is connected until a catalog is used. Throws CatalogError
    // on a bad name or connection text.
    void assign_database_library(std::string_view name, std::string_view connection, bool read_only = false);
    // False when the name was not assigned.
    bool deassign_library(std::string_view name);
    std::optional<std::filesystem::path> library_directory(std::string_view name) const;
    std::optional<Library> library(std::string_view name) const;

    // The file a library and catalog name lead to (whether it exists or not).
    // Throws CatalogError: kCatalogLibraryNotAssigned, kCatalogBadRequest
    // (also for a database library, which keeps no files).
    std::filesystem::path catalog_file(std::string_view library, std::string_view catalog) const;
    // Where a catalog is, as messages name it (a file, or a database and schema).
    std::string catalog_place(std::string_view library, std::string_view catalog) const;

    // --------------------------------------------------- metadata for tools --

    // The entries of an existing catalog in name then type order.
    std::vector<EntryInfo> list_entries(std::string_view library, std::string_view catalog);
    // The catalogs of a library in name order.
    std::vector<CatalogSummary> list_catalogs(std::string_view library);
    bool catalog_exists(std::string_view library, std::string_view catalog);
    // Removes a catalog (see LibraryStore::remove_catalog).
    LibraryStore::Removal remove_catalog(std::string_view library, std::string_view catalog, bool with_entries,
                                         bool dry_run = false);
    // Compacts a catalog (see LibraryStore::vacuum); an empty `catalog` is
    // every catalog of a database library.
    LibraryStore::Compaction vacuum_catalog(std::string_view library, std::string_view catalog);
    // The entry's committed row, with what its version was written with;
    // none when there is no such entry. Throws CatalogError (kCatalogMissing
    // when there is no such catalog).
    std::optional<EntryRow> entry_row(std::string_view library, std::string_view catalog,
                                      std::string_view name, std::string_view type);
    // Tells the writer of the entry that is open in this process what the
    // version it writes is written with; its close commits them with the
    // version, in the same transaction. Answers what the version it started
    // from was written with (none: a new entry, or unknown). Throws
    // CatalogError(kCatalogBadRequest) when no writer of the entry is open.
    std::optional<VersionAttributes> set_written_attributes(std::string_view library,
                                                            std::string_view catalog,
                                                            std::string_view name,
                                                            std::string_view type,
                                                            const VersionAttributes &attributes);
    // Tells the writer of the entry that is open in this process the
    // created and modified times (microseconds since the epoch) its close
    // commits the version with. Throws CatalogError(kCatalogBadRequest)
    // when no writer of the entry is open.
    void set_written_times(std::string_view library, std::string_view catalog, std::string_view name,
                           std::string_view type, int64_t created, int64_t modified);
    // Makes the next deletion of the entry (through the vector, as the host
    // deletes) go ahead only if the entry is still the version that was
    // read: the same content, modified time and size. It is checked under
    // the entry's lock, in the deletion's own transaction, so that a writer
    // that closed a new version since then keeps it: the deletion is then
    // refused with kCatalogEntryInUse and replaced_at_deletion() is true.
    // The condition lasts for that one deletion, whatever its outcome.
    void delete_only_version(std::string_view library, std::string_view catalog, std::string_view name,
                             std::string_view type, int64_t content, int64_t modified, int64_t bytes);
    bool replaced_at_deletion() const { return replaced_at_deletion_; }
    // Ends a condition that no deletion met (the deletion failed before it
    // reached the catalog), so that it cannot hold back a later one.
    void drop_deletion_condition() { deletion_condition_.reset(); }
    // What a full check of the catalog finds wrong (empty: sound).
    std::vector<std::string> check_catalog(std::string_view library, std::string_view catalog);
    // A full check with a verdict per entry (only the one entry when
    // `name` is given; then there is no such entry is kCatalogEntryMissing).
    Verification verify_catalog(std::string_view library, std::string_view catalog,
                                std::optional<std::pair<std::string_view, std::string_view>> name = std::nullopt);

    // The library's settings (library_store.h), and keeping new ones for
    // every later writer. Throws CatalogError.
    LibrarySettings library_settings(std::string_view library);
    void save_library_settings(std::string_view library, const LibrarySettings &settings);

    // ------------------------------------------------------------ settings --

    // How long a request waits for another process's transaction.
    void set_busy_timeout(std::chrono::milliseconds wait) { busy_timeout_ms_ = static_cast<int>(wait.count()); }
    // How long a writer (or a deletion) waits for an entry that another
    // process is writing (60 s unless set; 0: not at all), and whom it
    // tells that it waits.
    // A handle of this process never waits for another of this process.
    void set_writer_wait(std::chrono::milliseconds limit) { wait_.limit = limit; }
    void set_wait_notice(std::function<void(const std::string &what)> notice) { wait_.on_wait = std::move(notice); }
    // Whether writers of this process compress their chunks, whatever the
    // libraries' settings say (none: as each library's settings say).
    void set_compress_writes(std::optional<bool> compress) { compress_writes_ = compress; }
    size_t open_catalogs() const { return catalogs_.size(); }
    size_t open_entries() const { return entries_.size(); }
    size_t open_scans() const { return scans_.size(); }
    // Ends every handle still open, as the services' end does (writers not
    // closed leave their entries as they were): a test whose host close was
    // made to fail starts afresh with it.
    void end_all_handles();
    // Handles refused because they were null, closed or never handed out:
    // each is a call through a released handle.
    int64_t stale_handles() const { return stale_handles_; }

    // The text of the last failure a routine answered, for people and tests.
    const std::string &last_error() const { return last_error_; }
    void set_last_error(std::string text) { last_error_ = std::move(text); }
    // Called before almost every call: clears in place, building nothing.
    void clear_last_error() { last_error_.clear(); }

    // ---------------------------------------------- the routines' work --
    // Called by the vector-48 routines (routines.cc) inside their guard;
    // they answer a status or throw CatalogError.

    int32_t open_catalog(const zef::LibraryRequest &request, void **catalog);
    int32_t close_catalog(void *catalog);
    int32_t open_entry(const zef::MemberRequest &request, void **entry);
    int32_t close_entry(void *entry);
    // The live entry handle `entry` points at; throws kCatalogBadRequest.
    EntryHandle &entry(void *entry) {
        if (entry != nullptr && entry == last_entry_) return *last_handle_;
        return find_entry_handle(entry);
    }
    int32_t describe_entry(const zef::EntryRequest &request, int64_t *size);
    int32_t find_entry(const zef::FindRequest &request);
    int32_t delete_entry(const zef::EntryRequest &request);
    int32_t open_scan(void *catalog, const char *filter8, void **scan_cell);
    int32_t read_scan(void *scan, zef::DirectoryEntryArea *area);
    int32_t close_scan(void *scan);
    int32_t start_information(void *catalog, zef::InformationRecord *record);
    int32_t end_information(void *catalog, void *host_word);

private:
    // An open catalog handle: the store and what ylminfo last told about an
    // entry, so that the open that follows can hold the entry to that size.
    struct CatalogHandle {
        std::shared_ptr<Store> store;
        std::shared_ptr<LibraryStore> library;
        std::string name;      // the catalog's, upper case
        bool created = false;  // this handle's open made the catalog
        std::optional<std::pair<EntryKey, int64_t>> described;
        int64_t information_records = 0;
    };
    // Entries open in this process, by catalog file and key.
    struct OpenCount {
        int readers = 0;
        int writers = 0;
    };

    CatalogHandle &catalog_handle(void *catalog);
    EntryHandle &find_entry_handle(void *entry);
    const Library &assigned(std::string_view library) const;
    OpenCount &open_count(const Store &store, const EntryKey &key);
    void forget_entry(EntryHandle *handle);
    // Ends a catalog handle; a catalog it made that stayed empty goes.
    void end_catalog(std::unique_ptr<CatalogHandle> handle);

    Host &host_;
    int busy_timeout_ms_ = 10000;
    WaitPolicy wait_;
    std::optional<bool> compress_writes_;
    // Each library's settings as first read by this process.
    std::map<std::string, LibrarySettings> settings_;
    std::map<std::string, Library> libraries_;
    std::unordered_map<void *, std::unique_ptr<CatalogHandle>> catalogs_;
    std::unordered_map<void *, std::unique_ptr<EntryHandle>> entries_;
    std::unordered_map<void *, std::unique_ptr<DirectoryScan>> scans_;
    std::map<std::pair<std::string, EntryKey>, OpenCount> open_counts_;
    int64_t next_information_word_ = 1;
    // The version the next deletion of an entry must find (see
    // delete_only_version), by catalog identity and key.
    struct DeletionCondition {
        std::string catalog;
        EntryKey key;
        int64_t content = 0;
        int64_t modified = 0;
        int64_t bytes = 0;
    };
    std::optional<DeletionCondition> deletion_condition_;
    bool replaced_at_deletion_ = false;
    std::string last_error_;
    int64_t stale_handles_ = 0;
    // The entry handle most recently looked up, for the record path.
    void *last_entry_ = nullptr;
    EntryHandle *last_handle_ = nullptr;
};

}  // namespace catalog
}  // namespace zefhost
