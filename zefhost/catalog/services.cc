#include "services.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "catalog_error.h"
#include "database_library.h"
#include "directory_library.h"
#include "directory_scan.h"
#include "entry_layout.h"
#include "entry_reader.h"
#include "entry_writer.h"
#include "routines.h"
#include "host.h"

namespace zefhost::catalog {

namespace {

Services *live_services = nullptr;

std::string entry_text(const EntryKey &key) { return key.name + "." + key.type; }

// The key of an entry named by a tool the way a person wrote it.
EntryKey tool_entry_key(std::string_view name, std::string_view type) {
    std::string_view trimmed_type = trim_right(type);
    if (name.empty() || name.size() > kNameWidth || trimmed_type.size() > kTypeWidth)
        fail(zef::kCatalogBadRequest, "not an entry name: " + std::string(name) + "." + std::string(type));
    return EntryKey{upper(name), upper(trimmed_type)};
}

}  // namespace

bool names_database(std::string_view place) {
    return place.starts_with("postgresql:") || place.starts_with("postgres://");
}

Services::Services(Host &host) : host_(host) {
    live_services = this;
    install_catalog_routines(host_);
}

Services::~Services() {
    end_all_handles();
    if (live_services == this) live_services = nullptr;
}

void Services::end_all_handles() {
    last_entry_ = nullptr;
    last_handle_ = nullptr;
    entries_.clear();
    scans_.clear();
    while (!catalogs_.empty()) {
        auto handle = std::move(catalogs_.begin()->second);
        catalogs_.erase(catalogs_.begin());
        end_catalog(std::move(handle));
    }
    open_counts_.clear();
}

Services &Services::live() {
    if (live_services == nullptr) {
        std::fputs("zefhost: a catalog routine was called with no live catalog services\n", stderr);
        std::abort();
    }
    return *live_services;
}

// ---------------------------------------------------------------- libraries --

void Services::assign_library(std::string_view name, const std::filesystem::path &directory,
                              bool read_only, bool create_directory) {
    std::string key = library_key(name);
    if (key.empty()) fail(zef::kCatalogLibraryNotAssigned, "empty library name");
    std::error_code ec;
    if (create_directory) std::filesystem::create_directories(directory, ec);
    if (!std::filesystem::is_directory(directory, ec))
        fail(zef::kCatalogLibraryNotAssigned, "library " + key + ": " + directory.string() +
                                                  " is not a directory");
    std::filesystem::path absolute = std::filesystem::absolute(directory, ec);
    libraries_[key] = Library{std::make_shared<DirectoryLibrary>(key, absolute, read_only), absolute, read_only};
    settings_.erase(key);
}

void Services::assign_database_library(std::string_view name, std::string_view connection, bool read_only) {
    std::string key = library_key(name);
    if (key.empty()) fail(zef::kCatalogLibraryNotAssigned, "empty library name");
    libraries_[key] = Library{std::make_shared<DatabaseLibrary>(key, connection, read_only), {}, read_only};
    settings_.erase(key);
}

bool Services::deassign_library(std::string_view name) {
    settings_.erase(library_key(name));
    return libraries_.erase(library_key(name)) > 0;
}

std::optional<Library> Services::library(std::string_view name) const {
    auto it = libraries_.find(library_key(name));
    if (it == libraries_.end()) return std::nullopt;
    return it->second;
}

std::optional<std::filesystem::path> Services::library_directory(std::string_view name) const {
    auto found = library(name);
    if (!found || found->directory.empty()) return std::nullopt;
    return found->directory;
}

const Library &Services::assigned(std::string_view library_name) const {
    std::string key = library_key(library_name);
    auto it = libraries_.find(key);
    if (key.empty() || it == libraries_.end())
        fail(zef::kCatalogLibraryNotAssigned, "library \"" + key + "\" is not assigned");
    return it->second;
}

std::filesystem::path Services::catalog_file(std::string_view library_name,
                                             std::string_view catalog) const {
    const Library &library = assigned(library_name);
    std::string name = catalog_key(static_cast<int64_t>(catalog.size()), catalog.data());
    if (library.directory.empty())
        fail(zef::kCatalogBadRequest, "library " + library_key(library_name) + " is a database: it keeps no files");
    return library.directory / catalog_file_name(name);
}

std::string Services::catalog_place(std::string_view library_name, std::string_view catalog) const {
    return assigned(library_name).store->catalog_place(
        catalog_key(static_cast<int64_t>(catalog.size()), catalog.data()));
}

// ------------------------------------------------------ metadata for tools --

namespace {

// An existing catalog opened to read; kCatalogMissing names its place.
std::shared_ptr<Store> open_to_read(LibraryStore &library, std::string_view catalog, int busy_timeout_ms) {
    std::string name = catalog_key(static_cast<int64_t>(catalog.size()), catalog.data());
    if (!library.exists(name)) fail(zef::kCatalogMissing, library.catalog_place(name) + ": no such catalog");
    bool created = false;
    return library.open(name, false, busy_timeout_ms, created);
}

}  // namespace

std::vector<EntryInfo> Services::list_entries(std::string_view library_name, std::string_view catalog) {
    std::shared_ptr<Store> store = open_to_read(*assigned(library_name).store, catalog, busy_timeout_ms_);
    return store->main().entries();
}

std::vector<CatalogSummary> Services::list_catalogs(std::string_view library_name) {
    return assigned(library_name).store->catalogs();
}

bool Services::catalog_exists(std::string_view library_name, std::string_view catalog) {
    return assigned(library_name).store->exists(catalog_key(static_cast<int64_t>(catalog.size()), catalog.data()));
}

LibraryStore::Removal Services::remove_catalog(std::string_view library_name, std::string_view catalog,
                                               bool with_entries, bool dry_run) {
    return assigned(library_name)
        .store->remove_catalog(catalog_key(static_cast<int64_t>(catalog.size()), catalog.data()), with_entries,
                               dry_run, busy_timeout_ms_);
}

LibraryStore::Compaction Services::vacuum_catalog(std::string_view library_name, std::string_view catalog) {
    std::string name = catalog.empty() ? std::string() : catalog_key(static_cast<int64_t>(catalog.size()), catalog.data());
    return assigned(library_name).store->vacuum(name, busy_timeout_ms_);
}

std::optional<EntryRow> Services::entry_row(std::string_view library_name, std::string_view catalog,
                                            std::string_view name, std::string_view type) {
    EntryKey key = tool_entry_key(name, type);
    std::shared_ptr<Store> store = open_to_read(*assigned(library_name).store, catalog, busy_timeout_ms_);
    return store->main().entry(key);
}

std::optional<VersionAttributes> Services::set_written_attributes(std::string_view library_name,
                                                                  std::string_view catalog,
                                                                  std::string_view name,
                                                                  std::string_view type,
                                                                  const VersionAttributes &attributes) {
    EntryKey key = tool_entry_key(name, type);
    std::string id = assigned(library_name).store->catalog_identity(
        catalog_key(static_cast<int64_t>(catalog.size()), catalog.data()));
    for (auto &[address, handle] : entries_) {
        if (!handle->writes() || handle->key() != key || handle->store().identity() != id) continue;
        auto &writer = static_cast<EntryWriter &>(*handle);  // every handle that writes is a writer
        writer.set_attributes(attributes);
        return writer.base_attributes();
    }
    fail(zef::kCatalogBadRequest, "no writer of entry " + entry_text(key) + " is open");
}

void Services::delete_only_version(std::string_view library_name, std::string_view catalog, std::string_view name,
                                   std::string_view type, int64_t content, int64_t modified, int64_t bytes) {
    std::string id = assigned(library_name).store->catalog_identity(
        catalog_key(static_cast<int64_t>(catalog.size()), catalog.data()));
    deletion_condition_ = DeletionCondition{std::move(id), tool_entry_key(name, type), content, modified, bytes};
    replaced_at_deletion_ = false;
}

void Services::set_written_times(std::string_view library_name, std::string_view catalog, std::string_view name,
                                 std::string_view type, int64_t created, int64_t modified) {
    EntryKey key = tool_entry_key(name, type);
    std::string id = assigned(library_name).store->catalog_identity(
        catalog_key(static_cast<int64_t>(catalog.size()), catalog.data()));
    for (auto &[address, handle] : entries_) {
        if (!handle->writes() || handle->key() != key || handle->store().identity() != id) continue;
        static_cast<EntryWriter &>(*handle).set_times(created, modified);
        return;
    }
    fail(zef::kCatalogBadRequest, "no writer of entry " + entry_text(key) + " is open");
}

std::vector<std::string> Services::check_catalog(std::string_view library_name, std::string_view catalog) {
    return open_to_read(*assigned(library_name).store, catalog, busy_timeout_ms_)->check();
}

Verification Services::verify_catalog(std::string_view library_name, std::string_view catalog,
                                      std::optional<std::pair<std::string_view, std::string_view>> name) {
    std::shared_ptr<Store> store = open_to_read(*assigned(library_name).store, catalog, busy_timeout_ms_);
    if (!name) return store->verify();
    EntryKey key = tool_entry_key(name->first, name->second);
    Verification v = store->verify(&key);
    if (v.entries.empty()) fail(zef::kCatalogEntryMissing, "no entry " + key.name + "." + key.type);
    return v;
}

LibrarySettings Services::library_settings(std::string_view library_name) {
    const Library &library = assigned(library_name);
    std::string key = library_key(library_name);
    auto known = settings_.find(key);
    if (known != settings_.end()) return known->second;
    LibrarySettings settings = library.store->settings();
    settings_.emplace(key, settings);
    return settings;
}

void Services::save_library_settings(std::string_view library_name, const LibrarySettings &settings) {
    assigned(library_name).store->save_settings(settings);
    settings_.insert_or_assign(library_key(library_name), settings);
}

// ----------------------------------------------------------------- handles --

Services::CatalogHandle &Services::catalog_handle(void *catalog) {
    auto it = catalogs_.find(catalog);
    if (catalog == nullptr || it == catalogs_.end()) {
        ++stale_handles_;
        fail(zef::kCatalogBadRequest, "not an open catalog handle");
    }
    return *it->second;
}

EntryHandle &Services::find_entry_handle(void *entry) {
    auto it = entries_.find(entry);
    if (entry == nullptr || it == entries_.end()) {
        ++stale_handles_;
        fail(zef::kCatalogBadRequest, "not an open entry handle");
    }
    last_entry_ = entry;
    last_handle_ = it->second.get();
    return *last_handle_;
}

Services::OpenCount &Services::open_count(const Store &store, const EntryKey &key) {
    return open_counts_[{store.identity(), key}];
}

void Services::forget_entry(EntryHandle *handle) {
    auto it = open_counts_.find({handle->store().identity(), handle->key()});
    if (it != open_counts_.end()) {
        (handle->writes() ? it->second.writers : it->second.readers) -= 1;
        if (it->second.readers == 0 && it->second.writers == 0) open_counts_.erase(it);
    }
    if (last_handle_ == handle) {
        last_entry_ = nullptr;
        last_handle_ = nullptr;
    }
}

// ---------------------------------------------------------------- catalogs --

int32_t Services::open_catalog(const zef::LibraryRequest &request, void **catalog) {
    int32_t mode = request.library_mode;
    if (mode != 0 && mode != zef::kLibraryInput && mode != zef::kLibraryWrite)
        fail(zef::kCatalogBadRequest, "library mode " + std::to_string(mode));
    bool writing = mode == zef::kLibraryWrite;
    std::string library_name = library_key(std::string_view(request.libref, kLibraryWidth));
    auto library = libraries_.find(library_name);
    if (library_name.empty() || library == libraries_.end())
        fail(zef::kCatalogLibraryNotAssigned, "library \"" + library_name + "\" is not assigned");
    std::string name = catalog_key(request.catalog_name_length, request.catalog_name);
    auto handle = std::make_unique<CatalogHandle>();
    handle->library = library->second.store;
    handle->name = name;
    // Read before the catalog is opened: a library whose settings cannot
    // be read takes no new catalog either.
    bool compress = writing && compress_writes_.value_or(writing && library_settings(library_name).compress);
    handle->store = handle->library->open(name, writing, busy_timeout_ms_, handle->created);
    if (writing) {
        handle->store->set_compress_writes(compress);
        // Housekeeping: what dead writers left behind goes now. A busy
        // catalog is left for another time.
        try {
            Store &store = *handle->store;
            if (!store.main().writers(nullptr).empty()) {
                Transaction t(store.main(), StoreSession::Kind::write);
                store.reclaim_dead_writers(store.main(), nullptr);
                t.commit();
            }
        } catch (const CatalogError &) {
        }
    }
    void *address = handle.get();
    catalogs_.emplace(address, std::move(handle));
    *catalog = address;
    return 0;
}

int32_t Services::close_catalog(void *catalog) {
    catalog_handle(catalog);
    auto handle = std::move(catalogs_[catalog]);
    catalogs_.erase(catalog);
    end_catalog(std::move(handle));
    return 0;
}

// A catalog that this handle made for a write that failed, and that stayed
// empty, is removed: a refused put leaves nothing behind. A catalog made and
// left empty on purpose stays.
void Services::end_catalog(std::unique_ptr<CatalogHandle> handle) {
    // Entries and scans opened through it keep the store; so may another
    // handle of this process.
    if (!handle->created || !handle->store->failed_write() || handle->store.use_count() != 1) return;
    bool empty = false;
    try {
        empty = handle->store->main().empty();
    } catch (const CatalogError &) {
    }
    std::shared_ptr<LibraryStore> library = handle->library;
    std::string name = handle->name;
    handle.reset();
    if (empty) library->remove_if_empty(name);
}

// ----------------------------------------------------------------- entries --

int32_t Services::open_entry(const zef::MemberRequest &request, void **entry) {
    CatalogHandle &catalog = catalog_handle(request.catalog_handle);
    int32_t mode = request.member_mode;
    if (mode != zef::kMemberInput && mode != zef::kMemberOutput && mode != zef::kMemberAppend)
        fail(zef::kCatalogBadRequest, "member mode " + std::to_string(mode));
    EntryKey key = entry_key(request.entry_name_length, request.entry_name, request.entry_type);
    // The size ylminfo just told about this entry, which the caller's buffer was sized from.
    int64_t longest_allowed = -1;
    if (catalog.described && catalog.described->first == key) longest_allowed = catalog.described->second;
    catalog.described.reset();

    std::unique_ptr<EntryHandle> handle;
    if (mode == zef::kMemberInput) {
        if (key.name.empty()) fail(zef::kCatalogEntryMissing, "empty entry name");
        handle = std::make_unique<EntryReader>(catalog.store, key, longest_allowed);
    } else {
        if (!catalog.store->writable())
            fail(zef::kCatalogBadRequest, "catalog opened for input; entry " + entry_text(key) + " not writable");
        if (key.name.empty()) fail(zef::kCatalogBadRequest, "empty entry name");
        if (request.description_length < 0 || request.description_length > static_cast<int>(kDescriptionWidth))
            fail(zef::kCatalogBadRequest, "description length " + std::to_string(request.description_length));
        auto counts = open_counts_.find({catalog.store->identity(), key});
        if (counts != open_counts_.end() && counts->second.writers > 0)
            fail(zef::kCatalogEntryInUse, "entry " + entry_text(key) + " is being written");
        std::string description(trim_right(std::string_view(
            request.description, static_cast<size_t>(request.description_length))));
        try {
            handle = std::make_unique<EntryWriter>(catalog.store, key, mode, std::move(description),
                                                   longest_allowed, wait_);
        } catch (...) {
            catalog.store->note_failed_write();
            throw;
        }
    }
    OpenCount &counts = open_count(*catalog.store, key);
    (handle->writes() ? counts.writers : counts.readers) += 1;
    void *address = handle.get();
    entries_.emplace(address, std::move(handle));
    *entry = address;
    return 0;
}

int32_t Services::close_entry(void *entry) {
    auto it = entries_.find(entry);
    if (entry == nullptr || it == entries_.end()) {
        ++stale_handles_;
        fail(zef::kCatalogBadRequest, "not an open entry handle");
    }
    std::unique_ptr<EntryHandle> handle = std::move(it->second);
    entries_.erase(it);
    forget_entry(handle.get());
    handle->close();
    return 0;
}

int32_t Services::describe_entry(const zef::EntryRequest &request, int64_t *size) {
    CatalogHandle &catalog = catalog_handle(request.catalog_handle);
    EntryKey key = entry_key(request.entry_name_length, request.entry_name, request.entry_type);
    std::optional<StoredEntry> stored;
    if (!key.name.empty()) {
        // The size reported here is what the caller sizes its buffers by:
        // it is told only once the pieces and chunks behind it agree.
        Transaction snapshot(catalog.store->main(), StoreSession::Kind::read);
        stored = checked_entry(catalog.store->main(), key);
    }
    if (!stored) fail(zef::kCatalogEntryMissing, "no entry " + entry_text(key));
    *size = stored->row.longest;
    catalog.described.emplace(std::move(key), stored->row.longest);
    return 0;
}

int32_t Services::find_entry(const zef::FindRequest &request) {
    CatalogHandle &catalog = catalog_handle(request.catalog_handle);
    EntryKey key = entry_key(request.entry_name_length, request.entry_name, request.entry_type);
    if (key.name.empty() || !catalog.store->main().entry(key))
        fail(zef::kCatalogEntryMissing, "no entry " + entry_text(key));
    return 0;
}

int32_t Services::delete_entry(const zef::EntryRequest &request) {
    CatalogHandle &catalog = catalog_handle(request.catalog_handle);
    EntryKey key = entry_key(request.entry_name_length, request.entry_name, request.entry_type);
    Store &store = *catalog.store;
    std::optional<DeletionCondition> condition;
    if (deletion_condition_ && deletion_condition_->key == key && deletion_condition_->catalog == store.identity())
        condition = std::exchange(deletion_condition_, std::nullopt);
    if (!store.writable()) fail(zef::kCatalogBadRequest, "catalog opened for input");
    if (key.name.empty()) fail(zef::kCatalogEntryMissing, "empty entry name");
    if (open_counts_.count({store.identity(), key}))
        fail(zef::kCatalogEntryInUse, "entry " + entry_text(key) + " is open");
    // A writer in another process has it from open to close: wait for it.
    std::unique_ptr<HeldLock> entry =
        store.lock_entry(store.main(), key, "entry " + entry_text(key) + " is being written", wait_);
    StoreSession &session = store.main();
    auto remove = [&] {
        Transaction t(session, StoreSession::Kind::durable_write);
        if (store.reclaim_dead_writers(session, &key))
            fail(zef::kCatalogEntryInUse, "entry " + entry_text(key) + " is being written");
        std::optional<EntryRow> row = session.entry(key);
        if (!row) fail(zef::kCatalogEntryMissing, "no entry " + entry_text(key));
        if (condition && (row->content != condition->content || row->modified != condition->modified ||
                          row->bytes != condition->bytes)) {
            replaced_at_deletion_ = true;
            fail(zef::kCatalogEntryInUse, "entry " + entry_text(key) + " was replaced since it was read");
        }
        session.drop_content(row->content);
        session.delete_entry_row(key);
        t.commit();
    };
    try {
        remove();
    } catch (const CatalogError &e) {
        // A full disk: the catalog's reserve makes room for the deletion's log.
        if (e.status() != zef::kCatalogIoFailure || !store.release_reserve()) throw;
        remove();
    }
    store.settle(store.main());
    return 0;
}

// ---------------------------------------------------------- directory scans --

int32_t Services::open_scan(void *catalog, const char *filter8, void **scan_cell) {
    CatalogHandle &handle = catalog_handle(catalog);
    if (scan_cell == nullptr) fail(zef::kCatalogBadRequest, "no scan cell");
    std::string filter = filter8 ? upper(trim_right(std::string_view(filter8, kTypeWidth))) : "";
    if (filter == "ALL") filter.clear();
    auto scan = std::make_unique<DirectoryScan>();
    scan->store = handle.store;
    scan->keys = handle.store->main().keys(filter);
    void *address = scan.get();
    scans_.emplace(address, std::move(scan));
    *scan_cell = address;
    return 0;
}

int32_t Services::read_scan(void *scan, zef::DirectoryEntryArea *area) {
    auto it = scans_.find(scan);
    if (scan == nullptr || it == scans_.end()) {
        ++stale_handles_;
        fail(zef::kCatalogBadRequest, "not an open scan");
    }
    if (area == nullptr) fail(zef::kCatalogBadRequest, "no directory entry area");
    DirectoryScan &s = *it->second;
    if (s.next >= s.keys.size()) return zef::kCatalogEndOfDirectory;
    const EntryKey &key = s.keys[s.next++];
    std::memset(area, 0, sizeof *area);
    area->name_length = static_cast<int16_t>(key.name.size());
    put_blank_padded(key.name, area->name, kNameWidth);
    put_blank_padded(key.type, area->type, kTypeWidth);
    return 0;
}

int32_t Services::close_scan(void *scan) {
    if (scan == nullptr || scans_.erase(scan) == 0) {
        ++stale_handles_;
        fail(zef::kCatalogBadRequest, "not an open scan");
    }
    return 0;
}

// ------------------------------------------------------ information records --

int32_t Services::start_information(void *catalog, zef::InformationRecord *record) {
    CatalogHandle &handle = catalog_handle(catalog);
    if (record == nullptr) fail(zef::kCatalogBadRequest, "no information record");
    record->host_word = static_cast<uint64_t>(next_information_word_++);
    ++handle.information_records;
    return 0;
}

int32_t Services::end_information(void *catalog, void *) {
    auto it = catalogs_.find(catalog);
    if (catalog != nullptr && it != catalogs_.end() && it->second->information_records > 0)
        --it->second->information_records;
    return 0;
}

}  // namespace zefhost::catalog
