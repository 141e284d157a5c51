// What an entry's version was written with (record format, record length,
// encoding), as the catalog store keeps it: put and append tell the store
// what they write with, and get and append use what the entry was written
// with for whatever the person does not give.
//
// An append that gives a record format or encoding other than the entry's
// is refused (a usage error): the entry would hold records of two shapes
// or bytes of two encodings. A different record length is refused for a
// fixed format (records of two widths); otherwise the append's is used,
// and the entry keeps the larger.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "entry_copy.h"
#include "zefhost/catalog/version_attributes.h"

namespace zefcat {

using zefhost::catalog::VersionAttributes;

// "F", "V", "P", "FP", "S": the record format as RECFM= letters (V when
// none was given).
std::string record_format_letters(uint32_t bits);
// "RECFM=F LRECL=80 ENCODING=latin1": the options that give the same attributes.
std::string attributes_text(const VersionAttributes &attributes);

// The entry `physical` (LIB.CAT.ENTRY.TYPE) as the store has it now: whether
// it exists, and what it was written with when that is known. An entry
// whose catalog cannot be read counts as missing (its open says why).
struct StoredEntry {
    bool exists = false;
    std::optional<VersionAttributes> attributes;
};
StoredEntry stored_entry(Session &session, std::string_view physical);

// The copy options with what the entry was written with added for what the
// person gave none of (a copy out: record format, the record length of a
// fixed format, encoding; an append: all three). Throws a usage Problem on
// an append that contradicts the entry.
CopyOptions with_stored_attributes(Session &session, CopyOptions copy, const VersionAttributes &stored,
                                   const std::vector<std::string> &given, EntryForm form, bool writing,
                                   bool carriage, std::string_view context);

// Whether the options make a write an append (append, or MOD given).
bool appends(const CopyOptions &copy);

// What a stream opened with `plan` and `copy` writes with; an append to an
// entry written with `stored` keeps the larger record length.
VersionAttributes attributes_in_force(Session &session, const Stream &stream, const OpenPlan &plan,
                                      const CopyOptions &copy,
                                      const std::optional<VersionAttributes> &stored);

// Tells the store what the version the open stream to `physical` writes is
// written with. Throws Problem.
void remember_attributes(Session &session, std::string_view physical, const VersionAttributes &attributes,
                         std::string_view context);

// Tells the store the created and modified times (microseconds since the
// epoch) the version the open stream to `physical` writes is committed
// with, in place of now. Throws Problem.
void remember_times(Session &session, std::string_view physical, int64_t created, int64_t modified,
                    std::string_view context);

}  // namespace zefcat
