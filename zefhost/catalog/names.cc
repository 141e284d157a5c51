#include "names.h"

#include <algorithm>
#include <cstring>

#include "catalog_error.h"

namespace zefhost::catalog {

namespace {

char upper_char(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }
char lower_char(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool catalog_char(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '$' || c == '#' ||
           c == '@' || c == '-';
}

}  // namespace

std::string upper(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), upper_char);
    return out;
}

std::string_view trim_right(std::string_view text) {
    while (!text.empty() && (text.back() == ' ' || text.back() == '\0')) text.remove_suffix(1);
    return text;
}

std::string library_key(std::string_view name) {
    std::string key = upper(trim_right(name));
    if (key.size() > kLibraryWidth || key.find_first_of(std::string_view(" /\0", 3)) != std::string::npos)
        fail(zef::kCatalogLibraryNotAssigned, "not a library name: \"" + std::string(name) + "\"");
    return key;
}

std::string catalog_key(int64_t length, const char *text) {
    if (length < 1 || length > static_cast<int64_t>(kNameWidth))
        fail(zef::kCatalogBadRequest, "catalog name length " + std::to_string(length));
    std::string key = upper(trim_right(std::string_view(text, static_cast<size_t>(length))));
    if (key.empty() || key.front() == '-' || !std::all_of(key.begin(), key.end(), catalog_char))
        fail(zef::kCatalogBadRequest, "not a catalog name: \"" + key + "\"");
    return key;
}

std::string catalog_file_name(const std::string &catalog_key) {
    std::string file(catalog_key);
    std::transform(file.begin(), file.end(), file.begin(), lower_char);
    return file + ".zcat";
}

EntryKey entry_key(int64_t length, const char *name, const char *type8) {
    if (length < 0 || length > static_cast<int64_t>(kNameWidth))
        fail(zef::kCatalogBadRequest, "entry name length " + std::to_string(length));
    return EntryKey{upper(trim_right(std::string_view(name, static_cast<size_t>(length)))),
                    upper(trim_right(std::string_view(type8, kTypeWidth)))};
}

void put_blank_padded(std::string_view text, char *field, size_t width) {
    size_t n = std::min(text.size(), width);
    std::memcpy(field, text.data(), n);
    std::memset(field + n, ' ', width - n);
}

}  // namespace zefhost::catalog
