// Deleting one entry through the module, as rm and mv do: the entry is
// first tested (slot 3), so that a missing entry is said as such and a
// missing catalog is not made by the deletion's open, then deleted (slot 32).
#pragma once

#include <string_view>

namespace zefcat {

class Session;

enum class Removal { kDelete, kCheckOnly };

// Deletes the entry `name` (checked by the caller). Returns false when it
// is not there and `missing_ok`; throws Problem when it is not there
// otherwise, or when the deletion fails. kCheckOnly makes the test alone.
bool remove_entry(Session &session, std::string_view name, bool missing_ok, Removal how,
                  std::string_view context);

// Whether the module's existence test finds no catalog `name`
// (library.catalog); false when it finds one or cannot tell.
bool catalog_missing(Session &session, std::string_view name, std::string_view context);

}  // namespace zefcat
