// Requests on the library WORK (a directory or a database), each as one
// status, for tables of faults that each request meets.
#pragma once

#include <string_view>
#include <vector>

#include "support.h"
#include "zefhost/catalog/catalog_error.h"

namespace cattest {

enum class Op {
    read,            // read WORK.C.A
    write_new,       // write WORK.C.N
    replace,         // write WORK.C.A anew
    append,          // append to WORK.C.A
    remove_entry,    // delete WORK.C.A
    new_catalog,     // write WORK.M.N, a catalog not there yet
    remove_catalog,  // remove WORK.C with its entries
    list_catalogs,
    catalog_exists,
    check,
    list_entries,
    scan_type,       // a directory scan of WORK.C for type DATA
    scan_all,        // a directory scan of WORK.C for every type
    describe,        // WORK.C.A's longest block
    find,            // whether WORK.C.A is there
    vacuum,          // compact WORK.C
    vacuum_library,  // compact every catalog of WORK (a database's)
};

// What a tool's call answers, as a status; its message goes where a
// failed request's does (Services::last_error).
template <typename F>
int32_t status_of(F &&request) {
    try {
        request();
        return 0;
    } catch (const zefhost::catalog::CatalogError &e) {
        zefhost::catalog::Services::live().set_last_error(e.what());
        return e.status();
    }
}

// Opens WORK.<catalog> for writing, writes the entry <name>.DATA and
// closes both: the first status that was not 0.
int32_t write_blocks(std::string_view catalog, std::string_view name, int32_t mode, const std::vector<Block> &blocks);

// Makes the request `op` on WORK.C (holding entries A and B).
int32_t run_request(zefhost::catalog::Services &services, Op op);

}  // namespace cattest
