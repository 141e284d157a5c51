// What a name with patterns (patterns.h) stands for: the libraries,
// catalogs and entries there are that match it. Libraries come from the
// host's settings, catalogs from the files of a library's directory, and
// entries from the module's directory slots, as a host lists them.
#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "zefhost/catalog/library_store.h"

namespace zefcat {

class Tool;

struct CatalogPlace {
    std::string library;  // upper case
    std::string catalog;  // upper case
    std::string name() const { return library + "." + catalog; }
};

struct EntryPlace {
    CatalogPlace catalog;
    std::string name;
    std::string type;  // without trailing blanks
    // LIB.CAT.ENTRY.TYPE (LIB.CAT.ENTRY for an entry without a type).
    std::string full() const;
};

// Throws a usage Problem unless `name` (up to four parts) is fit for
// naming what ls and rm find: each part without a wildcard is checked by
// the rules of a name that is read, each with one for its characters.
void require_name_or_pattern(std::string_view name, std::string_view context);

// The catalog files in a library's directory, by upper-case catalog name.
// The catalogs of an assigned library, in name order, with what its store
// says of each; none when the store cannot be read.
std::vector<zefhost::catalog::CatalogSummary> library_catalogs(Tool &tool, const std::string &library);

// The assigned libraries whose names match `pattern`. A name without a
// wildcard must be assigned: a Problem says why it is not.
std::vector<std::string> matching_libraries(Tool &tool, std::string_view pattern, std::string_view context);

// The catalogs of the matching libraries whose names match `catalog`. A
// catalog name without a wildcard in a library name without one is taken
// as it is: whether it exists is for the module to say when it is opened.
std::vector<CatalogPlace> matching_catalogs(Tool &tool, std::string_view library, std::string_view catalog,
                                            std::string_view context);

// The entries of `where` whose name matches `entry` and whose type matches
// `type` (empty: any type), in the order the module's directory gives
// them. Throws Problem when the catalog cannot be listed; a catalog that
// is not there is not made.
std::vector<EntryPlace> matching_entries(Tool &tool, const CatalogPlace &where, std::string_view entry,
                                         std::string_view type, std::string_view context);

}  // namespace zefcat
