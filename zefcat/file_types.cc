#include "file_types.h"

#include <cctype>
#include <filesystem>

namespace zefcat {

namespace {

struct ExtensionType {
    const char *type;
    std::vector<const char *> extensions;
};

// The one table: every writable type a file's extension leads to. Text
// types are stored a line to a record, binary ones byte for byte (names.h,
// form_of_type). JSON is JS, as the module's member kinds read it.
const std::vector<ExtensionType> &extension_types() {
    static const std::vector<ExtensionType> table{
        {"SOURCE", {"txt", "text", "md", "rst", "c", "cc", "cpp", "cxx", "h", "hh", "hpp", "py", "sh", "pl",
                    "rb", "java", "go", "rs", "sql", "sas", "zef", "ini", "cfg", "conf", "yaml", "yml", "toml",
                    "tex"}},
        {"LOG", {"log"}},
        {"OUTPUT", {"lst", "lis", "out"}},
        {"HTML", {"html", "htm"}},
        {"XML", {"xml"}},
        {"XSL", {"xsl", "xslt"}},
        {"CSS", {"css"}},
        {"WML", {"wml"}},
        {"CSV", {"csv"}},
        {"JS", {"js", "mjs", "json"}},
        {"VBS", {"vbs"}},
        {"RTF", {"rtf"}},
        {"PS", {"ps", "eps"}},
        {"GIF", {"gif"}},
        {"JPEG", {"jpg", "jpeg"}},
        {"PNG", {"png"}},
        {"PDF", {"pdf"}},
        {"JAR", {"jar", "zip"}},
    };
    return table;
}

std::string lower(std::string_view text) {
    std::string result(text);
    for (char &c : result) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return result;
}

}  // namespace

std::string type_for_extension(std::string_view extension) {
    std::string key = lower(extension);
    for (const ExtensionType &row : extension_types())
        for (const char *known : row.extensions)
            if (key == known) return row.type;
    return kDefaultType;
}

std::vector<std::string> type_table_lines() {
    std::vector<std::string> lines;
    auto start = [](std::string_view type) { return "  " + std::string(type) + std::string(8 - type.size(), ' '); };
    for (const ExtensionType &row : extension_types()) {
        std::string line = start(row.type);
        for (const char *extension : row.extensions) {
            if (line.size() + std::string_view(extension).size() + 2 > 78) {
                lines.push_back(line);
                line = start("");
            }
            line += std::string(" .") + extension;
        }
        lines.push_back(line);
    }
    lines.push_back(start(kDefaultType) + " anything else, and no extension: kept byte for byte");
    return lines;
}

FileName file_name_parts(std::string_view path) {
    std::string name = std::filesystem::path(path).filename().string();
    FileName parts;
    size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0) {
        parts.stem = name;
    } else {
        parts.stem = name.substr(0, dot);
        parts.extension = name.substr(dot + 1);
    }
    for (char &c : parts.stem) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return parts;
}

}  // namespace zefcat
