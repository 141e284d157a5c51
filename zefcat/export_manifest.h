// The manifest an export writes beside the files of a catalog's entries
// (zefcat-manifest.json), and how an import reads it back. One object a
// line of the entries array says everything about an entry that its file
// does not: its name and type, description, what it was written with,
// the catalog's times, and the file's size, time and mode.
//
//     {"format": "zefcat-export", "version": 1,
//      "entries": [{"file": "todo.source", "name": "TODO", "type": "SOURCE",
//                   "form": "text", "size": 42, "description": "Things to do",
//                   "written_with": {"recfm": "V", "lrecl": 256, "encoding": ""},
//                   "created": "2026-12-08T09:14:10.123456Z", ...}]}
//
// An entry's file is its name and type in lower case, joined by a period:
// both are made of the name characters (no /, no period), so a file name
// never leads outside the folder it is in, and maps back to one entry.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "names.h"
#include "zefhost/catalog/version_attributes.h"

namespace zefcat {

inline constexpr const char *kManifestFile = "zefcat-manifest.json";
inline constexpr const char *kManifestFormat = "zefcat-export";
inline constexpr int kManifestVersion = 1;
// A manifest larger than this is not read: it would describe more
// entries than any catalog holds.
inline constexpr int64_t kLongestManifest = int64_t{64} << 20;

struct ManifestEntry {
    std::string file;  // name.type, lower case
    std::string name;  // upper case
    std::string type;  // upper case
    EntryForm form = EntryForm::kLines;
    int64_t size = 0;  // the file's bytes
    std::string description;
    // What the version was written with; none when the catalog did not know.
    std::optional<zefhost::catalog::VersionAttributes> written_with;
    int64_t created = 0;   // microseconds since the epoch
    int64_t modified = 0;  // microseconds since the epoch
    std::optional<int64_t> file_time;   // nanoseconds since the epoch
    std::optional<uint32_t> file_mode;  // permission bits
    // Set when the line does not hold together: why it cannot be imported.
    std::string refused;

    // The modification time and mode the entry's file is given: its file
    // time and mode when known, else the entry's modification time and 0644.
    int64_t member_time() const;
    uint32_t member_mode() const;
};

// Nothing in it names the catalog it came from: an export of the catalog
// an import made is the same as the export it was made from.
struct Manifest {
    std::vector<ManifestEntry> entries;
};

// The file an entry is exported to: "todo.source" for TODO.SOURCE.
std::string entry_file_name(std::string_view name, std::string_view type);

// Why an entry cannot be exported under a file name that maps back to it
// (a name or type outside the name rules, or a type that cannot be
// written); empty when it can.
std::string unexportable_name(std::string_view name, std::string_view type);

// The manifest as JSON text (two-space indents, a final newline).
std::string manifest_text(const Manifest &manifest);

// Reads a manifest. Throws Problem when the text is not a manifest at all
// (not JSON, another format or version, no entries array); a line that
// does not hold together comes back with `refused` set, and so does every
// line after the first that names the same file or entry.
Manifest parse_manifest(std::string_view text, std::string_view context);

// "2026-12-08T09:14:10.123456Z": a time in units of 10^-digits seconds
// since the epoch, with `digits` digits of fraction; and back (none when
// the text is not such a time).
std::string iso_time(int64_t value, int digits);
std::optional<int64_t> parse_iso_time(std::string_view text, int digits);

}  // namespace zefcat
