#include "routines.h"

#include <new>

#include "catalog_error.h"
#include "entry_handle.h"
#include "services.h"
#include "host.h"

namespace zefhost::catalog {

namespace {


// Runs a routine's work and turns whatever it throws into a status.
template <typename Work>
int32_t guarded(Work &&work) noexcept {
    try {
        return work();
    } catch (const CatalogError &e) {
        Services::live().set_last_error(e.what());
        return e.status();
    } catch (const std::bad_alloc &) {
        Services::live().set_last_error("out of memory");
        return zef::kCatalogIoFailure;
    } catch (const std::exception &e) {
        Services::live().set_last_error(e.what());
        return zef::kCatalogIoFailure;
    } catch (...) {
        return zef::kCatalogIoFailure;
    }
}

template <typename T>
T &required(void *p, const char *what) {
    if (p == nullptr) fail(zef::kCatalogBadRequest, std::string("no ") + what);
    return *static_cast<T *>(p);
}

// Opens a catalog: library mode 1 (input, also 0) or 8 (writing, creating it).
int32_t ylopen(void *library_request, void **catalog) {
    HostCall call(zef::routine::ylopen);
    if (call.failure()) return *call.failure();
    return guarded([&] {
        auto &request = required<zef::LibraryRequest>(library_request, "library request");
        if (catalog == nullptr) fail(zef::kCatalogBadRequest, "no catalog cell");
        *catalog = nullptr;
        return Services::live().open_catalog(request, catalog);
    });
}

// Closes a catalog handle; entries and scans opened through it live on.
int32_t ylclose(void *catalog, int32_t) {
    HostCall call(zef::routine::ylclose);
    if (call.failure()) return *call.failure();
    return guarded([&] { return Services::live().close_catalog(catalog); });
}

// Opens an entry in member mode 1 (input), 2 (output) or 8 (append/update).
int32_t ylmopen(void *member_request, void **entry) {
    HostCall call(zef::routine::ylmopen);
    if (call.failure()) return *call.failure();
    return guarded([&] {
        auto &request = required<zef::MemberRequest>(member_request, "member request");
        if (entry == nullptr) fail(zef::kCatalogBadRequest, "no entry cell");
        *entry = nullptr;
        return Services::live().open_entry(request, entry);
    });
}

// Closes an entry: a writer's blocks become the entry's. The handle is
// gone afterwards whatever the status.
int32_t ylmclos(void *entry, int32_t) {
    HostCall call(zef::routine::ylmclos);
    if (call.failure()) return *call.failure();
    return guarded([&] { return Services::live().close_entry(entry); });
}

// Delivers the next block into the transfer request (count at +8, record
// code at +16); kCatalogEndOfMember with count 0 at the end.
int32_t ylmread(void *entry, void *transfer_request) {
    HostCall call(zef::routine::ylmread);
    if (call.failure()) return *call.failure();
    return guarded([&] {
        auto &transfer = required<zef::TransferRequest>(transfer_request, "transfer request");
        return Services::live().entry(entry).read(transfer);
    });
}

// Writes one block at the position: replaces the block there, or appends.
int32_t ylmwrit(void *entry, void *transfer_request) {
    HostCall call(zef::routine::ylmwrit);
    if (call.failure()) return *call.failure();
    return guarded([&] {
        auto &transfer = required<zef::TransferRequest>(transfer_request, "transfer request");
        Services::live().entry(entry).write(transfer);
        return 0;
    });
}

// Moves to a noted block index (how 0) or to the end (how 2).
int32_t ylmpoin(void *entry, int64_t position, int32_t how) {
    HostCall call(zef::routine::ylmpoin);
    if (call.failure()) return *call.failure();
    return guarded([&] {
        EntryHandle &handle = Services::live().entry(entry);
        if (how == zef::kPointToNoted)
            handle.point(position);
        else if (how == zef::kPointToEnd)
            handle.point_to_end();
        else
            fail(zef::kCatalogBadRequest, "point how " + std::to_string(how));
        return 0;
    });
}

// Notes the position: the index of the next block read or written.
int32_t ylmnote(void *entry, int64_t *position) {
    HostCall call(zef::routine::ylmnote);
    if (call.failure()) return *call.failure();
    return guarded([&] {
        EntryHandle &handle = Services::live().entry(entry);
        required<int64_t>(position, "position cell") = handle.position();
        return 0;
    });
}

// The length of the entry's longest block (0 when it has none).
int32_t ylminfo(void *entry_request, int32_t, int32_t, int64_t *size) {
    HostCall call(zef::routine::ylminfo);
    if (call.failure()) return *call.failure();
    return guarded([&] {
        auto &request = required<zef::EntryRequest>(entry_request, "entry request");
        if (size == nullptr) fail(zef::kCatalogBadRequest, "no size cell");
        return Services::live().describe_entry(request, size);
    });
}

// 0 when the entry exists, kCatalogEntryMissing when not.
int32_t ylmfind(void *find_request) {
    HostCall call(zef::routine::ylmfind);
    if (call.failure()) return *call.failure();
    return guarded([&] {
        return Services::live().find_entry(required<zef::FindRequest>(find_request, "find request"));
    });
}

// Deletes an entry; refused while it is open or being written.
int32_t ylmdel(void *entry_request, int32_t) {
    HostCall call(zef::routine::ylmdel);
    if (call.failure()) return *call.failure();
    return guarded([&] {
        return Services::live().delete_entry(required<zef::EntryRequest>(entry_request, "entry request"));
    });
}

// Opens a scan of the catalog's entries ("ALL     " or one type).
int32_t yldopen(void *catalog, const char *filter8, int32_t, void **scan_cell) {
    HostCall call(zef::routine::yldopen);
    if (call.failure()) return *call.failure();
    return guarded([&] { return Services::live().open_scan(catalog, filter8, scan_cell); });
}

// Fills the directory entry area with the next entry; kCatalogEndOfDirectory
// when none is left.
int32_t yldread(void *scan, void *entry_area, int32_t) {
    HostCall call(zef::routine::yldread);
    if (call.failure()) return *call.failure();
    return guarded([&] {
        return Services::live().read_scan(scan, static_cast<zef::DirectoryEntryArea *>(entry_area));
    });
}

int32_t yldclos(void *scan) {
    HostCall call(zef::routine::yldclos);
    if (call.failure()) return *call.failure();
    return guarded([&] { return Services::live().close_scan(scan); });
}

// Takes an information record: the module's item stays as it is; the host
// word is filled.
int32_t ylinfsy(void *catalog, void *information_record) {
    HostCall call(zef::routine::ylinfsy);
    if (call.failure()) return *call.failure();
    return guarded([&] {
        return Services::live().start_information(
            catalog, static_cast<zef::InformationRecord *>(information_record));
    });
}

// Ends what ylinfsy began; always 0 (the stream's catalog may be closed by now).
int32_t ylinfsr(void *catalog, void *host_word) {
    HostCall call(zef::routine::ylinfsr);
    if (call.failure()) return *call.failure();
    return guarded([&] { return Services::live().end_information(catalog, host_word); });
}

template <typename Proto>
void install(Host &host, zef::RoutineAddress at, Proto routine) {
    host.set_routine(at, reinterpret_cast<void *>(routine));
}

}  // namespace

void install_catalog_routines(Host &host) {
    namespace r = zef::routine;
    namespace p = zef::proto;
    install<p::ylopen>(host, r::ylopen, &ylopen);
    install<p::ylclose>(host, r::ylclose, &ylclose);
    install<p::ylmopen>(host, r::ylmopen, &ylmopen);
    install<p::ylmclos>(host, r::ylmclos, &ylmclos);
    install<p::ylmread>(host, r::ylmread, &ylmread);
    install<p::ylmwrit>(host, r::ylmwrit, &ylmwrit);
    install<p::ylmpoin>(host, r::ylmpoin, &ylmpoin);
    install<p::ylmnote>(host, r::ylmnote, &ylmnote);
    install<p::ylminfo>(host, r::ylminfo, &ylminfo);
    install<p::ylmfind>(host, r::ylmfind, &ylmfind);
    install<p::ylmdel>(host, r::ylmdel, &ylmdel);
    install<p::yldopen>(host, r::yldopen, &yldopen);
    install<p::yldread>(host, r::yldread, &yldread);
    install<p::yldclos>(host, r::yldclos, &yldclos);
    install<p::ylinfsy>(host, r::ylinfsy, &ylinfsy);
    install<p::ylinfsr>(host, r::ylinfsr, &ylinfsr);
}

}  // namespace zefhost::catalog
