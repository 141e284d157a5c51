// Names as the catalog store keys them. Requests carry library, catalog,
// entry and type names blank padded or length-prefixed, sometimes in lower
// case as a person typed them; the store keys everything in upper case
// without trailing blanks, so that any spelling finds the same thing.
#pragma once

#include <compare>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace zefhost::catalog {

inline constexpr size_t kLibraryWidth = 8;
inline constexpr size_t kNameWidth = 32;
inline constexpr size_t kTypeWidth = 8;
inline constexpr size_t kDescriptionWidth = 256;

// An entry's identity within its catalog.
struct EntryKey {
    std::string name;  // upper case, 0 to 32 characters
    std::string type;  // upper case, no trailing blanks, 0 to 8 characters
    auto operator<=>(const EntryKey &) const = default;
};

std::string upper(std::string_view text);
// Drops trailing blanks (and NULs, which some callers pad with).
std::string_view trim_right(std::string_view text);

// A library name: up to 8 characters, any case. Empty when blank. Throws
// CatalogError(kCatalogLibraryNotAssigned) when it cannot be a library name.
std::string library_key(std::string_view name);
// A catalog name of `length` characters from a 32-character field. Catalog
// names become file names, so only letters, digits and _ $ # @ - are taken;
// anything else (or a length outside 1..32) is a bad request.
std::string catalog_key(int64_t length, const char *text);
// The catalog's file in its library's directory: lower case, ".zcat".
std::string catalog_file_name(const std::string &catalog_key);

// An entry name of `length` characters (0..32) and an 8-character type.
// A length outside 0..32 is a bad request.
EntryKey entry_key(int64_t length, const char *name, const char *type8);

// Copies `text` into a field of `width` characters, blank padded.
void put_blank_padded(std::string_view text, char *field, size_t width);

}  // namespace zefhost::catalog
