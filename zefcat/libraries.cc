#include "libraries.h"

#include <algorithm>
#include <cctype>
#include <system_error>
#include <utility>

#include "errors.h"
#include "zefhost/catalog/catalog_error.h"
#include "zefhost/catalog/services.h"

namespace zefcat {

namespace {

std::string upper(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return text;
}

bool library_name_char(unsigned char c) { return std::isalnum(c) || c == '_' || c == '#' || c == '$' || c == '@'; }

// NAME=DIR, with NAME a library name: 1 to 8 letters, digits, _ # $ @.
LibrarySetting parse_setting(const std::string &text, const std::string &source) {
    size_t equals = text.find('=');
    if (equals == std::string::npos || equals == 0 || equals + 1 == text.size())
        usage_problem(source + " " + shown(text) + ": a library is given as NAME=DIR");
    std::string name = text.substr(0, equals);
    if (name.size() > 8 || !std::all_of(name.begin(), name.end(), library_name_char))
        usage_problem(source + " " + shown(text) + ": a library name has 1 to 8 letters, digits, _ # $ or @");
    return LibrarySetting{upper(name), text.substr(equals + 1), source};
}

}  // namespace

void Libraries::read_settings(const std::vector<std::string> &option_values,
                              const char *env_libraries, const char *env_work) {
    settings_.clear();
    auto set = [&](LibrarySetting setting) { settings_[setting.name] = std::move(setting); };

    const char *work = env_work != nullptr && *env_work != '\0' ? env_work : nullptr;
    set(LibrarySetting{kWorkLibrary, work ? work : kDefaultWorkDirectory, work ? "ZEF_WORK" : "default"});

    if (env_libraries != nullptr)
        for (const std::string &one : split_library_list(env_libraries))
            if (!one.empty()) set(parse_setting(one, "ZEF_LIBRARIES"));
    for (const std::string &value : option_values) set(parse_setting(value, "-L"));
}

std::vector<std::string> Libraries::split_library_list(const std::string &all) {
    std::vector<std::string> out;
    size_t start = 0;
    while (start <= all.size()) {
        size_t end = all.find(':', start);
        // A database's connection text keeps its colons: it ends only where
        // another NAME= follows a colon.
        size_t equals = all.find('=', start);
        if (end != std::string::npos && equals != std::string::npos && equals < end &&
            zefhost::catalog::names_database(std::string_view(all).substr(equals + 1))) {
            // Past the scheme's own colon: "postgresql:host=..." is not a
            // library named "host".
            end = all.find(':', equals + 1);
            for (;;) {
                end = all.find(':', end + 1);
                if (end == std::string::npos) break;
                size_t next_equals = all.find('=', end + 1);
                if (next_equals == std::string::npos) continue;
                std::string name = all.substr(end + 1, next_equals - end - 1);
                if (!name.empty() && name.size() <= 8 && std::all_of(name.begin(), name.end(), library_name_char))
                    break;
            }
        }
        if (end == std::string::npos) end = all.size();
        out.push_back(all.substr(start, end - start));
        start = end + 1;
    }
    return out;
}

void Libraries::assign(zefhost::catalog::Services &services) {
    for (const auto &[name, setting] : settings_) {
        std::error_code error;
        if (zefhost::catalog::names_database(setting.directory.string())) {
            try {
                services.assign_database_library(name, setting.directory.string());
            } catch (const zefhost::catalog::CatalogError &e) {
                refused_[name] = "library " + name + " (" + setting.source + "): " + e.what();
            }
            continue;
        }
        bool is_work = name == kWorkLibrary;
        if (is_work && !std::filesystem::exists(setting.directory, error)) {
            if (std::filesystem::create_directories(setting.directory, error)) {
                made_work_directory_ = setting.directory;
            } else if (error) {
                refused_[name] = "WORK's directory " + shown(setting.directory.string()) + " (" + setting.source +
                                 ") cannot be made: " + error.message();
                continue;
            }
        }
        if (!std::filesystem::is_directory(setting.directory, error)) {
            refused_[name] = "library " + name + " (" + setting.source + ") names " +
                             shown(setting.directory.string()) + ", which is not a directory";
            continue;
        }
        try {
            services.assign_library(name, setting.directory);
        } catch (const zefhost::catalog::CatalogError &e) {
            refused_[name] = e.what();
        }
    }
}

Libraries::~Libraries() {
    if (made_work_directory_.empty()) return;
    std::error_code ignored;
    if (std::filesystem::is_empty(made_work_directory_, ignored))
        std::filesystem::remove(made_work_directory_, ignored);
}

std::string Libraries::why_not_assigned(const std::string &name) const {
    auto it = refused_.find(upper(name));
    return it == refused_.end() ? std::string() : it->second;
}

}  // namespace zefcat
