// The entry a file becomes when it is put into a catalog without an entry
// name: its name's stem, upper-cased, and a type from its extension.
//
//     notes.txt  -> NOTES.SOURCE        build.log -> BUILD.LOG
//     logo.PNG   -> LOGO.PNG            data.bin  -> DATA.JAR (bytes kept)
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace zefcat {

// The type for an extension (without its period, any case); kDefaultType
// for one the table does not know and for no extension.
std::string type_for_extension(std::string_view extension);

// Unknown files are kept byte for byte: JAR is the binary type that says
// least about what its bytes are.
inline constexpr const char *kDefaultType = "JAR";

// The table as help text: "  SOURCE   .txt .text ...", a type a line
// (wrapped), then the default.
std::vector<std::string> type_table_lines();

// The entry name and extension of a file: "reports/Jan.2024.csv" gives
// "JAN.2024" and "csv"; a name starting with a period has no extension.
struct FileName {
    std::string stem;       // upper case
    std::string extension;  // as it was, without the period
};
FileName file_name_parts(std::string_view path);

}  // namespace zefcat
