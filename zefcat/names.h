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

// What a name is checked for. Every name must have the right number of
// parts, none empty, none too long, and a library and catalog made of the
// characters below (no catalog can be named otherwise). A name that makes
// an entry must be made of them throughout, and its type must be one that
// can be written; a name that only reads (get, info, exists, rm, ls) may
// have other characters in its entry and type, so that an entry made
// before the rule can still be read and removed.
//
// The characters: letters (any case), digits and _ $ # @ -, the - not
// first; a library has no -. Libraries and types have up to 8 of them,
// catalogs and entries up to 32.
enum class NameUse { kRead, kWrite };

// The rules in words, as the messages give them.
extern const char *const kNameRule;
extern const char *const kLibraryRule;

// Throws a usage Problem unless `name` is an entry name
// (library.catalog.entry.type, or library.catalog.entry) fit for `use`.
void require_entry_name(std::string_view name, NameUse use, std::string_view context);
// Throws a usage Problem unless `name` is a catalog name (library.catalog).
void require_catalog_name(std::string_view name, std::string_view context);
// Throws a usage Problem unless `name` is a library name.
void require_library_name(std::string_view name, std::string_view context);

// The parts of a name, for checking one on its own.
enum class NamePart { kLibrary, kCatalog, kEntry, kType };
// Throws a usage Problem unless `part` is fit to be that part of a name
// used for `use` (the rules above).
void require_name_part(std::string_view part, NamePart which, NameUse use, std::string_view context);

// Whether entries of `type` (upper case, any case) can be written.
bool writable_type(std::string_view type);

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
// Problem: a usage one when the name is not an entry name fit for `use`.
AssignedEntry assign_entry(Session &session, std::string_view name, NameUse use, std::string_view context);

// Assigns the catalog `name` (library.catalog). Throws Problem.
Fileref assign_catalog(Session &session, std::string_view name, std::string_view context);

}  // namespace zefcat
