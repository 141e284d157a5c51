// A library's settings as words: the "key = value" lines of a directory
// library's zef-library.conf, and the (key, value) rows of a database
// library's `settings` table. What is kept is untrusted: a key this code
// does not know is passed over (a newer zefhost may have written it), a
// value it cannot read is refused.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "library_store.h"

namespace zefhost::catalog {

// Sets what (key, value) says; throws CatalogError(kCatalogDamaged) naming
// `where` for a value it cannot read.
void apply_setting(LibrarySettings &settings, std::string_view key, std::string_view value, const std::string &where);

// The settings as (key, value) pairs, every key this code knows.
std::vector<std::pair<std::string, std::string>> setting_pairs(const LibrarySettings &settings);

// A settings file's text read, and written.
LibrarySettings parse_settings_file(std::string_view text, const std::string &where);
std::string settings_file_text(const LibrarySettings &settings);

}  // namespace zefhost::catalog
