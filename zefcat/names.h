// Names and options as a person writes them on zefcat's command line, and
// what the host makes of them: a catalog name (library.catalog) or an entry
// name (library.catalog.entry, or library.catalog.entry.type), assigned to
// a fileref the host makes up, and options in the host's own syntax,
// joined into one option statement.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "session.h"

namespace zefcat {

// A name split at its periods the way the host's name division splits it:
// at most four parts, the last taking the rest.
std::vector<std::string> name_parts(std::string_view name);

// Throws a usage Problem unless `name` has 3 or 4 parts (an entry).
void require_entry_name(std::string_view name, std::string_view context);
// Throws a usage Problem unless `name` has 2 parts (a catalog).
void require_catalog_name(std::string_view name, std::string_view context);

// The option statement of the options given as separate arguments. Each
// argument is one option; a value the person quoted for their shell
// (DESC='January report' arrives as DESC=January report) is quoted again
// for the host when it is not one name or one number, so that it reaches
// the option slot as the one quoted string it was.
std::string option_statement(const std::vector<std::string> &options);

// Whether an argument is an option rather than a file name: KEY=VALUE, or
// one of the options without a value (MOD, ATTR, CATALOG, in any case).
bool looks_like_option(std::string_view argument);

// How zefcat moves an entry's contents.
enum class EntryForm {
    kLines,  // text: one line to a record
    kBytes,  // binary (GIF, JPEG, PNG, PDF, JAR): byte for byte, in stream form
};
// The form of an entry type (upper case, trailing blanks allowed).
EntryForm form_of_type(std::string_view type);

// An entry name assigned to a fileref of the host's making for one
// command, with what the module makes of the name.
struct AssignedEntry {
    Fileref fileref;
    std::string physical;  // LIB.CAT.ENTRY.TYPE, as the module names it
    std::string type;      // its last part
};

// Assigns the entry `name` (no options: those go with the open). Throws
// Problem: a usage one when the name is not an entry name.
AssignedEntry assign_entry(Session &session, std::string_view name, std::string_view context);

// Assigns the catalog `name` (library.catalog). Throws Problem.
Fileref assign_catalog(Session &session, std::string_view name, std::string_view context);

}  // namespace zefcat
