#include "library_settings.h"

#include "catalog_error.h"

namespace zefhost::catalog {

namespace {

std::string_view trimmed(std::string_view text) {
    size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string_view::npos) return {};
    size_t last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

}  // namespace

void apply_setting(LibrarySettings &settings, std::string_view key, std::string_view value, const std::string &where) {
    if (key == "compress") {
        if (value == "zstd")
            settings.compress = true;
        else if (value == "none")
            settings.compress = false;
        else
            fail(zef::kCatalogDamaged, where + ": compress is \"" + std::string(value.substr(0, 32)) +
                                           "\"; it must be zstd or none");
    }
}

std::vector<std::pair<std::string, std::string>> setting_pairs(const LibrarySettings &settings) {
    return {{"compress", settings.compress ? "zstd" : "none"}};
}

LibrarySettings parse_settings_file(std::string_view text, const std::string &where) {
    LibrarySettings settings;
    size_t number = 0;
    while (!text.empty()) {
        size_t end = text.find('\n');
        std::string_view line = trimmed(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        ++number;
        if (line.empty() || line.front() == '#') continue;
        size_t equals = line.find('=');
        std::string at = where + " line " + std::to_string(number);
        if (equals == std::string_view::npos) fail(zef::kCatalogDamaged, at + ": not \"key = value\"");
        apply_setting(settings, trimmed(line.substr(0, equals)), trimmed(line.substr(equals + 1)), at);
    }
    return settings;
}

std::string settings_file_text(const LibrarySettings &settings) {
    std::string text = "# Settings of this catalog library, for everyone who writes into it (zefcat config).\n";
    for (const auto &[key, value] : setting_pairs(settings)) text += key + " = " + value + "\n";
    return text;
}

}  // namespace zefhost::catalog
