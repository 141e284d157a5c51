// Writing files into entries, as put and append do: one file into one
// entry, or many files into a catalog, each as an entry named after it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "zefhost/catalog/version_attributes.h"

namespace zefcat {

class Session;
class Tool;

// What an import knows of the version it writes, kept by the new version
// in place of what the put itself would record: what the exported version
// was written with (none: it was not known, and stays unknown), and when
// it was created and last modified.
struct KeptVersion {
    std::optional<zefhost::catalog::VersionAttributes> attributes;
    int64_t created = 0;   // microseconds since the epoch
    int64_t modified = 0;  // microseconds since the epoch
};

// Writes `file` (- for standard input) into the entry `name` with the
// host's `options`: the new contents become the entry's only when the whole
// file was written. `append` adds to the end instead. The number of lines
// cut to the record length. Throws Problem; the entry is then as it was.
// A put records the file's modification time and permission bits with
// the version. `kept` (an import) says what the version keeps instead;
// its file is then read without following a symbolic link.
int64_t put_file(Session &session, const std::string &name, const std::string &file,
                 const std::vector<std::string> &options, bool carriage, bool append, const std::string &context,
                 const KeptVersion *kept = nullptr);

// Puts each file into the catalog `catalog` (library.catalog) as an entry
// named after it (file_types.h), `type` (when not empty) for every one.
// Each is its own write; a file that cannot be put is said and the others
// still go in. Prints what was put and a count; the exit status: 1 when
// any file was refused, else 3 when lines were cut, else 0.
int put_files(Tool &tool, const std::string &catalog, const std::vector<std::string> &files,
              const std::vector<std::string> &options, const std::string &type, bool carriage);

}  // namespace zefcat
