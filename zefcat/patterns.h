// Shell-style patterns in the parts of a name, as ls and rm take them:
// `*` any run of characters, `?` any one, `[...]` one of a set (`[!...]`
// none of it), matched without regard to case, since names have none.
// Each part is matched on its own: a `*` never reaches across a period.
#pragma once

#include <string_view>

namespace zefcat {

// Whether a part holds a wildcard (*, ? or [).
bool has_wildcard(std::string_view part);
// Whether any part of a name holds one.
bool is_pattern(std::string_view name);

// Whether `name` matches the pattern `part`. A part equal to the name (in
// any case) matches too, so that an entry whose name holds a bracket can
// still be named.
bool part_matches(std::string_view part, std::string_view name);

// Throws a usage Problem unless the pattern parts of a name have only the
// characters of names and the wildcards (a blank, a quote, a control
// character or a byte outside ASCII could match no name). The parts
// without wildcards are checked by the name rules, by the caller.
void require_pattern_characters(std::string_view name, std::string_view context);

}  // namespace zefcat
